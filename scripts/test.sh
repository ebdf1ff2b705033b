#!/usr/bin/env bash
# Builds vorsk and runs every test: the removal core natively (with sanitizers), then the Windows
# builds under Wine: the 64-bit companion in a 64-bit prefix, and vorsk.exe in a 32-bit prefix
# (the 32-bit Windows it was made for), with the end-to-end cases in both worlds of this machine's
# Wine 8 and those marked for it in the third world, Wine 10 in a chroot (wine10-world.sh).
# Installs what is missing first; the chroot is made, when it is not cached yet, while the
# builds run, and the package test runs beside the 32-bit tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build
bash scripts/wine10-world.sh setup >build/wine10-world.log 2>&1 &
world=$!

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset win64
cmake --build --preset win64
cmake --preset win32 -DVORSK_WINE10_WORLD=ON
cmake --build --preset win32
if ! wait "$world"; then
  cat build/wine10-world.log >&2
  exit 1
fi

prefix64=build/win64/wineprefix
prefix32=build/win32/wineprefix
trap 'bash scripts/wine-session.sh stop "$prefix64"; bash scripts/wine-session.sh stop "$prefix32"' EXIT
bash scripts/wine-session.sh start "$prefix64" win64
ctest --preset win64 -E '^win64[.]package$'
# The package test builds both programs again in a clone of its own, mostly on one core: it runs
# beside the 32-bit tests, in its own prefix's session, and its result is shown after them.
ctest --preset win64 -R '^win64[.]package$' >build/win64-package.log 2>&1 &
package=$!
bash scripts/wine-session.sh start "$prefix32" win32
status=0
ctest --preset win32 || status=$?
package_status=0
wait "$package" || package_status=$?
cat build/win64-package.log
if [ "$status" -ne 0 ] || [ "$package_status" -ne 0 ]; then
  exit 1
fi
