#!/usr/bin/env bash
# The benchmark command: measures, side by side in one run, vorsk's removal costs against the
# platform's own ways of doing the same work, and how they grow with the size of the machine.
# Prints medians and ratios; absolute times on a shared machine are not stable, ratios are.
#   bench/run.sh [--quick]
# --quick leaves out the registry trees of 100,000 keys (the longest part: about 20 minutes
# under Wine). Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes="1000 10000 100000"
[ "${1:-}" = --quick ] && sizes="1000 10000"
bash scripts/setup.sh bench
cmake --preset bench-native >/dev/null
cmake --build --preset bench-native --target stages_bench >/dev/null
cmake --preset bench-win32 >/dev/null
cmake --build --preset bench-win32 --target vorsk watcher stager machine_state registry_bench \
  devices_bench empty_window >/dev/null
build=build/bench-win32

echo "== Natively, against the in-memory machine (Google Benchmark) =="
build/bench-native/bench/stages_bench --benchmark_color=false 2>&1 |
  grep -v 'Library was built as DEBUG'

prefix=$build/prefix
rm -rf "$prefix"
trap 'bash scripts/wine-session.sh stop "$prefix"' EXIT
bash scripts/wine-session.sh start "$prefix"
export WINEPREFIX=$(realpath "$prefix") WINEDEBUG=-all
results=$build/results.txt
: >"$results"

echo
echo "== Registry trees under Wine: median milliseconds =="
for size in $sizes; do
  repetitions=5
  [ "$size" -ge 100000 ] && repetitions=3
  for shape in wide deep; do
    wine "$build/bench/registry_bench.exe" "$size" "$shape" "$repetitions" </dev/null |
      tr -d '\r' | tee -a "$results" | sed 's/^/  /'
  done
done

echo
echo "== Device instances under Wine: median milliseconds of the walk, none matching =="
for size in 200 2000; do
  wine "$build/bench/devices_bench.exe" "$size" 7 </dev/null | tr -d '\r' |
    sed 's/^/devices /' | tee -a "$results" | sed 's/^/  /'
done

echo
echo "== The whole program under Wine: vorsk.exe on the sample machine against an empty =="
echo "== windowed program (the floor), median milliseconds of 11 runs each              =="
machine=$(wine winepath -w "$(realpath tests/e2e/cases/typical-road.case)" 2>/dev/null)
clock() { date +%s%N; }
vorsk_runs=()
floor_runs=()
for run in $(seq 1 11); do
  wine "$build/tools/machine/stager.exe" "$machine" </dev/null
  start=$(clock)
  bash scripts/with-display.sh wine "$build/vorsk.exe" </dev/null >/dev/null 2>&1
  vorsk_runs+=($(( ($(clock) - start) / 1000000 )))
  start=$(clock)
  bash scripts/with-display.sh wine "$build/bench/empty_window.exe" </dev/null >/dev/null 2>&1
  floor_runs+=($(( ($(clock) - start) / 1000000 )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "program 1 vorsk.exe $(median "${vorsk_runs[@]}")" | tee -a "$results" | sed 's/^/  /'
echo "program 1 empty-window $(median "${floor_runs[@]}")" | tee -a "$results" | sed 's/^/  /'

echo
echo "== Ratios (median against median) =="
figure() { awk -v key="$1" '$1 " " $2 " " $3 == key { print $4 }' "$results"; }
ratio() { # <numerator key> <denominator key>
  awk -v a="$(figure "$1")" -v b="$(figure "$2")" \
    'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f\n", a / b }'
}
printf '  %-36s %-16s %-16s %s\n' "registry trees" "vorsk/RegDelete" "vorsk/reg" "vorsk/floor"
for shape in wide deep; do
  for size in $sizes; do
    base="$shape $size"
    printf '  %-36s %-16s %-16s %s\n' "$base keys" "$(ratio "$base vorsk" "$base RegDeleteTreeA")" \
      "$(ratio "$base vorsk" "$base reg-delete")" "$(ratio "$base vorsk" "$base floor")"
  done
done
printf '  %-36s %s\n' "device walk, 200 instances" \
  "$(ratio "devices 200 RemoveMatchingDevices" "devices 200 bare-walk")"
printf '  %-36s %s\n' "device walk, 2000 instances" \
  "$(ratio "devices 2000 RemoveMatchingDevices" "devices 2000 bare-walk")"
printf '  %-36s %s\n' "device walk growth, 200 to 2000" \
  "$(ratio "devices 2000 RemoveMatchingDevices" "devices 200 RemoveMatchingDevices")"
printf '  %-36s %s\n' "whole program against the floor" \
  "$(ratio "program 1 vorsk.exe" "program 1 empty-window")"
