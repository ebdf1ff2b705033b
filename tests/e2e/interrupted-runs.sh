#!/usr/bin/env bash
# A run cut short at any moment (power, a deployment's time-out, a user ending the process) and
# then run again must leave the machine exactly as one complete run leaves it. The case's machine
# is staged once; one complete run gives the reference state; then, trial after trial, a copy of
# the staged machine gets a run that is killed after a delay (spread over the run's whole
# length), and a second run to its end, whose state must equal the reference and whose status
# must be 0. The last line of each cut run's log says where it was cut.
#
# A run cut while the device setup service removes an instance may leave that removal half done
# inside the service, out of vorsk's reach. Such a trial passes only when the second run says so
# truly: status 3, the instances that stay are the only difference from the reference, and its
# log names each of them left. The trial then says what was left.
#   interrupted-runs.sh <build folder> <case> <output folder> <world> <template prefix> <trials>
set -euo pipefail

build=$(realpath "$1")
case_file=$(realpath "$2")
out=$(realpath -m "$3")
world=$4
template=$5
trials=$6
scripts=$(realpath "$(dirname "$0")/../../scripts")
export WINEDEBUG=-all

VORSK_STAGE_ONLY=1 bash "$scripts/run-machine.sh" "$build" "$case_file" "$out/staged" "$world" \
  "$template"
staged="$out/staged/prefix"
description=""

# Runs a command in a fresh copy of the staged machine, in a session of its own.
session=""
begin_trial() {
  session="$out/trial"
  bash "$scripts/wine-session.sh" stop "$session" 2>/dev/null || true
  bash "$scripts/copy-prefix.sh" "$staged" "$session"
  bash "$scripts/wine-session.sh" start "$session" "$world"
  export WINEPREFIX="$session"
  description=$(wine winepath -w "$case_file" 2>/dev/null)
}
end_trial() {
  bash "$scripts/wine-session.sh" stop "$session"
}
trap 'end_trial 2>/dev/null || true' EXIT
run_to_end() { # <log name>
  local status=0
  bash "$scripts/with-display.sh" wine 'C:\vorsk\vorsk.exe' /quiet "/log:C:\\vorsk\\$1" \
    </dev/null >/dev/null 2>&1 || status=$?
  echo "$status"
}
inspect() {
  wine "$build/tools/machine/machine_state.exe" "$description" </dev/null | tr -d '\r' >"$1"
}

begin_trial
status=$(run_to_end complete.log)
inspect "$out/reference.txt"
end_trial
if [ "$status" != 0 ]; then
  echo "FAILED: the complete run ended with status $status"
  exit 1
fi
if cmp -s "$out/staged/before.txt" "$out/reference.txt"; then
  echo "FAILED: the complete run changed nothing: the trials would prove nothing"
  exit 1
fi

# Whether the differences are device instances only, each named left in the log.
told_left() { # <differences> <log>
  local instance
  [ -n "$1" ] || return 1
  if grep -vq '^> device ' <<<"$1"; then
    return 1
  fi
  while read -r _ _ instance _; do
    grep -F "instance $instance (" "$2" | grep -q ': left' || return 1
  done <<<"$1"
}

failed=0
for ((trial = 1; trial <= trials; trial++)); do
  # From just after the start of the process to past the end of the work, closer together
  # early on, where the stages before the long tree deletion pass quickly.
  delay=$(awk -v t="$trial" -v n="$trials" 'BEGIN { printf "%.2f", 0.1 + 1.6 * ((t - 1) / n) ^ 2 }')
  begin_trial
  bash "$scripts/with-display.sh" wine 'C:\vorsk\vorsk.exe' /quiet '/log:C:\vorsk\cut.log' \
    </dev/null >/dev/null 2>&1 &
  cut=$!
  sleep "$delay"
  kill -9 "$cut" 2>/dev/null || true
  wait "$cut" 2>/dev/null || true
  where=""
  if [ -f "$session/drive_c/vorsk/cut.log" ]; then
    where=$(tail -n 1 "$session/drive_c/vorsk/cut.log" | cut -d' ' -f3- | tr -d '\r')
  fi
  status=$(run_to_end again.log)
  inspect "$out/after-$trial.txt"
  cp "$session/drive_c/vorsk/cut.log" "$out/cut-$trial.log" 2>/dev/null || true
  cp "$session/drive_c/vorsk/again.log" "$out/again-$trial.log" 2>/dev/null || true
  end_trial
  different=$(diff "$out/reference.txt" "$out/after-$trial.txt" | grep '^[<>]' || true)
  if [ "$status" = 0 ] && [ -z "$different" ]; then
    echo "trial $trial: cut after ${delay}s (last logged: ${where:-nothing yet}); run again: status 0, the machine as one complete run leaves it"
  elif [ "$status" = 3 ] && told_left "$different" "$out/again-$trial.log"; then
    echo "trial $trial: cut after ${delay}s (last logged: ${where:-nothing yet}), inside the device setup service; run again: status 3, and it left:"
    sed 's/^> /  /' <<<"$different"
  else
    echo "FAILED: trial $trial: cut after ${delay}s (last logged: ${where:-nothing yet}); run again: status $status"
    diff "$out/reference.txt" "$out/after-$trial.txt" | head -20 || true
    failed=1
  fi
done
exit "$failed"
