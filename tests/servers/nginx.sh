#!/usr/bin/env bash
# Starts and stops a throw-away nginx in front of a local node, for the tests
# of the transport behind a real web server. Two loopback servers proxy to the
# node: a plain-HTTP one that gzips JSON and streams it chunked, and an HTTPS
# one serving localhost/127.0.0.1 certificates signed by the test CA of
# tls_certs.sh (made into DIR/certs; the CA is DIR/certs/ca.pem).
#
#   nginx.sh start DIR UPSTREAM-PORT   prints "HTTP-PORT HTTPS-PORT"; 0 when both listen
#   nginx.sh stop DIR
#
# Everything of the instance (config, pid file, logs, temp paths) lives in DIR.
# Exit 77 when nginx or openssl is missing.
set -u

here=$(cd "$(dirname "$0")" && pwd)
NGINX=${NGINX:-/usr/sbin/nginx}
STARTUP_TENTHS=100   # 10 s to come up
SHUTDOWN_TENTHS=100  # 10 s to go down before it is killed

die() { echo "nginx.sh: $*" >&2; exit 1; }

listening() {  # PORT: whether something accepts on 127.0.0.1:PORT
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

start() {
  local dir=$1 upstream=$2
  [ -x "$NGINX" ] || exit 77
  command -v openssl >/dev/null || exit 77
  mkdir -p "$dir/temp" || die "cannot make $dir"
  dir=$(cd "$dir" && pwd)
  sh "$here/tls_certs.sh" "$dir/certs" >"$dir/certs.log" 2>&1 || die "certificates failed"
  local http_port https_port
  http_port=$(free_port) || die "no free port"
  https_port=$(free_port) || die "no free port"
  [ "$http_port" != "$https_port" ] || https_port=$(free_port)
  # Workers of a root master would otherwise switch to a user that cannot write here.
  local user_line=""
  [ "$(id -u)" = 0 ] && user_line="user root root;"
  cat >"$dir/nginx.conf" <<CONF
$user_line
daemon on;
worker_processes 1;
pid $dir/nginx.pid;
lock_file $dir/nginx.lock;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  upstream node { server 127.0.0.1:$upstream; }
  server {
    listen 127.0.0.1:$http_port;
    gzip on;
    gzip_types application/json;
    gzip_min_length 1;
    chunked_transfer_encoding on;
    location / {
      proxy_pass http://node;
      proxy_http_version 1.1;
      proxy_buffering off;
    }
  }
  server {
    listen 127.0.0.1:$https_port ssl;
    ssl_certificate $dir/certs/server.pem;
    ssl_certificate_key $dir/certs/server.key;
    location / {
      proxy_pass http://node;
      proxy_http_version 1.1;
    }
  }
}
CONF
  "$NGINX" -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" >"$dir/start.log" 2>&1 ||
    die "nginx did not start: $(cat "$dir/start.log" "$dir/error.log" 2>/dev/null)"
  local i
  for ((i = 0; i < STARTUP_TENTHS; i++)); do
    if listening "$http_port" && listening "$https_port"; then
      echo "$http_port" >"$dir/nginx.http_port"
      echo "$https_port" >"$dir/nginx.https_port"
      echo "$http_port $https_port"
      return 0
    fi
    sleep 0.1
  done
  stop "$dir"
  die "nginx did not listen on $http_port and $https_port"
}

stop() {
  local dir=$1
  [ -f "$dir/nginx.pid" ] || return 0
  local pid
  pid=$(cat "$dir/nginx.pid" 2>/dev/null)
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null
  local i
  for ((i = 0; i < SHUTDOWN_TENTHS; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  rm -f "$dir/nginx.pid"
  return 0
}

case ${1:-} in
  start) [ $# -eq 3 ] || die "usage: nginx.sh start DIR UPSTREAM-PORT"
         start "$2" "$3" ;;
  stop) [ $# -eq 2 ] || die "usage: nginx.sh stop DIR"
        stop "$2" ;;
  *) die "usage: nginx.sh start|stop ..." ;;
esac
