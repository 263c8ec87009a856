#!/usr/bin/python3
"""pyodbc and pandas on a block whose transaction input is 2 KiB: the input comes back whole,
and with typed_values quantities come back as int, Decimal and datetime, and pandas read_sql
gives numeric dtypes. Argument: the summary JSON of seed_long_values.py."""
import datetime
import decimal
import json
import sys
import warnings

import pyodbc

seed = json.load(open(sys.argv[1]))
failed = False


def check(name, ok, detail=""):
    global failed
    print(("ok   " if ok else "FAIL ") + "pyodbc " + name + ("" if ok else ": %s" % detail))
    failed = failed or not ok


block = seed["block"]
transactions = ("SELECT transactionsHash, transactionsInput, transactionsValue, transactionsGas "
                "FROM getBlockByNumber_transactions WHERE blockNumber = ? "
                "AND transactionDetailsFlag = '1'")
plain = pyodbc.connect("DSN=quill_long")
row = plain.execute(transactions, block).fetchone()
check("whole input", row and row[1] == seed["input"], row and len(row[1]))
check("text without the key", row and isinstance(row[2], str), row and type(row[2]))

typed = pyodbc.connect("DSN=quill_typed")
row = typed.execute("SELECT number, gasUsed, timestamp, baseFeePerGas, hash FROM getBlockByNumber "
                    "WHERE blockNumber = ? AND transactionDetailsFlag = '0'", block).fetchone()
want = (int(block, 16), seed["gasUsed"],
        datetime.datetime.fromtimestamp(seed["timestamp"], datetime.timezone.utc).replace(tzinfo=None))
check("typed int and datetime", row and tuple(row[:3]) == want, row and tuple(row[:3]))
check("typed Decimal", row and isinstance(row[3], decimal.Decimal), row and type(row[3]))
check("hash stays text", row and isinstance(row[4], str), row and type(row[4]))
row = typed.execute(transactions, block).fetchone()
check("typed value", row and row[2] == decimal.Decimal(seed["value"]), row and row[2])

try:
    import pandas
except ImportError:
    print("skip pandas: install python3-pandas (scripts/install-deps.sh)")
else:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # pandas prefers SQLAlchemy; a DBAPI connection works
        frame = pandas.read_sql(transactions.replace("?", "'%s'" % block), typed)
    numeric = [pandas.api.types.is_numeric_dtype(frame[c])
               for c in ("transactionsValue", "transactionsGas")]
    check("pandas numeric dtypes", all(numeric), dict(frame.dtypes.astype(str)))
sys.exit(1 if failed else 0)
