#!/usr/bin/env bash
# The package stage's cost under Wine, in a 64-bit prefix of its own (vorsk.exe under WOW64, with
# its companion beside it): vorsk.exe run on a machine with a driver and a matching device
# instance, staged afresh before each run. With a second folder of programs (vorsk.exe and
# vorsk64.exe of another build), both are timed, their runs alternating, in the same prefix.
#   package_stage.sh <32-bit build> <64-bit build> <machine description> <runs> <output folder>
#                    [<other programs' folder>]
# Prints, for each program, the median wall time of its runs and the median of its removal phase
# (VORSK_STARTUP_TIMES: the three stages, with the companion's work), in milliseconds:
#   stage <label> wall <ms> removal <ms>
# and keeps each run's phases in <output folder>/phases-<label>. Runs under whichever Wine the
# PATH gives: bench/run.sh runs it under this machine's Wine 8, and under Wine 10 inside its
# world's chroot (scripts/wine10-world.sh run).
set -euo pipefail

build=$(realpath "$1")
build64=$(realpath "$2")
description=$(realpath "$3")
runs=$4
out=$(realpath -m "$5")
other=${6:+$(realpath "$6")}
scripts=$(realpath "$(dirname "$0")/../scripts")

prefix=$out/prefix
bash "$scripts/wine-session.sh" stop "$prefix" 2>/dev/null || true
rm -rf "$out"
mkdir -p "$out"
trap 'bash "$scripts/wine-session.sh" stop "$prefix"' EXIT
[ -n "${DISPLAY:-}" ] || unset DISPLAY
bash "$scripts/wine-session.sh" start "$prefix" win64
export WINEPREFIX=$prefix WINEDEBUG=-all
[ -n "${DISPLAY:-}" ] || export DISPLAY="$(cat "$prefix/session-display")"

labels=(after)
mkdir -p "$prefix/drive_c/vorsk-after"
cp "$build/vorsk.exe" "$build64/vorsk64.exe" "$prefix/drive_c/vorsk-after/"
if [ -n "$other" ]; then
  labels+=(before)
  mkdir -p "$prefix/drive_c/vorsk-before"
  cp "$other/vorsk.exe" "$other/vorsk64.exe" "$prefix/drive_c/vorsk-before/"
fi
staged=$(wine winepath -w "$description" 2>/dev/null)
stage() {
  wine "$build/tools/machine/stager.exe" "$staged" </dev/null >/dev/null 2>&1
  if grep -q '^package ' "$description"; then
    wine "$build64/tools/machine/stager.exe" --packages "$staged" </dev/null >/dev/null 2>&1
  fi
}

for label in "${labels[@]}"; do
  : >"$out/phases-$label"
done
count=${#labels[@]}
for run in $(seq 0 $((runs - 1))); do
  for turn in $(seq 0 $((count - 1))); do
    label=${labels[$(((run + turn) % count))]}
    stage
    start=$(date +%s%N)
    status=0
    VORSK_STARTUP_TIMES=1 wine "$prefix/drive_c/vorsk-$label/vorsk.exe" /quiet </dev/null \
      >/dev/null 2>"$out/stderr.txt" || status=$?
    elapsed=$((($(date +%s%N) - start) / 1000))
    if [ "$status" -ne 0 ]; then
      echo "package_stage.sh: vorsk.exe ($label) ended with status $status:" >&2
      sed 's/^/  /' "$out/stderr.txt" >&2
      exit 1
    fi
    awk -v wall="$elapsed" '$1 == "phase" { print } END { printf "phase wall %.3f\n", wall / 1000 }' \
      "$out/stderr.txt" >>"$out/phases-$label"
  done
done

median() { # <label> <phase>
  awk -v phase="$2" '$1 == "phase" && $2 == phase { print $3 }' "$out/phases-$1" | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else printf "%.1f\n", v[int((NR + 1) / 2)] }'
}
for label in "${labels[@]}"; do
  echo "stage $label wall $(median "$label" wall) removal $(median "$label" removal)"
done
