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
# Only under qemu-user, where Wine sometimes crashes in a thread it starts
# itself (see README), does a test program that dies get two more runs.
repeat=()
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then repeat=(--repeat until-pass:3); fi
rm -f "$VEXIL_BUILD/fault-suite.txt"
log="$VEXIL_BUILD/ctest.log"
echo "test: running the tests under Wine (the whole suite takes a few minutes)"
set +e
ctest --test-dir "$VEXIL_BUILD" --output-on-failure --timeout 120 "${repeat[@]}" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
if [ -f "$VEXIL_BUILD/fault-suite.txt" ]; then cat "$VEXIL_BUILD/fault-suite.txt"; fi
starts=$(grep -oE '^ *Start +[0-9]+:' "$log" || true)
runs=$(grep -c . <<<"$starts" || true)
programs=$(sort -u <<<"$starts" | grep -c . || true)
e2e=$({ grep -oE '[0-9]+ rerun' "$log" || true; } | awk '{n += $1} END {print n + 0}')
echo "test: reruns: $((runs - programs)) of test programs, $e2e of end-to-end tests"
exit $status
