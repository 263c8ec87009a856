#!/usr/bin/python3
"""Seeds a fresh local anvil node with a fixed set of blocks and transactions.

Usage: seed_chain.py <port>

Every block is mined explicitly (automine off, evm_mine after each batch) so
block numbers, and with the fixed genesis timestamp and block interval also
block and transaction hashes, repeat run after run. Prints a JSON summary of
what was made. Standard library only.
"""
import json
import sys
import urllib.request

# anvil's default unlocked accounts (derived from its well-known test mnemonic).
ACCOUNTS = [
    "0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266",
    "0x70997970c51812dc3a010c7d01b50e0d17dc79c8",
    "0x3c44cdddb6a900fa2b585dd299e03d12fa4293bc",
    "0x90f79bf6eb2c4f870365e785982e1f101e93b906",
]

# Topics of the two events; arbitrary fixed words (the contract has no ABI).
CREATED_TOPIC = "c0ffee" + "00" * 27 + "0001"
STORED_TOPIC = "c0ffee" + "00" * 27 + "0002"

# Runtime code: logs the first calldata word with the caller as second topic and
# stores that word in slot 1.
#   60 20        PUSH1 0x20       size
#   60 00        PUSH1 0x00       calldata offset
#   60 00        PUSH1 0x00       memory offset
#   37           CALLDATACOPY     mem[0:32] = calldata[0:32]
#   33           CALLER           topic1
#   7f <32>      PUSH32 STORED    topic0
#   60 20        PUSH1 0x20       size
#   60 00        PUSH1 0x00       offset
#   a2           LOG2
#   60 00        PUSH1 0x00
#   51           MLOAD            value
#   60 01        PUSH1 0x01       key
#   55           SSTORE           slot1 = calldata word
#   00           STOP
RUNTIME = "6020600060003733" + "7f" + STORED_TOPIC + "60206000a2" + "6000516001" + "55" + "00"

# Constructor: stores 42 in slot 0, logs it with one topic, returns the runtime.
#   60 2a        PUSH1 0x2a
#   60 00        PUSH1 0x00
#   55           SSTORE           slot0 = 42
#   60 2a        PUSH1 0x2a
#   60 00        PUSH1 0x00
#   52           MSTORE           mem[0:32] = 42
#   7f <32>      PUSH32 CREATED   topic0
#   60 20        PUSH1 0x20       size
#   60 00        PUSH1 0x00       offset
#   a1           LOG1
#   60 <n>       PUSH1 len(runtime)
#   80           DUP1
#   60 <k>       PUSH1 offset of the runtime in this code
#   60 00        PUSH1 0x00
#   39           CODECOPY         mem[0:n] = runtime
#   60 00        PUSH1 0x00
#   f3           RETURN           mem[0:n]
RUNTIME_LENGTH = len(RUNTIME) // 2
CONSTRUCTOR_LENGTH = 5 + 5 + 33 + 5 + 11
CONSTRUCTOR = ("602a600055" + "602a600052" + "7f" + CREATED_TOPIC + "60206000a1" +
               "60%02x" % RUNTIME_LENGTH + "80" + "60%02x" % CONSTRUCTOR_LENGTH + "600039" +
               "6000f3")
assert len(CONSTRUCTOR) // 2 == CONSTRUCTOR_LENGTH
INIT_CODE = "0x" + CONSTRUCTOR + RUNTIME

# Fixed fees and gas so nothing depends on the node's estimates.
FEES = {"gas": "0x30d40", "maxFeePerGas": "0x77359400", "maxPriorityFeePerGas": "0x3b9aca00"}


class Node:
    """A JSON-RPC client of one node."""

    def __init__(self, port):
        self.url = "http://127.0.0.1:%d/" % port
        self.next_id = 1

    def call(self, method, params):
        body = json.dumps({"jsonrpc": "2.0", "id": self.next_id, "method": method,
                           "params": params}).encode()
        self.next_id += 1
        request = urllib.request.Request(self.url, body, {"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as response:
            reply = json.loads(response.read())
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply["result"]

    def send(self, **fields):
        tx = dict(FEES)
        tx.update(fields)
        return self.call("eth_sendTransaction", [tx])

    def mine(self):
        """Mines one block and returns its number as an int."""
        self.call("evm_mine", [])
        return int(self.call("eth_blockNumber", []), 16)


def word(value):
    return "0x%064x" % value


def seed(port):
    node = Node(port)
    # Before any transaction: every block 12 s after its parent, and no mining on send.
    node.call("anvil_setBlockTimestampInterval", [12])
    node.call("evm_setAutomine", [False])
    summary = {"accounts": ACCOUNTS[:4], "blocks": {}, "transactions": {}}

    def block(name, hashes):
        number = node.mine()
        info = node.call("eth_getBlockByNumber", [hex(number), False])
        if len(info["transactions"]) != len(hashes):
            raise RuntimeError("block %d holds %s, expected %s" %
                               (number, info["transactions"], hashes))
        summary["blocks"][name] = {"number": hex(number), "hash": info["hash"]}

    ether = 10**18
    transfer = node.send(**{"from": ACCOUNTS[0], "to": ACCOUNTS[1], "value": hex(ether)})
    summary["transactions"]["transfer"] = transfer
    block("transfer", [transfer])

    second = node.send(**{"from": ACCOUNTS[1], "to": ACCOUNTS[2], "value": hex(ether // 2)})
    summary["transactions"]["second_transfer"] = second
    block("second_transfer", [second])

    deploy = node.send(**{"from": ACCOUNTS[0], "data": INIT_CODE})
    summary["transactions"]["deploy"] = deploy
    block("deploy", [deploy])
    contract = node.call("eth_getTransactionReceipt", [deploy])["contractAddress"]
    summary["contract"] = contract

    # Two transactions in one block: a call that logs (with an access list) and a transfer.
    call = node.send(**{"from": ACCOUNTS[2], "to": contract, "data": word(7),
                        "accessList": [{"address": contract, "storageKeys": [word(1)]}]})
    third = node.send(**{"from": ACCOUNTS[0], "to": ACCOUNTS[3], "value": "0x1234"})
    summary["transactions"]["call"] = call
    summary["transactions"]["third_transfer"] = third
    block("call", [call, third])

    summary["topics"] = {"created": "0x" + CREATED_TOPIC, "stored": "0x" + STORED_TOPIC}
    summary["latest"] = hex(int(node.call("eth_blockNumber", []), 16))
    return summary


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: seed_chain.py <port>\n")
        return 2
    try:
        summary = seed(int(sys.argv[1]))
    except (OSError, RuntimeError, ValueError, KeyError) as error:
        sys.stderr.write("seed_chain: %s\n" % error)
        return 1
    print(json.dumps(summary, sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main())
