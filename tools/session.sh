# Sourced: builds the project and starts what a run needs (a private Xvfb
# display when there is no display, the Wine prefix, one persistent
# wineserver); vexil_stop_session stops what was started.
vexil_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VEXIL_BUILD="${VEXIL_BUILD:-$vexil_root/build}"
vexil_xvfb_pid=""
vexil_server_pid=""

# Runs a command with its output held back, and shows that output in full
# only when the command fails: a long first run prints one line per phase.
vexil_quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    cat "$log" >&2
    echo "failed (exit status $status): $*" >&2
  fi
  rm -f "$log"
  return $status
}

# Builds VEXIL_BUILD, configured first when new (with VEXIL_CONFIGURE_OPTIONS
# too, cache settings separated by blanks).
vexil_build() {
  bash "$vexil_root/tools/setup.sh"
  local fresh=""
  if [ ! -f "$VEXIL_BUILD/CMakeCache.txt" ]; then
    echo "build: configuring"
    # shellcheck disable=SC2086  # the options are words
    vexil_quietly cmake -S "$vexil_root" -B "$VEXIL_BUILD" -DCMAKE_TOOLCHAIN_FILE="$vexil_root/cmake/mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release ${VEXIL_CONFIGURE_OPTIONS:-}
    fresh=" (about a minute on a fresh tree)"
  fi
  echo "build: compiling$fresh"
  if ! cmake --build "$VEXIL_BUILD" -j "$(nproc)" >"$VEXIL_BUILD/build.log" 2>&1; then
    grep -v -E '^\[ *[0-9]+%\] ' "$VEXIL_BUILD/build.log" | tail -n 40 >&2
    echo "build failed (whole log: $VEXIL_BUILD/build.log)" >&2
    return 1
  fi
}

vexil_start_display() {
  if [ -n "${VEXIL_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
  # Xvfb picks a free display itself: a number that looks free here may be
  # taken by another run starting at the same time, or in another file system
  # sharing this network namespace (abstract sockets).
  local number
  number=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  vexil_xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$number")"
  rm -f "$number"
  [ "$DISPLAY" != ":" ] && return 0
  echo "Xvfb did not start" >&2
  return 1
}

vexil_start_wine() {
  source "$vexil_root/tools/wine-env.sh"
  [ -f "$WINEPREFIX/.vexil-ready" ] || echo "wine: preparing the prefix (once, about 15 s)"
  bash "$vexil_root/tools/wine-prefix.sh"
  # Exit code 2: a server for this prefix runs already (a run left behind
  # or one beside this one), and serves this run as well.
  wineserver -p || [ $? -eq 2 ]
  if [ -f "$VEXIL_BUILD/tests/wine_warmup.exe" ]; then
    vexil_wine wine "$VEXIL_BUILD/tests/wine_warmup.exe" >/dev/null 2>&1 </dev/null
  fi
}

# A 1 MiB RAM disk as drive R: for the engine's disk-space tests, where the
# machine lets us mount one (VEXIL_SMALL_DRIVE).
vexil_mount_small_volume() {
  local dir="$VEXIL_BUILD/small-volume"
  mkdir -p "$dir"
  mountpoint -q "$dir" || mount -t tmpfs -o size=1m vexil-small "$dir" 2>/dev/null || return 0
  rm -rf "${dir:?}"/*
  ln -sfn "$dir" "$WINEPREFIX/dosdevices/r:"
  export VEXIL_SMALL_DRIVE=R:
}

# The built-in download server of this build: its URL (http:// when the cache
# names no scheme), scheme, host:port and port.
vexil_server_url() {
  local server
  server=$(sed -n 's/^VEXIL_SERVER:STRING=//p' "$VEXIL_BUILD/CMakeCache.txt")
  case $server in http://* | https://*) echo "$server" ;; *) echo "http://$server" ;; esac
}
vexil_scheme() { local url; url=$(vexil_server_url); echo "${url%%://*}"; }
vexil_server() { local url; url=$(vexil_server_url); echo "${url#*://}"; }
vexil_port() {
  local address
  address=$(vexil_server)
  case $address in
  *:*) echo "${address##*:}" ;;
  *) if [ "$(vexil_scheme)" = https ]; then echo 443; else echo 80; fi ;;
  esac
}

# Where nginx serves a scheme: the built-in server's own on its address, the
# other one on the next port ("localhost", the name of the test certificate).
vexil_address_of() {
  if [ "$1" = "$(vexil_scheme)" ]; then vexil_server; else echo "localhost:$(($(vexil_port) + 1))"; fi
}

# Started as root, nginx's workers would run as nobody, who cannot read a
# clone in a private home folder: they run as the invoking user instead.
vexil_nginx_user() {
  if [ "$(id -u)" -eq 0 ]; then echo "user $(id -un) $(id -gn);"; fi
}

# nginx serving root over both schemes (see vexil_address_of), HTTPS with the
# build's test certificate, with its files in dir; a third argument adds lines
# to the server block. The log names each request's scheme and TLS version.
vexil_start_nginx() {
  local dir=$1 root=$2 extra=${3:-}
  mkdir -p "$dir/logs" "$root"
  cat >"$dir/nginx.conf" <<CONF
$(vexil_nginx_user)
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 256; }
http {
  log_format vexil '\$remote_addr [\$time_local] "\$request" \$status \$body_bytes_sent \$msec \$request_time '
                   '"\$http_user_agent" \$scheme \$ssl_protocol';
  access_log $dir/logs/access.log vexil;
  sendfile on;
  # One request per connection: WinINet then keeps no pooled connection and
  # starts no collector thread, which Wine under qemu-user cannot run.
  keepalive_timeout 0;
  types { application/xml xml; image/jpeg jpg; }
  default_type application/octet-stream;
  server {
    listen $(vexil_address_of http);
    listen $(vexil_address_of https) ssl;
    ssl_certificate $VEXIL_BUILD/tls/localhost.pem;
    ssl_certificate_key $VEXIL_BUILD/tls/localhost.key;
    root $root;
    $extra
  }
}
CONF
  vexil_stop_nginx "$dir"
  nginx -p "$dir" -c "$dir/nginx.conf"
}

vexil_stop_nginx() {
  if [ -f "$1/nginx.pid" ]; then kill "$(cat "$1/nginx.pid")" 2>/dev/null || true; fi
  rm -f "$1/nginx.pid"
}

# The scripted HTTP server the tests talk to (VEXIL_TEST_SERVER).
vexil_start_test_server() {
  local portfile="$VEXIL_BUILD/test-server.port"
  rm -f "$portfile"
  /usr/bin/python3 "$vexil_root/tests/support/scripted_server.py" "$portfile" &
  vexil_server_pid=$!
  for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.1; done
  export VEXIL_TEST_SERVER="127.0.0.1:$(cat "$portfile")"
}

vexil_stop_session() {
  source "$vexil_root/tools/wine-env.sh"
  wineserver -k >/dev/null 2>&1 || true
  if mountpoint -q "$VEXIL_BUILD/small-volume" 2>/dev/null; then umount "$VEXIL_BUILD/small-volume"; fi
  [ -n "$vexil_server_pid" ] && kill "$vexil_server_pid" 2>/dev/null
  [ -n "$vexil_xvfb_pid" ] && kill "$vexil_xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
}
