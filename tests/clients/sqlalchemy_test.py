"""The quilldrv+pyodbc SQLAlchemy dialect and pandas against a seeded local node: connect,
reflection through the ODBC catalog, Core select() with in_() and limit(), and
pandas.read_sql with an engine, each checked against the node's own JSON-RPC answers.
Run by run_sqlalchemy.sh with QUILL_DSN and QUILL_NODE_URL set."""
import json
import os
import unittest
import urllib.request

import pandas
import pyodbc
import quilldrv_sqlalchemy  # noqa: F401 (registers quilldrv+pyodbc)
from sqlalchemy import MetaData, Table, create_engine, inspect, select

DSN = os.environ["QUILL_DSN"]
NODE = os.environ["QUILL_NODE_URL"]
ACCOUNT = "0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266"


def rpc(method, *params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": list(params)})
    request = urllib.request.Request(NODE, body.encode(), {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as reply:
        return json.load(reply)["result"]


class Dialect(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = create_engine(f"quilldrv+pyodbc://@{DSN}")

    def test_connects_and_reflects_every_table_of_the_catalog(self):
        names = inspect(self.engine).get_table_names()
        with pyodbc.connect(f"DSN={DSN}") as raw:
            listed = [row[2] for row in raw.cursor().tables(tableType="TABLE,VIEW")
                      if row[1] != "INFO_SCHEMA"]
        self.assertEqual(sorted(listed), sorted(names))
        for wanted in ("getBalance", "getBlockByNumber", "getBlockByNumber_transactions",
                       "getBlockReceipts", "getLogs"):
            self.assertIn(wanted, names)
        self.assertTrue(inspect(self.engine).has_table("getBalance"))
        self.assertFalse(inspect(self.engine).has_table("noSuchTable"))

    def test_columns_carry_types_and_the_required_parameters(self):
        columns = {c["name"]: c for c in inspect(self.engine).get_columns("getBalance")}
        self.assertEqual({"address", "blockParameter", "result"}, set(columns))
        self.assertIn("required parameter", columns["address"]["comment"] or "")
        self.assertIsNotNone(columns["result"]["type"].python_type)

    def test_core_select_with_in_and_limit_reads_what_the_node_says(self):
        blocks = Table("getBlockByNumber", MetaData(), autoload_with=self.engine)
        query = (select(blocks.c.number, blocks.c.hash)
                 .where(blocks.c.blockNumber.in_(["0x1", "0x2", "0x3"]),
                        blocks.c.transactionDetailsFlag == "false")
                 .limit(2))
        with self.engine.connect() as connection:
            rows = connection.execute(query).fetchall()
        self.assertEqual(2, len(rows))
        for number, block_hash in rows:
            self.assertEqual(rpc("eth_getBlockByNumber", number, False)["hash"], block_hash)

    def test_pandas_read_sql_with_an_engine(self):
        frame = pandas.read_sql(
            "SELECT address, result FROM getBalance WHERE address = ? AND blockParameter = ?",
            self.engine, params=(ACCOUNT, "latest"))
        self.assertEqual(["address", "result"], list(frame.columns))
        self.assertEqual(rpc("eth_getBalance", ACCOUNT, "latest"), frame["result"][0])
        balances = Table("getBalance", MetaData(), autoload_with=self.engine)
        frame = pandas.read_sql(
            select(balances.c.result).where(balances.c.address == ACCOUNT,
                                            balances.c.blockParameter == "latest"), self.engine)
        self.assertEqual(1, len(frame))


if __name__ == "__main__":
    unittest.main(verbosity=2)
