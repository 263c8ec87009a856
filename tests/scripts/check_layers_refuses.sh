#!/usr/bin/env bash
# Shows that check_layers.sh refuses a crossing: a copy of the repository's layer table and
# one engine source that includes a call-layer header must fail the check and name the line,
# and the same tree without that include must pass.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:-$(cd "$here/../.." && pwd)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/README.md" "$work/README.md"
mkdir -p "$work/driver/sql" "$work/driver/odbc/handles"
printf '#pragma once\n' > "$work/driver/odbc/handles/handles.h"
printf '#include "driver/sql/fine.h"\n' > "$work/driver/sql/fine.cpp"
printf '#pragma once\n' > "$work/driver/sql/fine.h"
"$here/check_layers.sh" "$work" > /dev/null
printf '#include "driver/odbc/handles/handles.h"\n' > "$work/driver/sql/crossing.cpp"
if "$here/check_layers.sh" "$work" 2> "$work/out" > /dev/null; then
  echo "check_layers.sh accepted driver/sql including driver/odbc" >&2
  exit 1
fi
grep -q 'driver/sql/crossing.cpp:1: sql may not include driver/odbc/handles/handles.h' "$work/out" || {
  echo "check_layers.sh failed without naming the crossing:" >&2
  cat "$work/out" >&2
  exit 1
}
echo "crossing refused"
