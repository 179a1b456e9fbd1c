#!/usr/bin/env bash
# One command for the benchmarks: builds, starts a private display, the Wine
# prefix and nginx (its own configuration under the build tree), generates
# the bench files there and prints the figures and ratios of bench.py.
# BENCH_RUNS (default 5) changes the rounds; BENCH_FILE_MIB (default 128)
# the size of each of the 4 files on the unlimited server, BENCH_CAPPED_MIB
# (default 48) that of each of the 2 files under /bench/capped/, where nginx
# caps each connection at BENCH_CAP_RATE (default 4m, bytes per second);
# BENCH_DELAY_MS (default 50) the time the long link holds each byte each way;
# BENCH_DELTA_MIB (default 256) the size of the delta case's older copy.
set -euo pipefail
source "$(dirname "$0")/../tools/session.sh"
# Measured: a build that pins no publisher key, in a tree of its own
# (bench-tree in the main one) on the main tree's server address. Its lists
# name files without hashes too, which a build with a key leaves out; its
# documents go unsigned.
server=$(sed -n 's/^VEXIL_SERVER:STRING=//p' "$VEXIL_BUILD/CMakeCache.txt" 2>/dev/null || true)
export VEXIL_BUILD="$VEXIL_BUILD/bench-tree"
VEXIL_CONFIGURE_OPTIONS="-DVEXIL_PUBLISHER_KEYS= ${server:+-DVEXIL_SERVER=$server}" vexil_build
# The peers beside curl, from Debian.
for peer in aria2 zsync; do
  dpkg-query -W -f='${Status}' "$peer" 2>/dev/null | grep -q 'install ok installed' ||
    vexil_quietly apt-get install -y -qq --no-install-recommends "$peer"
done
dir="$VEXIL_BUILD/bench/nginx"
export BENCH_CAP_RATE="${BENCH_CAP_RATE:-4m}"
cleanup() {
  vexil_stop_nginx "$dir"
  vexil_stop_session
}
vexil_start_display
trap cleanup EXIT
vexil_start_wine
# The small files of the long-link measurement keep their connection, as a
# CDN's do, so that curl can fetch them one after another on one.
vexil_start_nginx "$dir" "$VEXIL_BUILD/bench/site" "location /bench/capped/ { limit_rate $BENCH_CAP_RATE; }
    location /bench/small100/ { keepalive_timeout 65; }
    location /bench/many/ { keepalive_timeout 65; }"
export BENCH_WINE_PRELOAD="$vexil_wine_preload"
/usr/bin/python3 "$vexil_root/bench/bench.py" "$(vexil_address_of http)" "$(vexil_address_of https)"
/usr/bin/python3 "$vexil_root/bench/latency.py" "$(vexil_address_of http)" "$(vexil_address_of https)"
/usr/bin/python3 "$vexil_root/bench/delta.py" "$(vexil_address_of http)" "$(vexil_address_of https)"
