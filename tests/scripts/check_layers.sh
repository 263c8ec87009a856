#!/usr/bin/env bash
# Checks the include lines of the driver, the support runtime and the setup library against
# the layer table of README.md's "Layout" section: every source may include headers of its own
# layer and of the layers its row lists, nothing else. Fails (listing each offending line)
# when a source includes a header of a layer it may not use, a header outside every layer, or
# a test header.
#
#   check_layers.sh [--readme FILE] [--table | --dot] [ROOT]
#
# ROOT is the repository (default: two levels above this script). --table prints how many
# include lines each layer has into each layer; --dot prints the same as a Graphviz graph
# (dot -Tsvg), one arrow per pair of different layers, so that an upward arrow stands out.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
readme=""
mode=check
while [ $# -gt 0 ]; do
  case $1 in
    --readme) readme=$2; shift 2 ;;
    --table) mode=table; shift ;;
    --dot) mode=dot; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "check_layers.sh: unknown option $1" >&2; exit 2 ;;
    *) root=$(cd "$1" && pwd); shift ;;
  esac
done
[ -n "$readme" ] || readme=$root/README.md

# The table: "| `layer` | `folder`, ... | `layer`, ... |" rows under a "| layer | folder |
# may include |" heading, each turned into "layer<TAB>folders<TAB>allowed layers".
layers=$(awk '
  /^\| *layer *\| *folder/ { inside = 1; next }
  inside && /^\|[-| ]+\|$/ { next }
  inside && !/^\|/ { exit }
  inside {
    n = split($0, cell, "|")
    for (i = 2; i <= 4 && i <= n; i++) {
      words = ""
      text = cell[i]
      while (match(text, /`[^`]+`/)) {
        words = words (words == "" ? "" : " ") substr(text, RSTART + 1, RLENGTH - 2)
        text = substr(text, RSTART + RLENGTH)
      }
      field[i] = words
    }
    print field[2] "\t" field[3] "\t" field[4]
  }' "$readme")
if [ -z "$layers" ]; then
  echo "check_layers.sh: no layer table (| layer | folder | may include |) in $readme" >&2
  exit 2
fi

# Every quoted include of every source of a layer folder, as "file:line:text".
folders=$(printf '%s\n' "$layers" | cut -f2 | tr ' ' '\n' | sort -u)
includes=$(cd "$root" && for folder in $folders; do
  if [ -d "$folder" ]; then
    grep -rHn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
      --include='*.cpp' --include='*.h' --include='*.y' "$folder" || true
  elif [ -f "$folder" ]; then
    grep -Hn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder" || true
  fi
done | sort -u)

printf '%s\n' "$includes" | awk -v mode="$mode" -v table="$layers" '
  BEGIN {
    FS = ":"
    count = split(table, rows, "\n")
    for (r = 1; r <= count; r++) {
      split(rows[r], part, "\t")
      name = part[1]
      order[r] = name
      n = split(part[2], dirs, " ")
      for (d = 1; d <= n; d++) folder[dirs[d]] = name
      allowed[name, name] = 1
      n = split(part[3], uses, " ")
      for (u = 1; u <= n; u++) allowed[name, uses[u]] = 1
      may[name] = part[3]
      gsub(/ /, ", ", may[name])
    }
    layer_count = count
  }
  # The layer owning `path`: its longest folder prefix (or the file itself); "" when none.
  function layer_of(path,    best, length_best, f) {
    best = ""; length_best = 0
    for (f in folder)
      if ((path == f || index(path, f "/") == 1) && length(f) > length_best) {
        best = folder[f]; length_best = length(f)
      }
    return best
  }
  $0 == "" { next }
  {
    file = $1; line = $2
    text = $0; sub(/^[^:]*:[^:]*:/, "", text)
    match(text, /"[^"]+"/); header = substr(text, RSTART + 1, RLENGTH - 2)
    from = layer_of(file)
    if (header !~ /\//) to = from  # a sibling or generated header of the same folder
    else if (header ~ /^tests\//) to = "(tests)"
    else to = layer_of(header)
    if (to == "") to = "(no layer)"
    edges[from, to]++
    if (!((from, to) in allowed)) {
      bad++
      printf "%s:%s: %s may not include %s (%s); it may include %s\n", file, line, from, \
        header, to, (may[from] == "" ? "nothing else" : may[from]) > "/dev/stderr"
    }
  }
  END {
    if (mode == "table") {
      printf "%-10s", "from\\to"
      for (c = 1; c <= layer_count; c++) printf " %9s", order[c]
      printf "\n"
      for (r = 1; r <= layer_count; r++) {
        printf "%-10s", order[r]
        for (c = 1; c <= layer_count; c++) {
          k = (order[r] SUBSEP order[c])
          printf " %9s", (k in edges) ? edges[k] : "."
        }
        printf "\n"
      }
    } else if (mode == "dot") {
      print "digraph layers {"
      print "  rankdir=BT;"
      print "  node [shape=box];"
      for (k in edges) {
        split(k, pair, SUBSEP)
        if (pair[1] == pair[2]) continue
        style = ((pair[1], pair[2]) in allowed) ? "" : ", color=red"
        printf "  \"%s\" -> \"%s\" [label=\"%d\"%s];\n", pair[1], pair[2], edges[k], style
      }
      print "}"
    }
    if (bad) {
      printf "%d include line(s) cross the layers README.md allows\n", bad > "/dev/stderr"
      exit 1
    }
    if (mode == "check") printf "layers ok: %d include lines in %d layers\n", NR, layer_count
  }'
