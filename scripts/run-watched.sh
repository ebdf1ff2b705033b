#!/usr/bin/env bash
# Runs a Windows program under the watcher, in the Wine session of $WINEPREFIX and on its display,
# and keeps what came of it:
#   run-watched.sh <wine> <watcher.exe> <output folder> <program.exe> [arguments...]
# The output folder receives status.txt (the program's exit status), stdout.txt and stderr.txt
# (its standard output and error) and events.txt (the watcher's lines: the message boxes the
# program showed, each dismissed with OK, and any other window of it that became visible).
# VORSK_WATCHER_OPTIONS gives the watcher its options (--own-station).
set -euo pipefail

wine=$1
watcher=$2
out=$3
shift 3
with_display="$(dirname "$0")/with-display.sh"

mkdir -p "$out"
rm -f "$out/status.txt" "$out/stdout.txt" "$out/stderr.txt" "$out/events.txt"
: >"$out/events.txt"
events=$("$wine" winepath -w "$(realpath "$out/events.txt")" 2>/dev/null)
program=$("$wine" winepath -w "$(realpath "$1")" 2>/dev/null)
shift

status=0
# shellcheck disable=SC2086
bash "$with_display" "$wine" "$watcher" ${VORSK_WATCHER_OPTIONS:-} "$events" "$program" "$@" \
  </dev/null >"$out/stdout.txt" 2>"$out/stderr.txt" || status=$?
echo "$status" >"$out/status.txt"
