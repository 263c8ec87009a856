#!/usr/bin/env bash
# Long values and typed values through real ODBC clients against a local node seeded with a
# transaction whose input is 2 KiB and whose log carries it as data: Perl DBI fetches every
# row of the block whole, node-odbc reads the whole input with a parameterized query, pyodbc
# with typed_values gets int/Decimal/datetime and pandas numeric dtypes, R's RODBC reads the
# whole input and, typed, numbers as numbers; isql prints it whole when told its width (-L).
# A client whose runtime is missing is skipped.
# Argument: path of libquilldrv.so.
set -euo pipefail
driver=$1
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers
dir=$(mktemp -d /tmp/quill_long_XXXXXX)
cleanup() { bash "$servers/anvil.sh" stop "$dir/anvil" || true; rm -rf "$dir"; }
trap cleanup EXIT
port=$(bash "$servers/anvil.sh" start "$dir/anvil")
/usr/bin/python3 "$here/seed_long_values.py" "$port" > "$dir/seed.json"
cat > "$dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$driver
INI
cat > "$dir/odbc.ini" <<INI
[quill_long]
Driver=Quillmoor Ethereum ODBC Driver
URI=http://127.0.0.1:$port
[quill_typed]
Driver=Quillmoor Ethereum ODBC Driver
URI=http://127.0.0.1:$port
typed_values=yes
INI
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
deps=$(ldd "$driver")
if [[ $deps == *libasan* ]]; then
  export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
  export ASAN_OPTIONS=detect_leaks=0
fi
failed=0
field() { /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' \
  "$dir/seed.json" "$1"; }
# isql prints at most -L characters of a value (300 unless told): with -L the whole input.
out=$(printf "SELECT transactionsInput FROM getBlockByNumber_transactions WHERE blockNumber = '%s' AND transactionDetailsFlag = '1'\n" \
  "$(field block)" | isql -b -x0x09 -L20000 quill_long 2>&1 || true)
if grep -qx "$(field input)" <<<"$out"; then echo "ok   isql whole input"; else
  echo "FAIL isql whole input"; echo "$out" | cut -c1-200; failed=1; fi
/usr/bin/perl "$here/long_values.pl" "$dir/seed.json" || failed=1
/usr/bin/python3 "$here/long_values.py" "$dir/seed.json" || failed=1
if command -v Rscript >/dev/null && Rscript -e 'library(RODBC)' >/dev/null 2>&1; then
  Rscript "$here/long_values.R" "$dir/seed.json" || failed=1
else
  echo "skip RODBC: install r-cran-rodbc (scripts/install-deps.sh)"
fi
if [ -e "$here/node_modules/odbc/lib/bindings/napi-v8/odbc.node" ]; then
  node "$here/long_values.js" "$dir/seed.json" || failed=1
else
  echo "skip node-odbc: not installed (run_chain_clients.sh installs it)"
fi
exit $failed
