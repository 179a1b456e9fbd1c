#!/usr/bin/env bash
# One command for the benchmarks: builds, starts a private display, the Wine
# prefix and nginx (its own configuration under the build tree), generates
# the bench files there and prints the figures and ratios of bench.py.
# BENCH_RUNS (default 5) and BENCH_FILE_MIB (default 128) change the rounds
# and the size of each of the 4 files.
set -euo pipefail
source "$(dirname "$0")/../tools/session.sh"
vexil_build
server=$(sed -n 's/^VEXIL_SERVER:STRING=//p' "$VEXIL_BUILD/CMakeCache.txt")
dir="$VEXIL_BUILD/bench/nginx"
mkdir -p "$dir/logs" "$VEXIL_BUILD/bench/site"
cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  # One request per connection: Wine under qemu-user cannot run WinINet's
  # collector of pooled connections.
  keepalive_timeout 0;
  default_type application/octet-stream;
  types { application/xml xml; }
  server {
    listen $server;
    root $VEXIL_BUILD/bench/site;
  }
}
CONF
cleanup() {
  [ -f "$dir/nginx.pid" ] && kill "$(cat "$dir/nginx.pid")" 2>/dev/null
  rm -f "$dir/nginx.pid"
  vexil_stop_session
}
vexil_start_display
trap cleanup EXIT
vexil_start_wine
nginx -p "$dir" -c "$dir/nginx.conf"
export BENCH_WINE_PRELOAD="$vexil_wine_preload"
/usr/bin/python3 "$vexil_root/bench/bench.py" "$server"
