#!/usr/bin/env bash
# Real ODBC clients (isql, pyodbc, Perl DBI, node-odbc) reading a seeded local
# Ethereum node through the Driver Manager and the driver; each compares what it
# reads with the node's own JSON answers, and browses the catalog. Arguments:
# path of libquilldrv.so, path of quill_param_array_client.
set -euo pipefail
driver=$1
array_client=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers
dir=$(mktemp -d /tmp/quill_chain_XXXXXX)
cleanup() { bash "$servers/anvil.sh" stop "$dir/anvil" || true; rm -rf "$dir"; }
trap cleanup EXIT
port=$(bash "$servers/anvil.sh" start "$dir/anvil")
/usr/bin/python3 "$servers/seed_chain.py" "$port" |
  /usr/bin/python3 -c 'import json,sys; s=json.load(sys.stdin); s["url"]="http://127.0.0.1:'"$port"'/"; print(json.dumps(s))' \
  > "$dir/chain.json"
cat > "$dir/odbcinst.ini" <<INI
[Quillmoor Ethereum ODBC Driver]
Description=Quillmoor Ethereum ODBC Driver
Driver=$driver
INI
cat > "$dir/odbc.ini" <<INI
[quill_chain]
Driver=Quillmoor Ethereum ODBC Driver
Description=Seeded local Ethereum node
URI=http://127.0.0.1:$port
INI
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
deps=$(ldd "$driver")
if [[ $deps == *libasan* ]]; then
  export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
  export ASAN_OPTIONS=detect_leaks=0
fi
failed=0
summary() { /usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$dir/chain.json" "$1"; }
block=$(summary 's["blocks"]["call"]["number"]')

# isql: the block's transactions, compared with eth_getBlockByNumber.
out=$(printf "SELECT transactionsHash FROM getBlockByNumber_transactions WHERE blockNumber = '%s' AND transactionDetailsFlag = 'true'\n" "$block" |
  isql -b -x0x09 quill_chain 2>&1 || true)
want=$(curl -s -H 'Content-Type: application/json' \
  -d "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"eth_getBlockByNumber\",\"params\":[\"$block\",true]}" \
  "http://127.0.0.1:$port/" | /usr/bin/python3 -c 'import json,sys; [print(t["hash"]) for t in json.load(sys.stdin)["result"]["transactions"]]')
got=$(grep -o '0x[0-9a-f]\{64\}' <<<"$out" || true)
if [ -n "$want" ] && [ "$got" = "$want" ]; then echo "ok   isql transactions"; else
  echo "FAIL isql transactions"; echo "$out"; echo "want: $want"; failed=1; fi

# isql's help lists the catalog's tables, and help TABLE a table's columns.
tables=$(grep -v '^#' "$here/../data/eth_catalog_tables.tsv" | cut -f1)
out=$(echo help | isql -b quill_chain 2>&1 || true)
missing=$(for t in $tables; do grep -q "| $t " <<<"$out" || echo "$t"; done)
if [ -z "$missing" ]; then echo "ok   isql help"; else
  echo "FAIL isql help: missing $missing"; echo "$out" | head -20; failed=1; fi
out=$(echo "help getBalance" | isql -b quill_chain 2>&1 || true)
if grep -q "| address " <<<"$out" && grep -q "| blockParameter " <<<"$out" &&
  grep -q "| result " <<<"$out"; then echo "ok   isql help TABLE"; else
  echo "FAIL isql help TABLE"; echo "$out"; failed=1; fi
# help TABLE passes its name as a search pattern.
out=$(echo "help getBal%" | isql -b quill_chain 2>&1 || true)
if grep -q "| getBalance " <<<"$out" && grep -q "| blockParameter " <<<"$out" &&
  ! grep -q "| getBlockByHash " <<<"$out"; then echo "ok   isql help PATTERN"; else
  echo "FAIL isql help PATTERN"; echo "$out"; failed=1; fi

# One execution with a parameter array of 100 addresses returns every balance, in order.
if [ -n "$array_client" ]; then
  /usr/bin/python3 - "$dir/chain.json" >"$dir/addresses" <<'PY'
import json, sys
accounts = json.load(open(sys.argv[1]))["accounts"]
print("\n".join(accounts + ["0x%040x" % (0x1000 + i) for i in range(100 - len(accounts))]))
PY
  if "$array_client" quill_chain <"$dir/addresses" >"$dir/balances" 2>"$dir/balances.err" &&
    /usr/bin/python3 - "$dir/chain.json" "$dir/addresses" "$dir/balances" <<'PY'; then
import json, sys, urllib.request
url = json.load(open(sys.argv[1]))["url"]
def balance(address):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "eth_getBalance",
                       "params": [address, "latest"]}).encode()
    request = urllib.request.Request(url, body, {"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=10).read())["result"]
addresses = open(sys.argv[2]).read().split()
got = [tuple(line.split()) for line in open(sys.argv[3]) if line.strip()]
want = [(a, balance(a)) for a in addresses]
if got != want:
    print("got", got[:5], len(got), "want", want[:5], len(want))
    sys.exit(1)
PY
    echo "ok   parameter array of 100 addresses"
  else
    echo "FAIL parameter array of 100 addresses"; cat "$dir/balances.err"; head -5 "$dir/balances"
    failed=1
  fi
fi

/usr/bin/python3 "$here/chain_pyodbc.py" "$dir" "$dir/chain.json" || failed=1
/usr/bin/perl "$here/chain_dbi.pl" "$dir/chain.json" || failed=1
bash "$here/chain_isql_examples.sh" "$dir/chain.json" || failed=1

# node-odbc builds a native addon once; its install scripts must be allowed explicitly.
if [ ! -e "$here/node_modules/odbc/lib/bindings/napi-v8/odbc.node" ]; then
  (
    flock 9
    cd "$here" && npm install --no-audit --no-fund >/dev/null 2>&1 &&
      npm rebuild odbc --foreground-scripts >/dev/null 2>&1
  ) 9>"$here/.npm-install.lock" || true
fi
if [ -e "$here/node_modules/odbc/lib/bindings/napi-v8/odbc.node" ]; then
  node "$here/chain_node.js" "$dir/chain.json" || failed=1
else
  echo "FAIL node-odbc could not be installed"; failed=1
fi
# Kilobyte inputs and log data, and typed values, on a node of their own.
bash "$here/run_long_values.sh" "$driver" || failed=1
exit $failed
