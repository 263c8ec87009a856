#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: fuzz.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILL_FUZZ=ON -DQUILL_TESTS=OFF >/dev/null
targets=$(cd "$root/tests/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')
# Only the fuzz targets: the shared driver library is not built with the fuzzing runtime.
cmake --build "$dir" -j"$(nproc)" --target $targets
status=0
for target in "$dir"/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=$dir/corpus/$name
  mkdir -p "$corpus"
  seeds=$root/tests/fuzz/seeds/$name
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) > "$dir/$name.log" 2>&1; then
    tail -40 "$dir/$name.log"; status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$dir/$name.log" | tail -2
  fi
done
exit $status
