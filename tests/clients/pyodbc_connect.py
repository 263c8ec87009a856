"""pyodbc through the unixODBC Driver Manager: connect by DSN and DSN-less,
read driver information, switch autocommit, and disconnect.

Run with Debian's system python3 (python3-pyodbc). The first argument is a
directory holding odbcinst.ini and odbc.ini with the DSN "quill_demo".
"""
import os
import sys

ini_dir = sys.argv[1]
os.environ["ODBCSYSINI"] = ini_dir
os.environ["ODBCINI"] = os.path.join(ini_dir, "odbc.ini")

import pyodbc  # noqa: E402  (the ini location must be set first)

failures = 0
passed = 0


def check(name, condition, detail=""):
    global failures, passed
    if condition:
        passed += 1
        print("ok   " + name)
    else:
        failures += 1
        print("FAIL " + name + (": " + str(detail) if detail else ""))


for label, text in [
    ("dsn", "DSN=quill_demo"),
    ("dsn-less", "DRIVER={Quillmoor Ethereum ODBC Driver};URI=http://127.0.0.1:8545;connect_probe=no"),
]:
    try:
        cnxn = pyodbc.connect(text, autocommit=False)
    except pyodbc.Error as exc:
        check(label + " connect", False, exc)
        continue
    check(label + " connect", True)
    check(label + " dbms name",
          cnxn.getinfo(pyodbc.SQL_DBMS_NAME) == "Quillmoor Ethereum ODBC Driver",
          cnxn.getinfo(pyodbc.SQL_DBMS_NAME))
    check(label + " driver name", cnxn.getinfo(pyodbc.SQL_DRIVER_NAME) == "libquilldrv.so",
          cnxn.getinfo(pyodbc.SQL_DRIVER_NAME))
    check(label + " server name", cnxn.getinfo(pyodbc.SQL_SERVER_NAME) == "ETH")
    check(label + " autocommit off", cnxn.autocommit is False)
    cnxn.autocommit = True
    check(label + " autocommit on", cnxn.autocommit is True)
    cnxn.commit()
    cnxn.rollback()
    cnxn.close()
    check(label + " close", True)

try:
    pyodbc.connect("DRIVER={Quillmoor Ethereum ODBC Driver};URI=ftp://example")
    check("bad scheme refused", False, "connected")
except pyodbc.Error as exc:
    check("bad scheme refused", "Unable to extract host from Api Domain" in str(exc), exc)

try:
    pyodbc.connect("DRIVER={Quillmoor Ethereum ODBC Driver}")
    check("missing uri refused", False, "connected")
except pyodbc.Error as exc:
    check("missing uri refused", "URI must be provided" in str(exc), exc)

print("%d passed, %d failed" % (passed, failures))
sys.exit(1 if failures else 0)
