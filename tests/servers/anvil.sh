#!/usr/bin/env bash
# Starts a local Ethereum node (anvil) on a free loopback port with a fixed
# genesis timestamp and block interval, so block hashes repeat run after run.
# Usage: anvil.sh start <state-dir>   prints the port; anvil.sh stop <state-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?start or stop}
dir=${2:?state directory}
anvil=$here/node_modules/@foundry-rs/anvil-linux-amd64/bin/anvil

rpc() {  # rpc <port> <method> <params-json>
  curl -s -m 5 -H 'Content-Type: application/json' \
    -d "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"$2\",\"params\":$3}" "http://127.0.0.1:$1/"
}

case $cmd in
  start)
    if [ ! -x "$anvil" ]; then
      # Suites start nodes in parallel: one installs while the others wait for it.
      (
        flock 9
        if [ ! -x "$anvil" ]; then cd "$here" && npm install --no-audit --no-fund >/dev/null 2>&1; fi
      ) 9>"$here/.npm-install.lock"
    fi
    mkdir -p "$dir"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    "$anvil" --host 127.0.0.1 --port "$port" --timestamp 1700000000 --chain-id 31337 \
      --silent > "$dir/anvil.log" 2>&1 &
    echo $! > "$dir/anvil.pid"
    for _ in $(seq 1 100); do
      if rpc "$port" eth_blockNumber '[]' | grep -q result; then break; fi
      sleep 0.1
    done
    rpc "$port" anvil_setBlockTimestampInterval '[12]' > /dev/null
    echo "$port" > "$dir/anvil.port"
    echo "$port"
    ;;
  stop)
    if [ -f "$dir/anvil.pid" ]; then kill "$(cat "$dir/anvil.pid")" 2>/dev/null || true; fi
    ;;
esac
