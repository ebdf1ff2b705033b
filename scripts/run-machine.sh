#!/usr/bin/env bash
# Stages a machine description in a private Wine prefix of its own, runs vorsk.exe on it under
# the message-box watcher, and keeps what came of it:
#   run-machine.sh <build folder> <description> <output folder> [<template prefix>]
# The prefix is <output folder>/prefix: a copy of the template prefix when one is given (made
# first if it does not exist yet), otherwise a fresh one. The output folder receives before.txt
# and after.txt (machine_state's view of the machine before and after the run), events.txt (the
# message boxes shown, each answered with OK, and any window that became visible), stdout.txt
# (the trace), stderr.txt and status.txt (the exit status). The prefix's session is stopped
# afterwards, also when something fails.
set -euo pipefail

build=$(realpath "$1")
description=$(realpath "$2")
out=$(realpath -m "$3")
template=${4:+$(realpath -m "$4")}
scripts=$(dirname "$(realpath "$0")")

prefix="$out/prefix"
bash "$scripts/wine-session.sh" stop "$prefix" 2>/dev/null || true
rm -rf "$out"
mkdir -p "$out"

if [ -n "$template" ]; then
  bash "$scripts/wine-template.sh" "$template"
  # The platform's libraries are shared with the template (they are only read); the registry
  # and everything else that Wine writes in place is copied.
  shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
  mkdir -p "$prefix"
  tar -C "$template" "${shared[@]/#/--exclude=./}" -cf - . | tar -C "$prefix" -xf -
  for folder in "${shared[@]}"; do
    cp -al "$template/$folder" "$prefix/$folder"
  done
fi

trap 'bash "$scripts/wine-session.sh" stop "$prefix"' EXIT
bash "$scripts/wine-session.sh" start "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all

windows_path() { wine winepath -w "$1" 2>/dev/null; }
description_path=$(windows_path "$description")
tools="$build/tools/machine"

wine "$tools/stager.exe" "$description_path" </dev/null
# The state's lines come in the runtime's text mode, ending with CR LF.
inspect() { wine "$tools/machine_state.exe" "$description_path" </dev/null | tr -d '\r' >"$1"; }
inspect "$out/before.txt"
# A case may ask for a Wine debug channel during the run ("debug <channels>"), whose log then
# lands in stderr.txt.
channels=$(sed -n 's/^debug //p' "$description" | tr -d '\r')
WINEDEBUG=${channels:--all} \
  bash "$scripts/run-watched.sh" wine "$build/watcher.exe" "$out" "$build/vorsk.exe"
inspect "$out/after.txt"
