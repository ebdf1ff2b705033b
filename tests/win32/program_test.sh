#!/usr/bin/env bash
# One test of the program on the Wine prefix's own machine: places a removal script (or none) in
# the prefix's Windows folder, runs the program under the watcher and compares what came of it.
#   program_test.sh <wine> <watcher.exe> <program.exe> <output folder> <script file | NONE>
#                   <expected status> <expected events file> [standard output pattern]
# The events must equal the expected file line for line; the standard output must match the
# extended regular expression, when one is given.
set -euo pipefail

wine=$1
watcher=$2
program=$3
out=$4
script=$5
expected_status=$6
expected_events=$7
output_pattern=${8:-}

script_dir="${WINEPREFIX:?}/drive_c/windows/Setup417"
rm -rf "$script_dir"
trap 'rm -rf "$script_dir"' EXIT
if [ "$script" != NONE ]; then
  mkdir -p "$script_dir"
  cp "$script" "$script_dir/Remove417.ini"
fi

bash "$(dirname "$0")/../../scripts/run-watched.sh" "$wine" "$watcher" "$out" "$program"

status=$(cat "$out/status.txt")
echo "exit status: $status"
echo "events:"
sed 's/^/  /' "$out/events.txt"
echo "standard output:"
sed 's/^/  /' "$out/stdout.txt"

failed=0
if [ "$status" != "$expected_status" ]; then
  echo "FAILED: exit status $status, expected $expected_status"
  sed 's/^/  stderr: /' "$out/stderr.txt"
  failed=1
fi
if ! diff -u "$expected_events" "$out/events.txt"; then
  echo "FAILED: the events differ from $expected_events"
  failed=1
fi
if [ -n "$output_pattern" ] && ! grep -Eq "$output_pattern" "$out/stdout.txt"; then
  echo "FAILED: standard output does not match $output_pattern"
  failed=1
fi
exit "$failed"
