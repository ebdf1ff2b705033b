#!/usr/bin/env bash
# Builds vorsk and runs every test: the removal core natively (with sanitizers), then the Windows
# build under Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset win32
cmake --build --preset win32
prefix=build/win32/wineprefix
trap 'bash scripts/wine-session.sh stop "$prefix"' EXIT
bash scripts/wine-session.sh start "$prefix"
ctest --preset win32
