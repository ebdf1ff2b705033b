#!/usr/bin/env bash
# Builds vorsk.exe, stages the sample machine in a fresh private Wine prefix and runs the removal
# on it, under the watcher: message boxes are listed and answered with OK. Installs what is
# missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target vorsk watcher

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
bash scripts/run-watched.sh wine build/win32/watcher.exe build/sample/run build/win32/vorsk.exe
echo "Standard output:"
sed 's/^/  /' build/sample/run/stdout.txt
echo "Message boxes and windows shown:"
if [ -s build/sample/run/events.txt ]; then
  sed 's/^/  /' build/sample/run/events.txt
else
  echo "  none"
fi
echo "Exit status: $(cat build/sample/run/status.txt)"
