#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine; ends with
# CTest's summary line.
set -euo pipefail
source "$(dirname "$0")/session.sh"
vexil_build
vexil_start_display
trap vexil_stop_session EXIT
vexil_start_wine
vexil_start_test_server
vexil_mount_small_volume
# Under qemu-user, Wine sometimes crashes in a thread it starts itself (see
# README): a test program that dies that way gets up to two more runs.
rm -f "$VEXIL_BUILD/fault-suite.txt"
status=0
echo "test: running the tests under Wine (the whole suite takes a few minutes)"
ctest --test-dir "$VEXIL_BUILD" --output-on-failure --timeout 120 --repeat until-pass:3 "$@" || status=$?
if [ -f "$VEXIL_BUILD/fault-suite.txt" ]; then cat "$VEXIL_BUILD/fault-suite.txt"; fi
exit $status
