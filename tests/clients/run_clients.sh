#!/usr/bin/env bash
# Real ODBC clients (isql and pyodbc) against the driver through the unixODBC
# Driver Manager, with a throw-away ini store. Argument: path of libquilldrv.so.
set -euo pipefail
driver=$1
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d /tmp/quill_clients_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$driver
INI
cat > "$dir/odbc.ini" <<INI
[quill_demo]
Driver=Quillmoor Ethereum ODBC Driver
Description=Local Ethereum node
URI=http://127.0.0.1:8545
connect_probe=no
INI
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
# A sanitizer build of the driver needs its runtime loaded first in these uninstrumented
# programs; their own leaks are not ours to report.
deps=$(ldd "$driver")  # read whole: `grep -q` on a pipe can kill ldd under pipefail
if [[ $deps == *libasan* ]]; then
  export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
  export ASAN_OPTIONS=detect_leaks=0
fi
failed=0

out=$(printf 'quit\n' | isql -v quill_demo 2>&1 || true)
if grep -q "Connected!" <<<"$out"; then echo "ok   isql connects"; else echo "FAIL isql connects"; echo "$out"; failed=1; fi

out=$(printf 'quit\n' | iusql -v quill_demo 2>&1 || true)
if grep -q "Connected!" <<<"$out"; then echo "ok   iusql (wide) connects"; else echo "FAIL iusql connects"; echo "$out"; failed=1; fi

# Debian's interpreter, whatever python3 comes first on PATH.
/usr/bin/python3 "$here/pyodbc_connect.py" "$dir" || failed=1
exit $failed
