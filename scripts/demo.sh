#!/usr/bin/env bash
# Builds the driver, registers it and a demo DSN in a project-local ODBC ini
# store (.local/), and connects through the unixODBC Driver Manager with isql.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
local_dir=$root/.local
mkdir -p "$local_dir"
cat > "$local_dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$root/build/driver/libquilldrv.so
INI
cat > "$local_dir/odbc.ini" <<INI
[quill_demo]
Driver=Quillmoor Ethereum ODBC Driver
Description=Local Ethereum node
URI=http://127.0.0.1:8545
INI
export ODBCSYSINI=$local_dir ODBCINI=$local_dir/odbc.ini
export QUILLDRV_TRACE_FILE=$local_dir/trace.log
rm -f "$QUILLDRV_TRACE_FILE"
echo "== odbcinst -q -d / -s"
odbcinst -q -d
odbcinst -q -s
echo "== isql -v quill_demo"
echo "SELECT 1" | isql -v quill_demo || true
echo "== driver trace ($QUILLDRV_TRACE_FILE)"
cat "$QUILLDRV_TRACE_FILE"
