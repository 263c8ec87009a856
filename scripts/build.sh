#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize, or build-tsan/ with
# --tsan: ThreadSanitizer, the driver and the stress program only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo); targets=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build-asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON)
elif [ "${1:-}" = "--tsan" ]; then
  dir=$root/build-tsan; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TSAN=ON)
  targets=(--target quilldrv quill_stress)
fi
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
