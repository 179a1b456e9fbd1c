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
# Under qemu-user, Wine sometimes crashes in a thread it starts itself (see
# README): a test program that dies that way gets up to two more runs.
skip=()
if [ -n "$vexil_wine_preload" ]; then
  # Wine under qemu-user crashes in WinINet's own connection thread during the
  # document tests (see README); they run on kernels with 32-bit support.
  echo "test: Wine runs under qemu-user here; config_tests are skipped (see README)"
  skip=(-E '^config_tests$')
fi
ctest --test-dir "$VEXIL_BUILD" --output-on-failure --timeout 120 --repeat until-pass:3 "${skip[@]}" "$@"
