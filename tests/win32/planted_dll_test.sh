#!/usr/bin/env bash
# The program run from a folder where DLLs of the common controls' and the device setup service's
# names were planted, with Wine told to prefer a DLL found through the search to its own: it must
# run as without them, and load neither.
#   planted_dll_test.sh <wine> <watcher.exe> <program.exe> <planted.dll> <output folder>
#                       <script file> <expected events file>
set -euo pipefail

wine=$1
watcher=$2
program=$3
planted=$4
out=$5
script=$6
expected_events=$7

folder="$out/program"
rm -rf "$folder"
mkdir -p "$folder"
cp "$program" "$folder/"
for name in comctl32.dll setupapi.dll; do
  cp "$planted" "$folder/$name"
done

export WINEDLLOVERRIDES="comctl32,setupapi=n,b"
failed=0
bash "$(dirname "$0")/program_test.sh" "$wine" "$watcher" "$folder/$(basename "$program")" \
  "$out/run" "$script" 0 "$expected_events" || failed=1
# Each planted DLL that was loaded left a file, named as the loader named the DLL (any case).
for marker in "$folder"/*.loaded; do
  if [ -e "$marker" ]; then
    echo "FAILED: the planted $(basename "$marker" .loaded) was loaded"
    failed=1
  fi
done
exit "$failed"
