// node-odbc on a seeded local node: its query path fetches with row arrays and
// relies on the rows-fetched count. A block's transactions and a receipt's logs
// through the driver equal the node's own JSON answers.
// Arguments: the chain summary JSON file of seed_chain.py.
const fs = require('fs');
const odbc = require('odbc');

const summary = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
let failures = 0;

function check(name, ok, detail) {
  console.log((ok ? 'ok   ' : 'FAIL ') + 'node-odbc ' + name + (ok ? '' : ': ' + detail));
  if (!ok) failures++;
}

async function node(method, params) {
  const reply = await fetch(summary.url, {
    method: 'POST',
    headers: {'Content-Type': 'application/json'},
    body: JSON.stringify({jsonrpc: '2.0', id: 1, method, params}),
  });
  return (await reply.json()).result;
}

async function main() {
  const number = summary.blocks.call.number;
  const call = summary.transactions.call;
  const block = await node('eth_getBlockByNumber', [number, true]);
  const receipt = await node('eth_getTransactionReceipt', [call]);
  const connection = await odbc.connect('DSN=quill_chain');
  const txs = await connection.query(
      `SELECT transactionsHash, transactionsFrom FROM getBlockByNumber_transactions ` +
      `WHERE blockNumber = '${number}' AND transactionDetailsFlag = 'true'`);
  const got = txs.map((r) => `${r.transactionsHash}/${r.transactionsFrom}`).join(' ');
  const want = block.transactions.map((t) => `${t.hash}/${t.from}`).join(' ');
  check('transactions', got === want, `${got} vs ${want}`);
  const logs = await connection.query(
      `SELECT logsAddress, logsData FROM getTransactionReceipt_Logs WHERE transactionHash = '${call}'`);
  const gotLogs = logs.map((r) => `${r.logsAddress}:${r.logsData}`).join(' ');
  const wantLogs = receipt.logs.map((l) => `${l.address}:${l.data}`).join(' ');
  check('receipt logs', gotLogs === wantLogs, `${gotLogs} vs ${wantLogs}`);
  await connection.close();
}

main().then(() => process.exit(failures ? 1 : 0), (error) => {
  console.log('FAIL node-odbc: ' + (error.odbcErrors ? JSON.stringify(error.odbcErrors) : error));
  process.exit(1);
});
