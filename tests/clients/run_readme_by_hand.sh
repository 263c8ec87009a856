#!/usr/bin/env bash
# README's "Queries by hand": the code blocks between the by-hand markers run exactly as
# printed, in order (sh blocks with bash, python blocks with /usr/bin/python3), from a
# stand-in repository root whose .local/ holds what demo.sh writes, pointing at this build's
# driver. Arguments: path of libquilldrv.so, and the Markdown file (README.md by default).
set -euo pipefail
driver=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
readme=${2:-$root/README.md}
work=$(mktemp -d /tmp/quill_by_hand_XXXXXX)
cleanup() { bash "$root/tests/servers/anvil.sh" stop "$work/.local/anvil" || true; rm -rf "$work"; }
trap cleanup EXIT

# The blocks, each as <language> then its text, NUL-separated.
/usr/bin/python3 - "$readme" "$work" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
match = re.search(r"<!-- by-hand -->(.*?)<!-- /by-hand -->", text, re.S)
if not match:
    sys.exit(f"{sys.argv[1]} has no <!-- by-hand --> ... <!-- /by-hand --> section")
blocks = re.findall(r"^```(sh|python)\n(.*?)^```", match.group(1), re.S | re.M)
if not blocks:
    sys.exit("the by-hand section has no sh or python blocks")
for number, (language, body) in enumerate(blocks):
    with open(f"{sys.argv[2]}/block{number:02d}.{language}", "w") as out:
        out.write(body)
PY

# What demo.sh leaves: .local/ with the driver registered and the demo DSN.
mkdir -p "$work/.local"
ln -s "$root/tests" "$work/tests"
ln -s "$root/scripts" "$work/scripts"
printf '[Quillmoor Ethereum ODBC Driver]\nDriver=%s\n' "$driver" > "$work/.local/odbcinst.ini"
printf '[quill_demo]\nDriver=Quillmoor Ethereum ODBC Driver\nURI=http://127.0.0.1:1\n' \
  > "$work/.local/odbc.ini"
unset ODBCSYSINI ODBCINI

failed=0
script=""
cd "$work"
for block in "$work"/block*; do
  case $block in
    *.sh) script+=$(cat "$block")$'\n' ;;
    *.python) script+="/usr/bin/python3 $block"$'\n' ;;
  esac
done
out=$(bash -e -c "$script" 2>&1) || failed=1
echo "$out"
# Every query answered: isql printed block hashes, pyodbc a list of rows.
hashes=$(grep -c '0x[0-9a-f]\{64\}' <<< "$out" || true)
if [ "$failed" -ne 0 ] || [ "$hashes" -lt 3 ] || ! grep -q "^\[('0x" <<< "$out"; then
  echo "FAIL: the by-hand section of $readme did not run as written"
  exit 1
fi
echo "ok   the by-hand section runs as written ($hashes hashes)"
