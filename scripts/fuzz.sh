#!/usr/bin/env bash
# Builds the fuzz target of the removal pass (clang 14's libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it on a working copy of the corpus:
#   fuzz.sh [seconds] [--merge]
# seconds: how long to run, 60 when not given. --merge: afterwards, fold the inputs that reached
# new code into tests/fuzz/corpus, which the regular tests replay: one input for each edge that
# no kept input reaches (hit counts aside), so that the replay stays short. An input that breaks
# a rule stops the run and is kept in build/fuzz/findings/. Installs the compiler when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
merge=no
for arg in "$@"; do
  case "$arg" in
    --merge) merge=yes ;;
    *) seconds=$arg ;;
  esac
done

bash scripts/setup.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

fuzzer=build/fuzz/tests/pass_fuzzer
work=build/fuzz/corpus
findings=build/fuzz/findings
mkdir -p "$work" "$findings"
seeds=(tests/fuzz/corpus)
if [ -d tests/fuzz/regressions ]; then
  seeds+=(tests/fuzz/regressions)
fi

# New inputs go to the first folder, the working copy; the others only seed it.
"$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=30 -print_final_stats=1 \
  -artifact_prefix="$findings/" "$work" "${seeds[@]}"

if [ "$merge" = yes ]; then
  "$fuzzer" -merge=1 -use_counters=0 -max_len=8192 tests/fuzz/corpus "$work"
fi
