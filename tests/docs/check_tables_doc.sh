#!/usr/bin/env bash
# docs/tables.md against the catalog: the generator's output must equal the checked-in file,
# so a catalog entry changed without the document fails here.
# Usage: check_tables_doc.sh QUILL_TABLES_DOC DOCS_TABLES_MD
set -uo pipefail
generator=${1:?quill_tables_doc}
document=${2:?docs/tables.md}
fresh=$(mktemp /tmp/quill_tables_XXXXXX.md)
trap 'rm -f "$fresh"' EXIT
"$generator" "$fresh" || { echo "FAIL: $generator did not run"; exit 1; }
if ! diff -u "$document" "$fresh" > "$fresh.diff"; then
  head -40 "$fresh.diff"
  rm -f "$fresh.diff"
  echo "FAIL: $document differs from the catalog; regenerate it with: $generator $document"
  exit 1
fi
rm -f "$fresh.diff"
echo "ok   $document matches the catalog"
