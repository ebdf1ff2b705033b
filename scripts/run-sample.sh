#!/usr/bin/env bash
# The main command: builds vorsk.exe and vorsk64.exe, stages the sample machine (the typical road:
# the scanner's still-image driver entry with oem7.inf and oem7.pnf, two instances of the scanner
# beside an unrelated device, two vendor key trees, and the removal script) in a fresh private
# Wine prefix of today's 64-bit Windows, runs vorsk.exe on it and shows what happened: each
# message box as it appears (answered with OK), the trace the run wrote to standard output, the
# exit status, and the machine before and after. Installs what is missing first. Runs the same
# way every time: the prefix is made anew. VORSK_WORLD=win32 runs it on the 32-bit Windows that
# vorsk.exe was made for instead.
#   run-sample.sh [<machine description>]
set -euo pipefail
cd "$(dirname "$0")/.."

machine=${1:-tests/e2e/cases/typical-road.case}
world=${VORSK_WORLD:-win64}
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vorsk64 >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target vorsk watcher stager machine_state >/dev/null
out=build/sample

echo "Staging $machine in a fresh Wine prefix ($world, $out/prefix); booting it takes a while ..."
bash scripts/wine-session.sh stop "$out/prefix" 2>/dev/null || true
rm -rf "$out"  # so that no earlier run's message boxes are shown as this one's
bash scripts/run-machine.sh build/win32 "$machine" "$out" "$world" >"$out.log" 2>&1 &
runner=$!
# The message boxes, as the watcher meets them.
while [ ! -f "$out/events.txt" ] && kill -0 "$runner" 2>/dev/null; do
  sleep 0.2
done
if [ -f "$out/events.txt" ]; then
  echo "Running vorsk.exe ..."
  tail --pid="$runner" -n +1 -F "$out/events.txt" 2>/dev/null | while IFS= read -r event; do
    echo "  message box: ${event#box }"
    echo "    dismissed with OK"
  done
fi
if ! wait "$runner"; then
  cat "$out.log" >&2
  exit 1
fi

echo "Trace on standard output:"
tr -d '\r' <"$out/stdout.txt" | sed 's/^/  /'
echo "Exit status: $(cat "$out/status.txt")"

# The machine: each item the description stages or the script lists, before and after.
present() { # <state file> <line prefix>
  if grep -Fq -- "$2" "$1"; then echo present; else echo gone; fi
}
keys_below() { # <state file> <key path>: the number of keys at and below it
  local n
  n=$(root="$2" awk '$0 == "key " ENVIRON["root"] || index($0, "key " ENVIRON["root"] "\\") == 1 {
    n++ } END { print n + 0 }' "$1")
  if [ "$n" -eq 0 ]; then echo gone; elif [ "$n" -eq 1 ]; then echo "1 key"; else echo "$n keys"; fi
}
row() { printf '  %-74s %-9s %s\n' "$1" "$2" "$3"; }
echo "The machine before and after:"
row "" before after
tr -d '\r' <"$machine" | while IFS= read -r line; do
  kind=${line%% *}
  rest=${line#* }
  first=${rest%% | *}
  case "$kind" in
    file)
      row "file $first" "$(present "$out/before.txt" "file $first")" \
        "$(present "$out/after.txt" "file $first")" ;;
    driver)
      class=${first%% *}
      [ "$class" = image ] && guid='{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}' ||
        guid='{36FC9E60-C465-11CF-8056-444553540000}'
      entry="SYSTEM\\CurrentControlSet\\Control\\Class\\$guid\\${first#* }"
      infpath=$(sed -n 's/.*InfPath=\([^|]*\).*/\1/p' <<<"$rest")
      row "driver entry $class\\${first#* } (${infpath:-no InfPath})" \
        "$(present "$out/before.txt" "key $entry")" "$(present "$out/after.txt" "key $entry")" ;;
    device)
      row "device $first" "$(present "$out/before.txt" "device $first")" \
        "$(present "$out/after.txt" "device $first")" ;;
  esac
done
# The trees that the script lists (entries Num1, Num2, ... of its KEY sections), then the keys
# the description stages outside them.
listed=$(tr -d '\r' <"$machine" | awk '
  /^script$/ { inScript = 1; next }
  /^end script$/ { inScript = 0 }
  inScript && /^\[/ { inKeys = toupper($0) ~ /KEY\]$/; next }
  inScript && inKeys && tolower($0) ~ /^num[0-9]+=/ { sub(/^[^=]*=/, ""); print }')
while IFS= read -r tree; do
  [ -z "$tree" ] || row "tree $tree" "$(keys_below "$out/before.txt" "$tree")" \
    "$(keys_below "$out/after.txt" "$tree")"
done <<<"$listed"
sed -n 's/^key \([^|]*\).*/\1/p' "$machine" | tr -d '\r' | sed 's/ *$//' |
  while IFS= read -r key; do
    inside=no
    while IFS= read -r tree; do
      case "$key" in "$tree" | "$tree"\\*) inside=yes ;; esac
    done <<<"$listed"
    [ "$inside" = yes ] || row "key $key" "$(keys_below "$out/before.txt" "$key")" \
      "$(keys_below "$out/after.txt" "$key")"
  done
rm -rf "$out/prefix"
