#!/usr/bin/env bash
# Starts (start) or stops (stop) the demo web server: nginx on the built-in
# download server's address, serving the demo site from the build tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${VEXIL_BUILD:-$root/build}"
server=$(sed -n 's/^VEXIL_SERVER:STRING=//p' "$build/CMakeCache.txt")
dir="$build/nginx"
case "${1:-start}" in
start)
  mkdir -p "$dir/logs" "$build/demo-site"
  cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 256; }
http {
  access_log $dir/logs/access.log;
  sendfile on;
  # One request per connection: WinINet then keeps no pooled connection and
  # starts no collector thread, which Wine under qemu-user cannot run.
  keepalive_timeout 0;
  types { application/xml xml; image/jpeg jpg; }
  default_type application/octet-stream;
  server {
    listen $server;
    root $build/demo-site;
    # Paced so that the progress can be watched; bench/ measures full speed.
    limit_rate 4m;
  }
}
CONF
  [ -f "$dir/nginx.pid" ] && kill "$(cat "$dir/nginx.pid")" 2>/dev/null || true
  nginx -p "$dir" -c "$dir/nginx.conf" 2>/dev/null
  ;;
stop)
  [ -f "$dir/nginx.pid" ] && kill "$(cat "$dir/nginx.pid")" 2>/dev/null || true
  rm -f "$dir/nginx.pid"
  ;;
esac
