#!/usr/bin/env bash
# Starts (start) or stops (stop) the demo web server: nginx on the built-in
# download server's address, serving the demo site from the build tree.
set -euo pipefail
source "$(dirname "$0")/session.sh"
case "${1:-start}" in
start)
  # Paced so that the progress can be watched; bench/ measures full speed.
  vexil_start_nginx "$VEXIL_BUILD/nginx" "$VEXIL_BUILD/demo-site" "limit_rate 4m;"
  ;;
stop)
  vexil_stop_nginx "$VEXIL_BUILD/nginx"
  ;;
esac
