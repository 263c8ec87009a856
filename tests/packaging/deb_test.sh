#!/usr/bin/env bash
# The Debian package: built with cpack from the build tree, its contents and control data
# inspected, then (as root, with dpkg free and the package not already installed) installed
# on this system, used DSN-less by its registered driver name from isql against a local
# node, and purged again, leaving the system's drivers as they were.
# Usage: deb_test.sh BUILD_DIR. Exits 77 (skipped) when cpack or dpkg-deb is missing.
set -uo pipefail
build=${1:?build directory}
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../servers
section="Quillmoor Ethereum ODBC Driver"
libdir=/usr/lib/$(gcc -print-multiarch 2> /dev/null || echo x86_64-linux-gnu)/odbc
for tool in cpack dpkg-deb; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/quill_deb_XXXXXX)
node_dir=
cleanup() {
  [ -n "$node_dir" ] && bash "$servers/anvil.sh" stop "$node_dir"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
passes=0
check() {  # check <what> <command...>
  local what=$1; shift
  if "$@" > /dev/null 2>&1; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "FAIL: $what"; fi
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/quilldrv_*.deb 2> /dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no package built"; exit 1; }
contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
for file in "$libdir/libquilldrv.so" "$libdir/libquilldrvS.so" /usr/share/quilldrv/odbcinst.ini \
  /usr/share/doc/quilldrv/README.md; do
  check "the package holds $file" grep -q " \.$file\$" <<< "$contents"
done
for dependency in odbcinst unixodbc libodbcinst2 libqt6widgets6 libssl3 libjansson4; do
  check "the package depends on $dependency" grep -q "Depends:.*\b$dependency\b" <<< "$info"
done
check "the package has a postinst and a prerm" \
  bash -c 'grep -q " postinst " <<< "$1" && grep -q " prerm " <<< "$1"' _ "$info"
dpkg-deb -e "$deb" "$work/control"
dpkg-deb -x "$deb" "$work/root"
check "the template names the installed libraries" \
  bash -c "grep -qx 'Driver=$libdir/libquilldrv.so' '$work/root/usr/share/quilldrv/odbcinst.ini' &&
           grep -qx 'Setup=$libdir/libquilldrvS.so' '$work/root/usr/share/quilldrv/odbcinst.ini'"
check "the libraries are stripped" bash -c "! file -L '$work/root$libdir/libquilldrv.so' | grep -q 'not stripped'"

# The maintainer scripts against a throwaway odbcinst.ini: registered once, unregistered on remove.
mkdir -p "$work/ini"
printf '[Other]\nDriver=/x.so\n' > "$work/ini/odbcinst.ini"
sed "s#/usr/share/quilldrv/odbcinst.ini#$work/root/usr/share/quilldrv/odbcinst.ini#" \
  "$work/control/postinst" > "$work/postinst"
ODBCSYSINI=$work/ini sh "$work/postinst" configure
check "postinst registers the driver" bash -c "ODBCSYSINI='$work/ini' odbcinst -q -d | grep -qx '\[$section\]'"
ODBCSYSINI=$work/ini sh "$work/control/prerm" remove
check "prerm unregisters the driver" bash -c "! ODBCSYSINI='$work/ini' odbcinst -q -d | grep -qx '\[$section\]'"
check "prerm leaves the other drivers" bash -c "ODBCSYSINI='$work/ini' odbcinst -q -d | grep -qx '\[Other\]'"

# A real install on this machine, only where it leaves nothing behind.
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg > /dev/null; then
  echo "note: not root, the install on this system is skipped"
elif dpkg-query -W -f='${Status}' quilldrv 2> /dev/null | grep -q "install ok"; then
  echo "note: quilldrv is installed here already, the install on this system is skipped"
else
  unset ODBCSYSINI ODBCINI
  drivers_before=$(odbcinst -q -d 2> /dev/null | sort)
  exec 9> /tmp/quill_deb_install.lock
  flock 9
  if dpkg -i "$deb" > "$work/dpkg.log" 2>&1; then
    check "installed, the driver is registered" bash -c "odbcinst -q -d | grep -qx '\[$section\]'"
    node_dir=$work/anvil
    if port=$(bash "$servers/anvil.sh" start "$node_dir"); then
      out=$(echo "SELECT result FROM chainId" |
        isql -b -v -k "DRIVER={$section};URI=http://127.0.0.1:$port" 2>&1)
      check "isql connects DSN-less by the driver's name (got: $out)" grep -q "0x7a69" <<< "$out"
    fi
  else
    cat "$work/dpkg.log"
    check "dpkg -i installs the package" false
  fi
  dpkg --purge quilldrv > "$work/dpkg-purge.log" 2>&1
  check "purged, no file of the package is left" test ! -e "$libdir/libquilldrv.so" -a ! -e \
    "$libdir/libquilldrvS.so" -a ! -e /usr/share/quilldrv
  check "purged, the system's drivers are as they were" \
    test "$(odbcinst -q -d 2> /dev/null | sort)" = "$drivers_before"
fi
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
