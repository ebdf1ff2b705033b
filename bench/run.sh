#!/usr/bin/env bash
# The benchmark command: measures, side by side in one run, vorsk's removal costs against the
# platform's own ways of doing the same work, and how they grow with the size of the machine.
# Prints medians and ratios; absolute times on a shared machine are not stable, ratios are.
#   bench/run.sh [--full]
# By default: the stages natively, the registry trees of 1,000 and 10,000 keys, the device walk,
# the whole program in a 64-bit prefix (with its companion) and in a 32-bit one, and the
# companion's removal against a bare 64-bit remover, the driver store's search among 1,500 package
# folders against a plain walk (a few minutes on two cores). --full adds the trees of 100,000 keys
# and the backup of 10,000 keys. With VORSK_BENCH_BEFORE set to a folder that holds vorsk.exe and
# vorsk64.exe of another build, the package stage of both builds is timed too, side by side
# (bench/package_stage.sh), in a 64-bit prefix of this machine's Wine.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

full=false
case "${1:-}" in
  "") ;;
  --full) full=true ;;
  *) echo "usage: $0 [--full]" >&2; exit 2 ;;
esac
started=$(date +%s)
sizes="1000 10000"
backup_sizes="1000"
# Runs of each program in the whole-program comparisons: on a shared machine a median of 21 moves
# far less from one run of this command to the next than one of 11.
whole_runs=21
# Instances the companion removes in its comparison with the bare remover, and runs of each.
companion_instances=20
companion_runs=11
if $full; then
  sizes="1000 10000 100000"
  backup_sizes="1000 10000"
fi

bash scripts/setup.sh bench
cmake --preset bench-native >/dev/null
cmake --build --preset bench-native --target stages_bench >/dev/null
cmake --preset bench-win32 >/dev/null
cmake --build --preset bench-win32 --target vorsk stager registry_bench devices_bench \
  store_bench empty_window frameless_run frameless_bars plain_run >/dev/null
cmake --preset bench-win64 >/dev/null
cmake --build --preset bench-win64 --target vorsk64 stager empty_program bare_remover >/dev/null
build=$(realpath build/bench-win32)
build64=$(realpath build/bench-win64)
results=$build/results.txt
: >"$results"

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
figure() { awk -v key="$1" '$1 " " $2 " " $3 == key { print $4 }' "$results"; }
ratio() { # <numerator key> <denominator key>
  awk -v a="$(figure "$1")" -v b="$(figure "$2")" \
    'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f\n", a / b }'
}
record() { echo "$*" | tee -a "$results" | sed 's/^/  /'; }

echo "== Natively, against the in-memory machine (Google Benchmark) =="
build/bench-native/bench/stages_bench --benchmark_color=false 2>&1 |
  grep -v 'Library was built as DEBUG'

# One Wine session at a time, each on a fresh prefix of its own: win64 (the default prefix: 64-bit
# Windows, vorsk.exe under WOW64 with its companion) and win32 (WINEARCH=win32).
own_display=${DISPLAY:-}
session=
trap '[ -z "$session" ] || bash scripts/wine-session.sh stop "$session"' EXIT
open_session() { # <world>
  session=$build/prefix-$1
  rm -rf "$session"
  # Without a display of our own each session starts its private one.
  [ -n "$own_display" ] || unset DISPLAY
  bash scripts/wine-session.sh start "$session" "$1"
  export WINEPREFIX=$session WINEDEBUG=-all
  # The session's display, read once: windows need it, and a helper script in every timed run
  # would add its own start to each.
  [ -n "$own_display" ] || export DISPLAY="$(cat "$session/session-display")"
  programs=$session/drive_c/vorsk-bench
  mkdir -p "$programs"
  cp "$build/vorsk.exe" "$build/bench/frameless_run.exe" "$build/bench/frameless_bars.exe" \
    "$build/bench/empty_window.exe" "$build/bench/plain_run.exe" "$programs/"
  if [ "$1" = win64 ]; then
    cp "$build64/vorsk64.exe" "$build64/bench/empty_program.exe" \
      "$build64/bench/bare_remover.exe" "$programs/"
  fi
}
close_session() {
  bash scripts/wine-session.sh stop "$session"
  session=
}
stage() { # <description>
  wine "$build/tools/machine/stager.exe" "$(wine winepath -w "$1" 2>/dev/null)" \
    </dev/null >/dev/null 2>&1
}

