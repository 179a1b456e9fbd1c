#!/usr/bin/env bash
# One command for the benchmarks: builds, starts a private display, the Wine
# prefix and nginx (its own configuration under the build tree), generates
# the bench files there and prints the figures and ratios of bench.py.
# BENCH_RUNS (default 5) and BENCH_FILE_MIB (default 128) change the rounds
# and the size of each of the 4 files.
set -euo pipefail
source "$(dirname "$0")/../tools/session.sh"
vexil_build
dir="$VEXIL_BUILD/bench/nginx"
cleanup() {
  vexil_stop_nginx "$dir"
  vexil_stop_session
}
vexil_start_display
trap cleanup EXIT
vexil_start_wine
vexil_start_nginx "$dir" "$VEXIL_BUILD/bench/site"
export BENCH_WINE_PRELOAD="$vexil_wine_preload"
/usr/bin/python3 "$vexil_root/bench/bench.py" "$(vexil_address_of http)" "$(vexil_address_of https)"
