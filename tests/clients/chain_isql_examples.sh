#!/usr/bin/env bash
# isql as a new user types it on a seeded local node: a block range's transactions with their
# receipts' status, compared with the node's own answers. Arguments: the chain summary JSON
# file of seed_chain.py (the DSN quill_chain and the ini location come from the environment).
set -euo pipefail
url=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["url"])' "$1")
out=$(echo "SELECT t.blockNumber, t.transactionsHash, r.status FROM getBlockByNumber_transactions t JOIN getTransactionReceipt r ON r.transactionHash = t.transactionsHash WHERE t.blockNumber BETWEEN 1 AND 'latest' AND t.transactionDetailsFlag = 1" |
  isql -b -x0x09 quill_chain 2>&1 || true)
want=$(/usr/bin/python3 - "$url" <<'PY'
import json, sys, urllib.request
def node(method, params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": params}).encode()
    request = urllib.request.Request(sys.argv[1], body, {"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=10).read())["result"]
for n in range(1, int(node("eth_blockNumber", []), 16) + 1):
    for t in node("eth_getBlockByNumber", [hex(n), True])["transactions"]:
        print("%d\t%s\t%s" % (n, t["hash"], node("eth_getTransactionReceipt", [t["hash"]])["status"]))
PY
)
got=$(grep -P '^\d+\t0x' <<<"$out" | sed 's/[[:space:]]*$//' || true)
if [ -n "$want" ] && [ "$got" = "$want" ]; then echo "ok   isql block range with receipts"; else
  echo "FAIL isql block range with receipts"; echo "$out"; echo "want: $want"; exit 1; fi