# Times programs of C:\vorsk-bench side by side on freshly staged machines:
#   time_programs <world> <description> <runs> <label>=<program> [<arguments>] ...
# Each run stages the machine again, then runs each program once, the order turning by one at
# each run, so that none always follows the same one. Each program's standard error (its
# start-up phases, with VORSK_STARTUP_TIMES set) and wall time go to $build/phases-<world>-<label>.
time_programs() {
  local world=$1 description=$2 runs=$3
  shift 3
  local count=$#
  local -a labels=() commands=()
  local entry
  for entry in "$@"; do
    labels+=("${entry%%=*}")
    commands+=("${entry#*=}")
    : >"$build/phases-$world-${entry%%=*}"
  done
  local run turn index start status elapsed
  for run in $(seq 0 $((runs - 1))); do
    for turn in $(seq 0 $((count - 1))); do
      index=$(((run + turn) % count))
      stage "$description"
      [ -z "${fresh_folder:-}" ] || rm -rf "$fresh_folder"
      # shellcheck disable=SC2086 # a program and its arguments
      set -- ${commands[$index]}
      start=$(date +%s%N)
      status=0
      VORSK_STARTUP_TIMES=1 wine "$programs/$1" "${@:2}" </dev/null >/dev/null \
        2>"$build/stderr.txt" || status=$?
      elapsed=$((($(date +%s%N) - start) / 1000))
      if [ "$status" -ne 0 ]; then
        echo "  ${commands[$index]} ended with status $status:" >&2
        sed 's/^/    /' "$build/stderr.txt" >&2
        exit 1
      fi
      awk -v wall="$elapsed" '$1 == "phase" { print } END { printf "phase wall %.3f\n", wall / 1000 }' \
        "$build/stderr.txt" >>"$build/phases-$world-${labels[$index]}"
    done
  done
}
# The median of one phase of a program's runs, or "-" when it has none.
phase_median() { # <world> <label> <phase>
  awk -v phase="$3" '$1 == "phase" && $2 == phase { print $3 }' "$build/phases-$1-$2" |
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else printf "%.1f\n", v[int((NR + 1) / 2)] }'
}
# The median over a program's runs of what no phase covers: the launch before the process is
# created, and its end after the last mark.
outside_median() { # <world> <label>
  awk '$1 == "phase" && $2 != "wall" { sum += $3 } $2 == "wall" { print $3 - sum; sum = 0 }' \
    "$build/phases-$1-$2" | sort -n | awk '{ v[NR] = $1 } END { printf "%.1f\n", v[int((NR + 1) / 2)] }'
}

# The whole program on the sample machine, <runs> runs of each program: vorsk.exe against the
# frameless run of the same work (bench/wine/frameless_run.cpp), the same with the common controls'
# bars (frameless_bars) and an empty windowed program. In the 64-bit world both frameless runs
# then start an empty 64-bit program the way vorsk.exe starts vorsk64.exe, and the frameless run
# is timed without it as well.
whole_program() { # <world> <runs>
  local world=$1 runs=$2
  local frameless=frameless bars=bars
  local -a timed=(vorsk=vorsk.exe frameless=frameless_run.exe empty=empty_window.exe
    independent=plain_run.exe)
  if [ "$world" = win64 ]; then
    frameless=frameless+companion
    bars=bars+companion
    timed+=("frameless+companion=frameless_run.exe empty_program.exe"
      "bars+companion=frameless_bars.exe empty_program.exe")
  else
    timed+=(bars=frameless_bars.exe)
  fi
  time_programs "$world" tests/e2e/cases/typical-road.case "$runs" "${timed[@]}"
  local label
  for label in vorsk frameless independent empty frameless+companion bars bars+companion; do
    if [ -s "$build/phases-$world-$label" ]; then
      record "program $world $label $(phase_median "$world" "$label" wall)"
    fi
  done
  echo "  start-up phases, median milliseconds of the runs above, each from the end of the one before"
  echo "  ('loaded' from the process's creation; 'launch and exit': the wall time no phase covers):"
  printf '    %-46s %10s %20s %16s\n' phase vorsk.exe "$frameless" "$bars"
  local row name ours theirs barred
  for row in "loaded (libraries, runtime)|loaded|loaded" \
    "settings (the per-user settings key)|settings|-" "document template|template|-" \
    "command line|command-line|-" "frame and its view (frameless: window)|frame|window" \
    "toolbar|toolbar|-" "status bar|status-bar|-" "toolbar and status bar|-|bars" \
    "removal (64-bit vorsk.exe: with its companion)|removal|removal" \
    "the empty 64-bit program's start|-|companion"; do
    IFS='|' read -r name ours theirs <<<"$row"
    barred=$theirs
    [ "$ours" = - ] || ours=$(phase_median "$world" vorsk "$ours")
    [ "$theirs" = - ] || theirs=$(phase_median "$world" "$frameless" "$theirs")
    [ "$barred" = - ] || barred=$(phase_median "$world" "$bars" "$barred")
    [ "$ours$theirs$barred" = --- ] ||
      printf '    %-46s %10s %20s %16s\n' "$name" "$ours" "$theirs" "$barred"
  done
  printf '    %-46s %10s %20s %16s\n' "launch and exit" "$(outside_median "$world" vorsk)" \
    "$(outside_median "$world" "$frameless")" "$(outside_median "$world" "$bars")"
  printf '    %-46s %10s %20s %16s\n' "whole run (wall)" "$(phase_median "$world" vorsk wall)" \
    "$(phase_median "$world" "$frameless" wall)" "$(phase_median "$world" "$bars" wall)"
}

