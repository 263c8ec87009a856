#!/usr/bin/env bash
# The examples of a document run against a seeded local node through the Driver Manager:
# every ```sql block statement by statement (each must execute), every ```python block with
# /usr/bin/python3, every ```perl block with perl and every ```r block with Rscript (skipped
# when R is not installed); each must exit 0. The blocks reach the node through the DSN
# quill_demo. Blocks after a line "<!-- no-run -->" are shown, not run.
# Usage: run_doc_examples.sh DRIVER DOCUMENT...
set -uo pipefail
driver=${1:?driver library}
shift
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers
work=$(mktemp -d /tmp/quill_doc_examples_XXXXXX)
cleanup() { bash "$servers/anvil.sh" stop "$work/anvil" || true; rm -rf "$work"; }
trap cleanup EXIT
port=$(bash "$servers/anvil.sh" start "$work/anvil") || { echo "SKIP: anvil"; exit 77; }
/usr/bin/python3 "$servers/seed_chain.py" "$port" > "$work/chain.json"
printf '[Quillmoor Ethereum ODBC Driver]\nDriver=%s\n' "$driver" > "$work/odbcinst.ini"
printf '[quill_demo]\nDriver=Quillmoor Ethereum ODBC Driver\nURI=http://127.0.0.1:%s\n' "$port" \
  > "$work/odbc.ini"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini QUILL_NODE_URL=http://127.0.0.1:$port/
export PYTHONPATH=$here/../../clients/sqlalchemy${PYTHONPATH:+:$PYTHONPATH}

# Each block becomes a file blockNNN.<language> in the work directory.
/usr/bin/python3 - "$work" "$@" <<'PY'
import re, sys
work, count = sys.argv[1], 0
for document in sys.argv[2:]:
    text = open(document).read()
    for match in re.finditer(r"(<!-- no-run -->\s*)?^```(sql|python|perl|r)\n(.*?)^```", text,
                             re.S | re.M):
        if match.group(1):
            continue
        with open(f"{work}/block{count:03d}.{match.group(2)}", "w") as out:
            out.write(f"# {document}\n" if match.group(2) != "sql" else "")
            out.write(match.group(3))
        count += 1
print(f"{count} example blocks", file=sys.stderr)
PY

passes=0
failures=0
skips=0
verdict() {  # verdict <ok> <what> <output>
  if [ "$1" = yes ]; then passes=$((passes + 1)); else
    failures=$((failures + 1)); echo "FAIL: $2"; echo "$3" | tail -8; fi
}
run_sql() {  # one statement through pyodbc: executes, and fetches when it has a result set
  /usr/bin/python3 - "$1" <<'PY' 2>&1
import pyodbc, sys
cursor = pyodbc.connect("DSN=quill_demo").cursor()
cursor.execute(sys.argv[1])
if cursor.description:
    cursor.fetchall()
PY
}
for block in "$work"/block*; do
  case $block in
    *.sql)
      while IFS= read -r statement; do
        [ -n "${statement// /}" ] || continue
        out=$(run_sql "$statement") && ok=yes || ok=no
        # The statement ran; the node does not serve that method.
        if [ "$ok" = no ] && grep -q -- '(-3260[13])' <<< "$out"; then ok=yes; fi
        verdict "$ok" "$statement" "$out"
      done < <(/usr/bin/python3 -c 'import sys; [print(s.strip().replace("\n", " ")) for s in open(sys.argv[1]).read().split(";") if s.strip()]' "$block")
      ;;
    *.python) out=$(/usr/bin/python3 "$block" 2>&1) && ok=yes || ok=no; verdict "$ok" "$(head -1 "$block") python block" "$out" ;;
    *.perl) out=$(perl "$block" 2>&1) && ok=yes || ok=no; verdict "$ok" "$(head -1 "$block") perl block" "$out" ;;
    *.r)
      if command -v Rscript > /dev/null; then
        out=$(Rscript "$block" 2>&1) && ok=yes || ok=no; verdict "$ok" "$(head -1 "$block") R block" "$out"
      else
        skips=$((skips + 1))
      fi
      ;;
  esac
done
echo "$passes passed, $failures failed, $skips skipped"
[ "$failures" -eq 0 ]
