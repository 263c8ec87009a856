#!/bin/bash
# Starts and stops a throw-away squid on a loopback port for the proxy tests.
#
#   squid.sh start DIR PORT basic|digest USER PASSWORD   (prints nothing; 0 when listening)
#   squid.sh stop DIR
#
# The instance lives entirely in DIR (config, password file, logs, pid file).
# CONNECT to port 9 is refused with 403 before any authentication, so one
# instance also serves the "forbidden" case. Exit 77 when squid is missing.
set -u

SQUID=${SQUID:-/usr/sbin/squid}
HELPERS=${SQUID_HELPERS:-/usr/lib/squid}
STARTUP_TENTHS=150   # 15 s to come up
SHUTDOWN_TENTHS=100  # 10 s to go down before it is killed

die() { echo "squid.sh: $*" >&2; exit 1; }

listening() {  # PORT: whether something accepts on 127.0.0.1:PORT
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start() {
  local dir=$1 port=$2 scheme=$3 user=$4 password=$5
  [ -x "$SQUID" ] || exit 77
  mkdir -p "$dir" || die "cannot make $dir"
  local auth
  case $scheme in
    basic)
      [ -x "$HELPERS/basic_ncsa_auth" ] || exit 77
      command -v htpasswd >/dev/null || exit 77
      htpasswd -bc "$dir/passwd" "$user" "$password" >/dev/null 2>&1 || die "htpasswd failed"
      auth="auth_param basic program $HELPERS/basic_ncsa_auth $dir/passwd
auth_param basic children 2 startup=1 idle=1
auth_param basic realm quilltest"
      ;;
    digest)
      [ -x "$HELPERS/digest_file_auth" ] || exit 77
      # "user:realm:HA1" lines (-c), so a password may hold any character.
      local ha1
      ha1=$(printf '%s:%s:%s' "$user" quilltest "$password" | md5sum | cut -d' ' -f1)
      printf '%s:%s:%s\n' "$user" quilltest "$ha1" >"$dir/passwd"
      auth="auth_param digest program $HELPERS/digest_file_auth -c $dir/passwd
auth_param digest children 2 startup=1 idle=1
auth_param digest realm quilltest
auth_param digest nonce_strictness off"
      ;;
    *) die "unknown scheme $scheme" ;;
  esac
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
visible_hostname quilltest
pid_filename $dir/squid.pid
cache_log $dir/cache.log
access_log $dir/access.log
cache_store_log none
coredump_dir $dir
cache deny all
cache_mem 8 MB
pinger_enable off
shutdown_lifetime 0 seconds
$auth
acl forbidden_port port 9
http_access deny forbidden_port
acl authenticated proxy_auth REQUIRED
http_access allow authenticated
http_access deny all
CONF
  # squid drops to its own user when started as root; it must read and write here.
  if [ "$(id -u)" = 0 ] && getent passwd proxy >/dev/null; then
    chown -R proxy "$dir"
  fi
  chmod 755 "$dir"
  "$SQUID" -f "$dir/squid.conf" >"$dir/start.log" 2>&1 || die "squid did not start: $(cat "$dir/start.log")"
  local i
  for ((i = 0; i < STARTUP_TENTHS; i++)); do
    listening "$port" && return 0
    sleep 0.1
  done
  stop "$dir"
  die "squid did not listen on $port"
}

stop() {
  local dir=$1
  [ -f "$dir/squid.conf" ] || return 0
  local pid=""
  [ -f "$dir/squid.pid" ] && pid=$(cat "$dir/squid.pid" 2>/dev/null)
  "$SQUID" -f "$dir/squid.conf" -k shutdown >/dev/null 2>&1
  if [ -n "$pid" ]; then
    local i
    for ((i = 0; i < SHUTDOWN_TENTHS; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  fi
  return 0
}

case ${1:-} in
  start) [ $# -eq 6 ] || die "usage: squid.sh start DIR PORT basic|digest USER PASSWORD"
         start "$2" "$3" "$4" "$5" "$6" ;;
  stop) [ $# -eq 2 ] || die "usage: squid.sh stop DIR"
        stop "$2" ;;
  *) die "usage: squid.sh start|stop ..." ;;
esac