# The /backup switch's cost: vorsk.exe with /backup against vorsk.exe without, on a machine whose
# script lists one tree of <keys> keys. A build whose vorsk.exe does not know the switch (status 1:
# an unknown switch runs nothing) skips it.
backup_cost() { # <world> <keys>
  local world=$1 keys=$2
  local description=$build/backup-$keys.case
  {
    echo "script"
    printf '[CurrentDev]\nDevNo=1\n[1KEY]\nNum=1\nNum1=SOFTWARE\\Vorsk Bench Vendor\\Tree\nend script\n'
  } >"$description"
  awk -v keys="$keys" 'BEGIN { for (i = 0; i < keys; ++i)
      printf "key SOFTWARE\\Vorsk Bench Vendor\\Tree\\k%d | Value=%d\n", i, i }' >>"$description"
  stage "$description"
  local status=0
  wine "$programs/vorsk.exe" /quiet '/backup:C:\bk' </dev/null >/dev/null 2>&1 || status=$?
  if [ "$status" -eq 1 ]; then
    echo "  backup at $keys keys skipped: no /backup in this build"
    return
  fi
  fresh_folder=$session/drive_c/bk
  time_programs "$world" "$description" 11 "backup-$keys=vorsk.exe /quiet /backup:C:\\bk" \
    "plain-$keys=vorsk.exe /quiet"
  fresh_folder=
  record "backup $keys with $(phase_median "$world" "backup-$keys" wall)"
  fresh_folder=
  record "backup $keys without $(phase_median "$world" "plain-$keys" wall)"
}

# The companion's own cost, 64-bit prefix: vorsk64.exe removing <count> staged instances against
# bare_remover.exe (the same device setup calls with nothing of vorsk's), both given the same
# command line and started the same way, the instances staged afresh before each run. Each is run
# once first and must report every instance removed: a command line whose IDs matched nothing
# would time two programs that find nothing to do.
companion_cost() { # <count> <runs>
  local count=$1 runs=$2
  local description=$build/companion-$count.case ids="" i
  : >"$description"
  for i in $(seq 1 "$count"); do
    echo "device VORSKBENCH\\VID_$i&PID_0001\\$i | VORSKBENCH\\VID_$i&PID_0001&REV_0100 |" \
      "VORSKBENCH\\VID_$i&PID_0001" >>"$description"
    ids+=" VORSKBENCH\\VID_$i&PID_0001\\$i"
  done
  local program removed
  for program in vorsk64.exe bare_remover.exe; do
    stage "$description"
    # shellcheck disable=SC2086 # the instance IDs, one argument each
    removed=$(wine "$programs/$program" /remove $ids </dev/null 2>/dev/null | tr -d '\r' |
      grep -c '^removed ' || true)
    if [ "$removed" -ne "$count" ]; then
      echo "  $program removed $removed of the $count staged instances" >&2
      exit 1
    fi
  done
  time_programs win64 "$description" "$runs" "companion-$count=vorsk64.exe /remove$ids" \
    "bare-$count=bare_remover.exe /remove$ids"
  record "companion $count vorsk64 $(phase_median win64 "companion-$count" wall)"
  record "companion $count bare-remover $(phase_median win64 "bare-$count" wall)"
}

open_session win64

echo
echo "== Registry trees under Wine (64-bit prefix): median milliseconds =="
for size in $sizes; do
  repetitions=5
  [ "$size" -ge 100000 ] && repetitions=3
  for shape in wide deep; do
    wine "$build/bench/registry_bench.exe" "$size" "$shape" "$repetitions" </dev/null |
      tr -d '\r' | tee -a "$results" | sed 's/^/  /'
  done
done

echo
echo "== Device instances under Wine (64-bit prefix): median milliseconds of the walk, none matching =="
for size in 200 2000; do
  wine "$build/bench/devices_bench.exe" "$size" 7 </dev/null | tr -d '\r' |
    sed 's/^/devices /' | tee -a "$results" | sed 's/^/  /'
done

echo
echo "== The whole program, 64-bit prefix: the sample machine, median milliseconds of $whole_runs runs each =="
whole_program win64 "$whole_runs"

echo
echo "== The companion, 64-bit prefix: $companion_instances staged instances removed, median milliseconds of $companion_runs runs each =="
companion_cost "$companion_instances" "$companion_runs"

