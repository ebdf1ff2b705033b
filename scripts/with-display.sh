#!/usr/bin/env bash
# Runs a command on the display of the Wine session of $WINEPREFIX:
#   with-display.sh <command> [arguments...]
# That is DISPLAY when it is set, or else the private Xvfb that wine-session.sh started for the
# session. Programs that create windows under Wine need it: without a display, window creation
# fails.
set -euo pipefail

if [ -z "${DISPLAY:-}" ]; then
  display_file="${WINEPREFIX:?WINEPREFIX is not set}/session-display"
  if [ ! -s "$display_file" ]; then
    echo "with-display.sh: no display; start the session with scripts/wine-session.sh" >&2
    exit 1
  fi
  DISPLAY=$(cat "$display_file")
  export DISPLAY
fi
exec "$@"
