#!/usr/bin/env bash
# Builds the driver, registers it and a demo DSN in a project-local ODBC ini
# store (.local/), starts a local Ethereum node (anvil) seeded with a few
# blocks, and queries it through the unixODBC Driver Manager with isql and
# pyodbc: the latest block and its transactions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
local_dir=$root/.local
mkdir -p "$local_dir"
bash "$root/tests/servers/anvil.sh" stop "$local_dir/anvil" 2>/dev/null || true
port=$(bash "$root/tests/servers/anvil.sh" start "$local_dir/anvil")
trap 'bash "$root/tests/servers/anvil.sh" stop "$local_dir/anvil"' EXIT
/usr/bin/python3 "$root/tests/servers/seed_chain.py" "$port" > "$local_dir/chain.json"
cat > "$local_dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$root/build/driver/libquilldrv.so
Setup=$root/build/setup/libquilldrvS.so
INI
cat > "$local_dir/odbc.ini" <<INI
[quill_demo]
Driver=Quillmoor Ethereum ODBC Driver
Description=Local Ethereum node
URI=http://127.0.0.1:$port
INI
export ODBCSYSINI=$local_dir ODBCINI=$local_dir/odbc.ini
echo "== odbcinst -q -d / -s"
odbcinst -q -d
odbcinst -q -s
echo "== isql: the latest block and its transactions"
isql -v -b -m68 quill_demo <<SQL
SELECT number, hash, miner, gasUsed FROM getBlockByNumber WHERE blockNumber = 'latest' AND transactionDetailsFlag = 'false'
SELECT transactionsHash, transactionsFrom, transactionsTo, transactionsValue FROM getBlockByNumber_transactions WHERE blockNumber = 'latest' AND transactionDetailsFlag = 'true'
SQL
echo "== pyodbc: a balance with parameters"
/usr/bin/python3 - <<'PY'
import pyodbc
cnxn = pyodbc.connect("DSN=quill_demo")
cursor = cnxn.cursor()
cursor.execute("SELECT result FROM getBalance WHERE address = ? AND blockParameter = ?",
               "0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266", "latest")
print("balance of account 0:", cursor.fetchone()[0])
for row in cursor.execute("SELECT transactionsHash, transactionsValue FROM "
                          "getBlockByNumber_transactions WHERE blockNumber = 'latest' "
                          "AND transactionDetailsFlag = 'true'"):
    print(row.transactionsHash, row.transactionsValue)
PY