echo
echo "== The backup's cost, 64-bit prefix: median milliseconds of 11 runs each =="
# ---- backup's cost at 1k keys (run with /backup against one without); 10k keys under --full ----
for keys in $backup_sizes; do
  backup_cost win64 "$keys"
done
close_session

echo
echo "== The whole program, 32-bit prefix (WINEARCH=win32): median milliseconds of $whole_runs runs each =="
open_session win32
whole_program win32 "$whole_runs"

echo
echo "== The driver store, 32-bit prefix: 1,500 package folders, median milliseconds of 11 runs each =="
wine "$build/bench/store_bench.exe" 1500 11 </dev/null | tr -d '\r' | tee -a "$results" |
  sed 's/^/  /'
close_session

if [ -n "${VORSK_BENCH_BEFORE:-}" ]; then
  echo
  echo "== The package stage, 64-bit prefix: this build against $VORSK_BENCH_BEFORE, 11 runs each =="
  bash bench/package_stage.sh "$build" "$build64" tests/e2e/cases/driver-package.case 11 \
    "$build/package-stage" "$VORSK_BENCH_BEFORE" | sed 's/^stage /package-stage /' |
    tee -a "$results" | sed 's/^/  /'
fi

echo
echo "== Ratios (median against median, measured side by side in this run) =="
printf '  %-36s %-16s %-16s %s\n' "registry trees" "vorsk/RegDelete" "vorsk/reg" "vorsk/floor"
for shape in wide deep; do
  for size in $sizes; do
    base="$shape $size"
    printf '  %-36s %-16s %-16s %s\n' "$base keys" "$(ratio "$base vorsk" "$base RegDeleteTreeA")" \
      "$(ratio "$base vorsk" "$base reg-delete")" "$(ratio "$base vorsk" "$base floor")"
  done
done
printf '  %-52s %s\n' "device walk, 200 instances: vorsk / bare loop" \
  "$(ratio "devices 200 FindMatchingDevices" "devices 200 bare-walk")"
printf '  %-52s %s\n' "device walk, 2000 instances: vorsk / bare loop" \
  "$(ratio "devices 2000 FindMatchingDevices" "devices 2000 bare-walk")"
printf '  %-52s %s\n' "device walk growth, 200 to 2000" \
  "$(ratio "devices 2000 FindMatchingDevices" "devices 200 FindMatchingDevices")"
whole() { # <label> <numerator key> <denominator key>
  printf '  %-64s %s (%s / %s ms)\n' "$1" "$(ratio "$2" "$3")" "$(figure "$2")" "$(figure "$3")"
}
whole "whole run, 32-bit: vorsk.exe / frameless (goal 1.15)" "program win32 vorsk" \
  "program win32 frameless"
whole "whole run, 32-bit: vorsk.exe / independent floor" "program win32 vorsk" \
  "program win32 independent"
whole "whole run, 32-bit: frameless / independent floor" "program win32 frameless" \
  "program win32 independent"
whole "whole run, 64-bit: vorsk.exe / frameless+companion (goal 1.15)" "program win64 vorsk" \
  "program win64 frameless+companion"
whole "companion removing $companion_instances instances / bare 64-bit remover (goal 1.1)" \
  "companion $companion_instances vorsk64" "companion $companion_instances bare-remover"
whole "whole run, 64-bit prefix / 32-bit prefix" "program win64 vorsk" "program win32 vorsk"
whole "driver store, 1,500 folders: vorsk's search / plain walk (goal 1.2)" "store 1500 search" \
  "store 1500 plain-walk"
whole "32-bit: vorsk.exe / frameless with bars" "program win32 vorsk" "program win32 bars"
whole "64-bit: vorsk.exe / frameless with bars+companion" "program win64 vorsk" \
  "program win64 bars+companion"
whole "32-bit: frameless with bars / frameless" "program win32 bars" "program win32 frameless"
whole "companion's start, 64-bit: frameless+companion / frameless" \
  "program win64 frameless+companion" "program win64 frameless"
whole "32-bit: vorsk.exe / empty window" "program win32 vorsk" "program win32 empty"
whole "64-bit: vorsk.exe / empty window" "program win64 vorsk" "program win64 empty"
for keys in $backup_sizes; do
  if [ -n "$(figure "backup $keys with")" ]; then
    whole "backup, $keys keys: with /backup / without" "backup $keys with" "backup $keys without"
  else
    printf '  %-64s %s\n' "backup, $keys keys: with /backup / without" \
      "skipped: no /backup in this build"
  fi
done
echo
echo "$(nproc) cores, $(date -u +%Y-%m-%d), $(wine --version 2>/dev/null); bench/run.sh took $(($(date +%s) - started)) s"
