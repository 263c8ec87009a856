#!/usr/bin/env bash
# The quick start: installs the packages the driver needs, builds only the driver
# and the setup library (into build-demo/), registers them and a demo DSN in a
# project-local ODBC ini store (.local/), starts a local Ethereum node (anvil)
# seeded with a few blocks, and queries it through the unixODBC Driver Manager
# with isql and pyodbc. Package-manager and build output go to .local/demo.log.
# Usage: demo.sh [--keep]   --keep leaves the node running for queries by hand
# and prints the lines that set them up and the command that stops the node.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
keep=no
case "${1:-}" in
  --keep) keep=yes ;;
  "") ;;
  *) echo "usage: $0 [--keep]" >&2; exit 2 ;;
esac
local_dir=$root/.local
build=$root/build-demo
log=$local_dir/demo.log
mkdir -p "$local_dir"
: > "$log"
echo "Log of package installation and build: $log"
started=$(date +%s)
seconds() { echo $(($(date +%s) - started)); }
step() {  # step <what> <command...>: runs the command with its output in the log
  printf '%-48s' "$1 ..."
  local begun=$(date +%s)
  if "${@:2}" >> "$log" 2>&1; then
    echo " done ($(($(date +%s) - begun)) s)"
  else
    echo " FAILED; the end of $log:"
    tail -20 "$log"
    exit 1
  fi
}

step "Installing packages (apt)" "$root/scripts/install-deps.sh" --demo
step "Configuring the build (build-demo/)" cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF
step "Building the driver and the setup library" \
  cmake --build "$build" -j"$(nproc)" --target quilldrv quilldrvS
built=$(seconds)

anvil() { bash "$root/tests/servers/anvil.sh" "$@"; }
anvil stop "$local_dir/anvil" > /dev/null 2>&1 || true
printf '%-48s' "Starting a local node (anvil) ..."
port=$(anvil start "$local_dir/anvil" 2>> "$log") || { echo " FAILED (see $log)"; exit 1; }
echo " port $port"
[ "$keep" = yes ] || trap 'anvil stop "$local_dir/anvil" > /dev/null 2>&1' EXIT
step "Seeding it with blocks and transactions" \
  bash -c '/usr/bin/python3 "$1/tests/servers/seed_chain.py" "$2" > "$3/chain.json"' _ \
  "$root" "$port" "$local_dir"
cat > "$local_dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$build/driver/libquilldrv.so
Setup=$build/setup/libquilldrvS.so
INI
cat > "$local_dir/odbc.ini" <<INI
[quill_demo]
Driver=Quillmoor Ethereum ODBC Driver
Description=Local Ethereum node
URI=http://127.0.0.1:$port
INI
export ODBCSYSINI=$local_dir ODBCINI=$local_dir/odbc.ini

echo
echo "== isql: the latest block and its transactions"
isql -v -b -m68 quill_demo <<SQL
SELECT number, hash, miner, gasUsed FROM getBlockByNumber WHERE blockNumber = 'latest' AND transactionDetailsFlag = 'false'
SELECT transactionsHash, transactionsFrom, transactionsTo, transactionsValue FROM getBlockByNumber_transactions WHERE blockNumber = 'latest' AND transactionDetailsFlag = 'true'
SQL
first_query=$(seconds)
echo "== pyodbc: a balance with parameters"
/usr/bin/python3 - <<'PY'
import pyodbc
cnxn = pyodbc.connect("DSN=quill_demo")
cursor = cnxn.cursor()
cursor.execute("SELECT result FROM getBalance WHERE address = ? AND blockParameter = ?",
               "0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266", "latest")
print("balance of account 0:", cursor.fetchone()[0])
PY

echo
echo "== Summary"
echo "built in ${built} s; first query answered ${first_query} s after the start"
echo "driver:   $build/driver/libquilldrv.so (setup library beside it in setup/)"
echo "ini:      $local_dir/odbcinst.ini, $local_dir/odbc.ini (DSN quill_demo)"
echo "log:      $log"
if [ "$keep" = yes ]; then
  echo "node:     http://127.0.0.1:$port, left running. To query it by hand:"
  echo "export ODBCSYSINI=$local_dir ODBCINI=$local_dir/odbc.ini"
  echo "stop it with: bash $root/tests/servers/anvil.sh stop $local_dir/anvil"
else
  echo "node:     stopped (run with --keep to leave it running and query it by hand)"
fi
