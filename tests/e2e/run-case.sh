#!/usr/bin/env bash
# One end-to-end case: stages its machine in a private copy of the world's template prefix, runs
# vorsk.exe on it under the watcher and checks what came of it against the case's expectations:
#   run-case.sh <build folder> <case> <output folder> <world> <template prefix>
set -euo pipefail

here=$(dirname "$(realpath "$0")")
bash "$here/../../scripts/run-machine.sh" "$1" "$2" "$3" "$4" "$5"
status=0
bash "$here/check-case.sh" "$2" "$3" || status=$?
# The prefix has served its purpose; what came of the run stays for reading.
rm -rf "$3/prefix"
exit "$status"
