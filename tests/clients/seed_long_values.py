#!/usr/bin/python3
"""Seeds a fresh local anvil node with one block holding a transaction whose input is 2 KiB and
whose log carries that input as its data (a contract that logs its whole calldata).

Usage: seed_long_values.py <port>     prints a JSON summary of what was made.
Standard library only.
"""
import json
import sys
import urllib.request

SENDER = "0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266"  # anvil's first unlocked account

# Runtime: CALLDATACOPY(0, 0, CALLDATASIZE); LOG0(0, CALLDATASIZE); STOP.
RUNTIME = "36600060003736" + "6000a0" + "00"
# Constructor: CODECOPY the runtime (which follows it) to memory 0 and RETURN it.
CONSTRUCTOR = "60%02x" % (len(RUNTIME) // 2) + "600c60003960%02x" % (len(RUNTIME) // 2) + "6000f3"
assert len(CONSTRUCTOR) // 2 == 12
INPUT_BYTES = 2048
FEES = {"gas": "0x1e8480", "maxFeePerGas": "0x77359400", "maxPriorityFeePerGas": "0x3b9aca00"}


def call(url, method, params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": params}).encode()
    request = urllib.request.Request(url, body, {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as response:
        reply = json.loads(response.read())
    if "error" in reply:
        raise RuntimeError("%s: %s" % (method, reply["error"]))
    return reply["result"]


def seed(url):
    deploy = call(url, "eth_sendTransaction",
                  [dict(FEES, **{"from": SENDER, "data": "0x" + CONSTRUCTOR + RUNTIME})])
    call(url, "evm_mine", [])
    contract = call(url, "eth_getTransactionReceipt", [deploy])["contractAddress"]
    # Every byte differs from its neighbours so a cut or a shifted piece shows.
    payload = "".join("%02x" % ((i * 7 + 3) % 256) for i in range(INPUT_BYTES))
    tx = call(url, "eth_sendTransaction",
              [dict(FEES, **{"from": SENDER, "to": contract, "data": "0x" + payload,
                             "value": "0xde0b6b3a7640000"})])
    call(url, "evm_mine", [])
    receipt = call(url, "eth_getTransactionReceipt", [tx])
    if receipt["status"] != "0x1" or len(receipt["logs"]) != 1:
        raise RuntimeError("the long-input transaction failed: %s" % receipt)
    block = call(url, "eth_getBlockByNumber", [receipt["blockNumber"], True])
    return {"block": receipt["blockNumber"], "transaction": tx, "input": "0x" + payload,
            "timestamp": int(block["timestamp"], 16), "gasUsed": int(block["gasUsed"], 16),
            "value": 10**18, "contract": contract}


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: seed_long_values.py <port>\n")
        return 2
    try:
        print(json.dumps(seed("http://127.0.0.1:%d/" % int(sys.argv[1]))))
    except (OSError, RuntimeError, ValueError, KeyError) as error:
        sys.stderr.write("seed_long_values: %s\n" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
