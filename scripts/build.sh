#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build-asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON)
fi
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
