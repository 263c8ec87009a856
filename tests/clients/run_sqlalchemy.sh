#!/usr/bin/env bash
# The SQLAlchemy dialect (clients/sqlalchemy) and pandas, from Debian's python3-sqlalchemy and
# python3-pandas, against a seeded local node. Argument: path of libquilldrv.so.
# Exits 77 (skipped) when SQLAlchemy or pandas is not installed.
set -euo pipefail
driver=$1
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers
/usr/bin/python3 -c 'import sqlalchemy, pandas' 2> /dev/null ||
  { echo "SKIP: python3-sqlalchemy or python3-pandas is not installed"; exit 77; }
dir=$(mktemp -d /tmp/quill_sqlalchemy_XXXXXX)
cleanup() { bash "$servers/anvil.sh" stop "$dir/anvil" || true; rm -rf "$dir"; }
trap cleanup EXIT
port=$(bash "$servers/anvil.sh" start "$dir/anvil") || { echo "SKIP: anvil"; exit 77; }
/usr/bin/python3 "$servers/seed_chain.py" "$port" > /dev/null
cat > "$dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Driver=$driver
INI
cat > "$dir/odbc.ini" <<INI
[quill_alchemy]
Driver=Quillmoor Ethereum ODBC Driver
URI=http://127.0.0.1:$port
INI
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini QUILL_DSN=quill_alchemy
export QUILL_NODE_URL=http://127.0.0.1:$port/
PYTHONPATH=$here/../../clients/sqlalchemy /usr/bin/python3 "$here/sqlalchemy_test.py"
