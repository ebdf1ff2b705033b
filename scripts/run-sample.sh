#!/usr/bin/env bash
# Builds vorsk.exe, stages the sample machine in a fresh private Wine prefix and runs the removal
# on it. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target vorsk

prefix=build/sample/wineprefix
rm -rf "$prefix"
trap 'bash scripts/wine-session.sh stop "$prefix"' EXIT
echo "Staging the sample machine in $prefix ..."
bash scripts/wine-session.sh start "$prefix"
export WINEPREFIX=$(realpath "$prefix") WINEDEBUG=-all

windows="$WINEPREFIX/drive_c/windows"
mkdir -p "$windows/Setup417"
cp tools/sample/Remove417.ini "$windows/Setup417/Remove417.ini"

echo "Running vorsk.exe ..."
status=0
wine build/win32/vorsk.exe >build/sample/output.txt 2>/dev/null || status=$?
echo "Standard output:"
sed 's/^/  /' build/sample/output.txt
echo "Exit status: $status"
