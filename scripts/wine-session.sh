#!/usr/bin/env bash
# Starts or stops the Wine session of a private prefix:
#   wine-session.sh start|stop <prefix>
# The server and Wine's background services are started with standard input, output and error
# detached, so that no test runner waits on the pipes they would otherwise inherit.
set -euo pipefail

action=$1
export WINEPREFIX=$(realpath -m "$2")
export WINEDEBUG=-all

case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
    ;;
esac
