// node-odbc on a block whose transaction input is 2 KiB: a parameterized query (node-odbc
// describes every parameter) returns the whole input. Argument: the summary JSON of
// seed_long_values.py.
const fs = require('fs');
const odbc = require('odbc');

const seed = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
let failures = 0;

function check(name, ok, detail) {
  console.log((ok ? 'ok   ' : 'FAIL ') + 'node-odbc ' + name + (ok ? '' : ': ' + detail));
  if (!ok) failures++;
}

async function main() {
  const connection = await odbc.connect('DSN=quill_long');
  try {
    const rows = await connection.query(
        'SELECT transactionsHash, transactionsInput FROM getBlockByNumber_transactions ' +
            'WHERE blockNumber = ? AND transactionDetailsFlag = ?',
        [seed.block, '1']);
    const mine = rows.filter((row) => row.transactionsHash === seed.transaction);
    check('parameterized whole input', mine.length === 1 && mine[0].transactionsInput === seed.input,
          mine.length ? 'length ' + mine[0].transactionsInput.length : 'no row');
  } catch (error) {
    check('parameterized whole input', false, JSON.stringify(error.odbcErrors || error.message));
  }
  await connection.close();
}

main().then(() => process.exit(failures ? 1 : 0), (error) => {
  console.log('FAIL node-odbc ' + error.message);
  process.exit(1);
});
