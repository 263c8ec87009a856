#!/usr/bin/env bash
# The setup dialog on a real X server (Xvfb) driven with real key presses and
# mouse clicks (xdotool), from a C host (through the installer) and from a
# Python host (ctypes): open, type, Test against a local node and against a
# dead port, Help, OK and Cancel; every host must exit with status 0 (a crash
# in Qt's teardown at exit would show as 139). The driver is registered under
# a section name other than the default, so Test must find it by its setup
# library. Usage: dialog_xvfb.sh DRIVER SETUP_LIBRARY C_HOST
# Exits 77 (skipped) when Xvfb, xdotool or xclip is missing.
set -uo pipefail
driver=${1:?driver library}
setup=${2:?setup library}
host=${3:?C host program}
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers

if [ -z "${QUILL_UNDER_XVFB:-}" ]; then
  for tool in xvfb-run xdotool xclip; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  export QUILL_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

work=$(mktemp -d /tmp/quill_dialog_XXXXXX)
node_port=$(bash "$servers/anvil.sh" start "$work/anvil") || { echo "SKIP: anvil"; exit 77; }
trap 'bash "$servers/anvil.sh" stop "$work/anvil"; rm -rf "$work"' EXIT
dead_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

section="Quill Custom Section"
cat > "$work/odbcinst.ini" <<INI
[$section]
Driver=$driver
Setup=$setup
INI
: > "$work/odbc.ini"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini

title="Quillmoor Ethereum ODBC Driver DSN Setup"
failures=0
passes=0
check() {  # check <what> <condition...>
  local what=$1; shift
  if "$@"; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "FAIL: $what"; fi
}

# Waits (at most 60 s) for a visible window named $1 and prints its id.
window() {
  local id
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2> /dev/null | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

keys() {  # keys <window> <key>...: focuses the window and presses the keys in turn
  xdotool windowactivate --sync "$1" 2> /dev/null || xdotool windowfocus --sync "$1"
  shift
  for key in "$@"; do xdotool key --clearmodifiers "$key"; sleep 0.1; done
}

type_text() {  # type_text <window> <text>: types into the focused field
  xdotool windowfocus --sync "$1"
  xdotool type --delay 5 "$2"
}

# Replaces the text of the field reached with the mnemonic <key> (e.g. alt+u).
set_field() {  # set_field <window> <key> <text>
  keys "$1" "$2" ctrl+a BackSpace
  type_text "$1" "$3"
}

# Clicks the button at <fraction> of the dialog's width on its button row (OK, Cancel, Help and
# Test share the bottom row in equal parts).
click_button() {  # click_button <window> <index 0..3>
  local geometry width height x y
  geometry=$(xdotool getwindowgeometry --shell "$1")
  width=$(sed -n 's/^WIDTH=//p' <<< "$geometry")
  height=$(sed -n 's/^HEIGHT=//p' <<< "$geometry")
  x=$((width * (2 * $2 + 1) / 8))
  y=$((height - 24))
  xdotool mousemove --window "$1" "$x" "$y" click 1
}

# The text of the message box named <title>, selected with the mouse from its start (right of
# the icon) to its bottom right corner above the button and read from the primary selection;
# then the box is closed with Return.
message_text() {  # message_text <title>
  local box geometry width height
  box=$(window "$1") || { echo "<no message box>"; return; }
  geometry=$(xdotool getwindowgeometry --shell "$box")
  width=$(sed -n 's/^WIDTH=//p' <<< "$geometry")
  height=$(sed -n 's/^HEIGHT=//p' <<< "$geometry")
  xdotool mousemove --window "$box" 62 14 mousedown 1 mousemove --window "$box" 200 30 \
    mousemove --window "$box" $((width - 3)) $((height - 45)) mouseup 1
  sleep 0.3
  xclip -o 2> /dev/null
  keys "$box" Return
}

# Starts a host in the background; its output goes to $work/<name>.out.
start_host() {  # start_host <name> <kind c|python> <request> <attributes>
  if [ "$2" = c ]; then
    "$host" "$3" "$section" "$4" > "$work/$1.out" 2>&1 &
  else
    /usr/bin/python3 "$here/dialog_host.py" "$setup" "$3" "$section" "$4" > "$work/$1.out" 2>&1 &
  fi
  host_pid=$!
}

# Waits (at most 60 s) for the host to end; its exit status.
finish_host() {
  local waited=0
  while kill -0 "$host_pid" 2> /dev/null && [ $waited -lt 300 ]; do sleep 0.2; waited=$((waited + 1)); done
  if kill -0 "$host_pid" 2> /dev/null; then kill "$host_pid"; echo "host hung"; fi
  wait "$host_pid"
}

ini() {  # ini <dsn> <key>
  sed -n "/^\[$1\]/,/^\[/p" "$ODBCINI" | sed -n "s/^$2 *= *//p" | head -1
}

for kind in c python; do
  dsn=dialog_$kind
  # Open, type the endpoint, Test against the node and a dead port, Help, then OK.
  start_host "$kind-ok" "$kind" add "DSN=$dsn;Description=typed"
  if ! dialog=$(window "$title"); then
    check "$kind: the dialog opens" false
    kill "$host_pid" 2> /dev/null
    sed 's/^/  host: /' "$work/$kind-ok.out"
    continue
  fi
  set_field "$dialog" alt+u "http://127.0.0.1:$dead_port"
  keys "$dialog" alt+t
  dead=$(message_text "Ethereum ODBC Driver Test")
  set_field "$dialog" alt+u "http://127.0.0.1:$node_port"
  click_button "$dialog" 3
  alive=$(message_text "Ethereum ODBC Driver Test")
  # The key goes into the endpoint's path, which the local node does not serve: typed after Test.
  set_field "$dialog" alt+a "secret-key"
  keys "$dialog" alt+h
  help=$(message_text "Quillmoor Ethereum ODBC Driver Help")
  click_button "$dialog" 0
  finish_host
  status=$?
  check "$kind: Test against the node succeeds (got: $alive)" grep -q "Connected" <<< "$alive"
  check "$kind: Test against a dead port fails (got: $dead)" \
    bash -c '! grep -q "Connected" <<< "$1" && grep -q "$2" <<< "$1"' _ "$dead" "$dead_port"
  check "$kind: Help says where the documentation is (got: $help)" grep -q "README.md" <<< "$help"
  check "$kind: OK host exits 0 (got $status)" test "$status" -eq 0
  check "$kind: OK reports success" grep -q "ConfigDSN: 1" "$work/$kind-ok.out"
  check "$kind: OK saved the typed URI" test "$(ini "$dsn" URI)" = "http://127.0.0.1:$node_port"
  check "$kind: OK saved the typed key" test "$(ini "$dsn" API_KEY)" = "secret-key"

  # Configure the saved source, change it, and leave by Cancel (keyboard) and by a click.
  for way in key click; do
    start_host "$kind-cancel-$way" "$kind" config "DSN=$dsn"
    if dialog=$(window "$title"); then
      set_field "$dialog" alt+e "changed"
      if [ "$way" = key ]; then keys "$dialog" alt+c; else click_button "$dialog" 1; fi
    else
      check "$kind: the configure dialog opens" false
    fi
    finish_host
    status=$?
    check "$kind: Cancel ($way) host exits 0 (got $status)" test "$status" -eq 0
    check "$kind: Cancel ($way) keeps the saved values" test "$(ini "$dsn" Description)" = typed
  done
done
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
