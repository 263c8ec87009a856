"""pyodbc on a seeded local node: a block, its transactions and a receipt's logs
read through the driver must equal the node's own JSON answers; fetchall,
fetchmany and parameter markers.

Run with Debian's system python3 (python3-pyodbc). Arguments: the ini
directory (DSN "quill_chain") and the chain summary JSON file of seed_chain.py.
"""
import json
import os
import sys
import urllib.request

ini_dir, summary_file = sys.argv[1], sys.argv[2]
os.environ["ODBCSYSINI"] = ini_dir
os.environ["ODBCINI"] = os.path.join(ini_dir, "odbc.ini")
summary = json.load(open(summary_file))
node_url = summary["url"]

import pyodbc  # noqa: E402  (the ini location must be set first)

failures = 0


def check(name, condition, detail=""):
    global failures
    print(("ok   " if condition else "FAIL ") + "pyodbc " + name +
          ("" if condition else ": " + str(detail)))
    failures += 0 if condition else 1


def node(method, params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": params}).encode()
    request = urllib.request.Request(node_url, body, {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as response:
        return json.loads(response.read())["result"]


block_number = summary["blocks"]["call"]["number"]
call_hash = summary["transactions"]["call"]
block = node("eth_getBlockByNumber", [block_number, True])
receipt = node("eth_getTransactionReceipt", [call_hash])

cnxn = pyodbc.connect("DSN=quill_chain")
cursor = cnxn.cursor()

cursor.execute("SELECT number, hash, miner FROM getBlockByNumber WHERE blockNumber = '%s' "
               "AND transactionDetailsFlag = 'false'" % block_number)
rows = cursor.fetchall()
check("block row", [tuple(r) for r in rows] == [(block["number"], block["hash"], block["miner"])],
      rows)
check("block description", [d[0] for d in cursor.description] == ["number", "hash", "miner"],
      cursor.description)

cursor.execute("SELECT transactionsHash, transactionsFrom, transactionsTo, transactionsValue "
               "FROM getBlockByNumber_transactions WHERE blockNumber = '%s' "
               "AND transactionDetailsFlag = 'true'" % block_number)
first = cursor.fetchmany(1)
rest = cursor.fetchmany(10)
expected = [(t["hash"], t["from"], t["to"], t["value"]) for t in block["transactions"]]
check("transactions by fetchmany", [tuple(r) for r in first + rest] == expected,
      (first, rest, expected))

cursor.execute("SELECT logsAddress, logsData, logsLogIndex FROM getTransactionReceipt_Logs "
               "WHERE transactionHash = '%s'" % call_hash)
logs = [tuple(r) for r in cursor.fetchall()]
expected_logs = [(l["address"], l["data"], l["logIndex"]) for l in receipt["logs"]]
check("receipt logs", logs == expected_logs, (logs, expected_logs))

account = summary["accounts"][0]
cursor.execute("SELECT result FROM getBalance WHERE address = ? AND blockParameter = ?",
               account, "latest")
balance = cursor.fetchone()
check("parameters", balance is not None and balance[0] == node("eth_getBalance", [account, "latest"]),
      balance)

# The catalog: every table of the driver's catalog, and a table's columns in order.
catalog_file = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                            "eth_catalog_tables.tsv")
catalog = {}
for line in open(catalog_file):
    if line.startswith("#") or not line.strip():
        continue
    fields = line.rstrip("\n").split("\t")
    catalog[fields[0]] = [c.split(":")[0] for c in fields[5].split(",")]
tables = [row.table_name for row in cursor.tables()]
check("tables()", sorted(tables) == sorted(catalog) and len(tables) == 56, tables)
check("tables(table=)", [row.table_name for row in cursor.tables(table="getBalance")] ==
      ["getBalance"])
# Catalog arguments are search patterns: "%", "_" and the "\\" escape.
for pattern, wanted in [("getBal%", ["getBalance"]),
                        ("get_alance", ["getBalance"]),
                        ("%Balance", sorted(t for t in catalog if t.endswith("Balance"))),
                        ("feeHistory\\_%", sorted(t for t in catalog if t.startswith("feeHistory_")))]:
    got = sorted(row.table_name for row in cursor.tables(table=pattern))
    check("tables(table=%r)" % pattern, got == wanted, (got, wanted))
got = [row.column_name for row in cursor.columns(table="getBal%", column="block%")]
check("columns(table='getBal%', column='block%')", got == ["blockParameter"], got)
for table in ("getBalance", "getBlockByNumber_transactions"):
    columns = [row.column_name for row in cursor.columns(table=table)]
    check("columns(%s)" % table, columns == catalog[table], (columns, catalog[table]))

cursor.execute("SELECT 1 AS one")
check("rowcount of a query", cursor.rowcount == -1, cursor.rowcount)
# What a new user writes: a block range with its transactions and their receipts' status (the
# range's end bound as an integer), receipts of a list of hashes through IN (subquery), and the
# balances of a block's senders.
latest = int(node("eth_blockNumber", []), 16)
want = []
for number in range(1, latest + 1):
    for t in node("eth_getBlockByNumber", [hex(number), True])["transactions"]:
        want.append((str(number), t["hash"], node("eth_getTransactionReceipt", [t["hash"]])["status"]))
cursor.execute("SELECT t.blockNumber, t.transactionsHash, r.status "
               "FROM getBlockByNumber_transactions t "
               "JOIN getTransactionReceipt r ON r.transactionHash = t.transactionsHash "
               "WHERE t.blockNumber BETWEEN 1 AND ? AND t.transactionDetailsFlag = 1", latest)
got = [tuple(r) for r in cursor.fetchall()]
check("block range with receipts", got == want, (got, want))

cursor.execute("SELECT transactionHash, status FROM getTransactionReceipt WHERE transactionHash IN "
               "(SELECT transactionsHash FROM getBlockByNumber_transactions "
               "WHERE blockNumber BETWEEN 1 AND 'latest' AND transactionDetailsFlag = 0) "
               "ORDER BY transactionHash")
got = [tuple(r) for r in cursor.fetchall()]
check("receipts through IN (subquery)", got == sorted((h, s) for _, h, s in want), got)

senders = sorted({t["from"] for t in block["transactions"]})
cursor.execute("SELECT DISTINCT t.transactionsFrom, b.result "
               "FROM getBlockByNumber_transactions t, getBalance b "
               "WHERE t.blockNumber = ? AND t.transactionDetailsFlag = 1 "
               "AND b.address = t.transactionsFrom AND b.blockParameter = 'latest' "
               "ORDER BY 1", int(block_number, 16))
got = [tuple(r) for r in cursor.fetchall()]
check("balances of a block's senders",
      got == [(a, node("eth_getBalance", [a, "latest"])) for a in senders], got)

cnxn.close()
sys.exit(1 if failures else 0)
