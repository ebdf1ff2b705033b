#!/usr/bin/env bash
# Stages a machine description in a private Wine prefix of its own, runs vorsk.exe on it under
# the message-box watcher, and keeps what came of it (with VORSK_STAGE_ONLY=1 it stops once the
# machine is staged and before.txt written):
#   run-machine.sh <build folder> <description> <output folder> <world> [<template prefix>]
# The world is win32 (a 32-bit prefix: the 32-bit Windows that vorsk.exe was made for) or win64
# (a 64-bit prefix: today's Windows, where vorsk.exe runs under WOW64 with its companion
# vorsk64.exe beside it). The programs are installed in C:\vorsk of the prefix: vorsk.exe from the
# build folder and, in the 64-bit world, vorsk64.exe ($VORSK_COMPANION_EXE, or the 64-bit build
# beside the build folder), unless the description says "companion absent". A description line
# "run <program> [<arguments> ...]" runs that program of C:\vorsk with those arguments instead
# of vorsk.exe alone; "station own" runs it in a window station of its own, where no box can be
# seen (as a service); "hold <path>" has another program hold that file open during the run
# (for reading; "hold <path> | alone": sharing nothing, so that nobody may even copy it);
# "together <n>" starts n runs at once (one under the watcher, the others beside it, their
# statuses in status-2.txt ...).
#
# "folder-link <Windows folder> | <Windows target>" makes the folder a Unix link to the target
# before the run (Wine shows it as a reparse point, as Windows shows a junction); "remove-file
# <Windows path>" deletes a file once the rest is staged.
# "move-away <Windows folder>" has another program try, over and over during the run, to rename
# that folder and each folder in it (a backup's own, once the run made it), as a user who wants to
# put a folder of their own in its place; moved.txt says how often it tried and what it moved
# (each put back at once).
# A backup and its round trip: "backup-files <Windows folder>" lists the files below that folder
# of the prefix after the run in backup-files.txt, one line each: its path relative to the folder
# (with backslashes) and its size ("<path> | <n> bytes"). "restore <Windows folder>" lists them
# too, then runs every restore.cmd below the folder (restore-scripts.txt names them) with cmd,
# twice: restore-1.txt and restore-2.txt keep each pass's output and each script's exit status,
# restored.txt is machine_state's view after the first pass and restored-again.txt after the
# second. On 64-bit Windows the first pass runs the 64-bit cmd (C:\Windows\Sysnative\cmd.exe,
# the one a user's double click starts) and the second the 32-bit one (as a 32-bit management
# agent would), so that a script must reach the right registry view from either. A restore runs
# with the display, as a double click does. "after-run <machine line>" stages that line (a key, a
# link, a file) after the run and before the restore, as another program could meanwhile.
#
# The prefix is <output folder>/prefix: a copy of the template prefix when one is given (made
# first, of the world's kind, if it does not exist yet), otherwise a fresh one. The output folder
# receives before.txt and after.txt (machine_state's view of the machine before and after the
# run), events.txt (the message boxes shown, each answered with OK, and any window that became
# visible), stdout.txt (the trace), stderr.txt, status.txt (the exit status) and, when the run
# wrote one, run-log.txt (C:\vorsk\run.log). The prefix's session is stopped afterwards, also
# when something fails.
set -euo pipefail

build=$(realpath "$1")
description=$(realpath "$2")
out=$(realpath -m "$3")
world=$4
template=${5:+$(realpath -m "$5")}
scripts=$(dirname "$(realpath "$0")")
case "$world" in
  win32|win64) ;;
  *) echo "run-machine.sh: the world is win32 or win64, not $world" >&2; exit 2 ;;
esac

prefix="$out/prefix"
bash "$scripts/wine-session.sh" stop "$prefix" 2>/dev/null || true
rm -rf "$out"
mkdir -p "$out"

if [ -n "$template" ]; then
  bash "$scripts/wine-template.sh" "$template" "$world"
  bash "$scripts/copy-prefix.sh" "$template" "$prefix"
fi

# "locale <Unix locale>" (e.g. zh_CN.UTF-8): the case runs, from its staging to its restore, in
# that locale, as a machine of that language: Wine takes the ANSI and OEM code pages from it (936
# for zh_CN). The locale is compiled on its first use into <build folder>/e2e/locales.
locale=$(sed -n 's/^locale //p' "$description" | tr -d '\r')
if [ -n "$locale" ]; then
  locales="$build/e2e/locales"
  if [ ! -d "$locales/$locale" ]; then
    mkdir -p "$locales"
    staged=$(mktemp -d "$locales/.new.XXXXXX")
    # The source of zh_CN.UTF-8 is zh_CN with the UTF-8 character map.
    localedef -i "${locale%%.*}" -f "${locale#*.}" "$staged/$locale" >/dev/null 2>&1 ||
      [ -f "$staged/$locale/LC_CTYPE" ] ||
      { echo "run-machine.sh: cannot compile the locale $locale" >&2; exit 1; }
    # Another case may have compiled it meanwhile: either copy serves.
    mv -T "$staged/$locale" "$locales/$locale" 2>/dev/null || true
    rm -rf "$staged"
  fi
  export LOCPATH="$locales"
  # This shell cannot take the locale itself (it looked for it at its start): it only passes it on.
  { export LC_ALL="$locale"; } 2>/dev/null
fi

trap 'bash "$scripts/wine-session.sh" stop "$prefix"' EXIT
bash "$scripts/wine-session.sh" start "$prefix" "$world"
export WINEPREFIX="$prefix" WINEDEBUG=-all

programs="$prefix/drive_c/vorsk"
mkdir -p "$programs"
cp "$build/vorsk.exe" "$programs/"
if [ "$world" = win64 ] && ! grep -qx 'companion absent' <(tr -d '\r' <"$description"); then
  companion=${VORSK_COMPANION_EXE:-$(dirname "$build")/win64/vorsk64.exe}
  if [ ! -f "$companion" ]; then
    echo "run-machine.sh: no companion at $companion: build the win64 preset first" >&2
    exit 1
  fi
  cp "$companion" "$programs/"
  # "companion altered": a vorsk64.exe that is not the one built, its image with bytes added.
  if grep -qx 'companion altered' <(tr -d '\r' <"$description"); then
    printf 'not the companion built' >>"$programs/vorsk64.exe"
  fi
fi

windows_path() { wine winepath -w "$1" 2>/dev/null; }
description_path=$(windows_path "$description")
tools="$build/tools/machine"

wine "$tools/stager.exe" "$description_path" </dev/null
# Driver packages go to the driver store of the stager's own width: in a 64-bit prefix the 64-bit
# stager (of the companion's build) stages them, before the links below, which may reach into
# the store.
if [ "$world" = win64 ] && grep -q '^package ' "$description"; then
  build64=$(dirname "${VORSK_COMPANION_EXE:-$(dirname "$build")/win64/vorsk64.exe}")
  wine "$build64/tools/machine/stager.exe" --packages "$description_path" </dev/null
fi
# "unix-link <path> | <target>" makes the file <path> a Unix symbolic link to the file <target>,
# and "unix-hardlink <path> | <target>" a second name of it (both paths below C:\): Windows
# programs under Wine see neither as a reparse point, as they would see a Windows link.
below_drive_c() {
  local path
  path=$(sed 's/^ *//; s/ *$//; s/^[Cc]:\\//' <<<"$1")
  printf '%s/drive_c/%s' "$prefix" "${path//\\//}"
}
while IFS= read -r line; do
  [ -n "$line" ] || continue
  kind=${line%% *}
  rest=${line#* }
  link=$(below_drive_c "${rest%%|*}")
  target=$(below_drive_c "${rest#*|}")
  mkdir -p "$(dirname "$link")"
  if [ "$kind" = unix-link ]; then
    ln -s "$target" "$link"
  else
    ln "$target" "$link"
  fi
done < <(grep -E '^unix-(hard)?link ' "$description" | tr -d '\r')
# The link's own path is taken below drive_c as it is written: in a 64-bit prefix of Wine 10,
# winepath names a folder of system32 in syswow64, where the store is not.
while IFS= read -r link; do
  [ -n "$link" ] || continue
  ln -sfn "$(wine winepath -u "${link##* | }" 2>/dev/null)" "$(below_drive_c "${link%% | *}")"
done < <(sed -n 's/^folder-link //p' "$description" | tr -d '\r')
# "remove-file <Windows path>" deletes that file once the rest is staged (packages and links
# among it), as an earlier removal that took the published INF alone left a machine.
while IFS= read -r path; do
  [ -n "$path" ] || continue
  rm -f "$(wine winepath -u "$path" 2>/dev/null)"
done < <(sed -n 's/^remove-file //p' "$description" | tr -d '\r')
# The state's lines come in the runtime's text mode, ending with CR LF. The backups' record, which
# vorsk keeps on purpose, goes to <state>-record.txt, apart from what a run may change.
inspect() {
  wine "$tools/machine_state.exe" "$description_path" </dev/null | tr -d '\r' >"$1.all"
  grep -v '^record ' "$1.all" >"$1" || true
  grep '^record ' "$1.all" >"${1%.txt}-record.txt" || true
  rm -f "$1.all"
}
inspect "$out/before.txt"
# VORSK_STAGE_ONLY=1: the staged machine is all that is asked for; its prefix stays, at rest.
if [ "${VORSK_STAGE_ONLY:-}" = 1 ]; then
  exit 0
fi
# What runs: vorsk.exe, or the description's "run" line.
read -r -a command <<<"$(sed -n 's/^run //p' "$description" | tr -d '\r')"
[ ${#command[@]} -gt 0 ] || command=(vorsk.exe)
# Files that another program holds open during the run: each holder keeps its file until its
# standard input, a pipe this script keeps open, ends.
holders=()
writers=()
while IFS= read -r held; do
  [ -n "$held" ] || continue
  fifo="$out/hold-${#holders[@]}"
  mkfifo "$fifo"
  how=--hold
  if [[ $held == *' | alone' ]]; then
    how=--hold-alone
    held=${held% | alone}
  fi
  wine "$tools/stager.exe" "$how" "$held" <"$fifo" >"$fifo.said" 2>&1 &
  holders+=("$!")
  exec {writer}>"$fifo"
  writers+=("$writer")
  for _ in $(seq 1 100); do
    grep -q held "$fifo.said" 2>/dev/null && break
    sleep 0.1
  done
  grep -q held "$fifo.said" || { echo "run-machine.sh: cannot hold $held" >&2; exit 1; }
done < <(sed -n 's/^hold //p' "$description" | tr -d '\r')
# "move-away <folder>": its mover runs as a holder does, until its standard input ends.
movers=()
while IFS= read -r watched; do
  [ -n "$watched" ] || continue
  fifo="$out/move-away-${#movers[@]}"
  mkfifo "$fifo"
  wine "$tools/stager.exe" --move-away "$watched" <"$fifo" >"$fifo.said" 2>&1 &
  movers+=("$!")
  exec {writer}>"$fifo"
  writers+=("$writer")
  for _ in $(seq 1 100); do
    grep -q watching "$fifo.said" 2>/dev/null && break
    sleep 0.1
  done
  grep -q watching "$fifo.said" || { echo "run-machine.sh: cannot watch $watched" >&2; exit 1; }
done < <(sed -n 's/^move-away //p' "$description" | tr -d '\r')
# What the run starts must not keep the holders' pipes open: a program that outlives the run (the
# desktop of a window station of its own) would keep a holder, and this script, waiting.
close_writers() {
  local writer
  for writer in "${writers[@]}"; do
    eval "exec $writer>&-"
  done
}
# A case may ask for a Wine debug channel during the run ("debug <channels>"), whose log then
# lands in stderr.txt.
channels=$(sed -n 's/^debug //p' "$description" | tr -d '\r')
options=
if grep -qx 'station own' <(tr -d '\r' <"$description"); then
  options=--own-station
fi
together=$(sed -n 's/^together //p' "$description" | tr -d '\r')
others=()
for ((run = 2; run <= ${together:-1}; run++)); do
  (
    close_writers
    status=0
    bash "$scripts/with-display.sh" wine "$programs/${command[0]}" "${command[@]:1}" </dev/null \
      >"$out/stdout-$run.txt" \
      2>"$out/stderr-$run.txt" || status=$?
    echo "$status" >"$out/status-$run.txt"
  ) &
  others+=("$!")
done
(
  close_writers
  WINEDEBUG=${channels:--all} VORSK_WATCHER_OPTIONS=$options \
    bash "$scripts/run-watched.sh" wine "$build/watcher.exe" "$out" "$programs/${command[0]}" \
    "${command[@]:1}"
)
if [ ${#others[@]} -gt 0 ]; then
  wait "${others[@]}"
fi
for writer in "${writers[@]}"; do
  exec {writer}>&-
done
if [ ${#holders[@]} -gt 0 ]; then
  wait "${holders[@]}" || true
fi
if [ ${#movers[@]} -gt 0 ]; then
  wait "${movers[@]}" || true
  cat "$out"/move-away-*.said | tr -d '\r' | grep -v '^watching$' >"$out/moved.txt"
fi
if [ -f "$programs/run.log" ]; then
  cp "$programs/run.log" "$out/run-log.txt"
fi
inspect "$out/after.txt"

backup_root=$(sed -n 's/^\(backup-files\|restore\) //p' "$description" | tr -d '\r' | head -n 1)
if [ -z "$backup_root" ]; then
  exit 0
fi
backup_folder=$(wine winepath -u "$backup_root" 2>/dev/null)
if [ -d "$backup_folder" ]; then
  (cd "$backup_folder" && find . -type f -printf '%P | %s bytes\n' | sed 's|/|\\|g') |
    LC_ALL=C sort >"$out/backup-files.txt"
  # Each run folder's manifest digest, as the machine's record must hold it, under the run
  # folder's name: "<folder> | <hex>".
  find "$backup_folder" -type f -name manifest.txt | while IFS= read -r manifest; do
    printf '%s | %s\n' "$(basename "$(dirname "$manifest")")" \
      "$(sha256sum <"$manifest" | cut -d' ' -f1)"
  done | LC_ALL=C sort >"$out/backup-digests.txt"
else
  : >"$out/backup-files.txt"
  : >"$out/backup-digests.txt"
fi
# The driver store's folders the backup saved, each file under its real name in the folder, as
# machine_state prints the store's: "store <folder>\<file> | <n> bytes | fnv <hash>" (FNV-1a, 64
# bits, in the shell's arithmetic, which wraps as the hash does). The backup saves them under
# names of its own (files\store\<n>\<m>); its manifest's package and store file lines name them.
fnv() {
  local hash=-3750763034362895579 byte
  for byte in $(od -An -v -tu1 "$1"); do
    hash=$(((hash ^ byte) * 1099511628211))
  done
  printf '%016x' "$hash"
}
if [ -d "$backup_folder" ]; then
  find "$backup_folder" -type f -name manifest.txt | while IFS= read -r manifest; do
    run_folder=$(dirname "$manifest")
    tr -d '\r' <"$manifest" | awk '
      /^package / {
        folder = $0; sub(/ saved whole as .*/, "", folder); sub(/.*\\/, "", folder)
        saved = $0; sub(/.* saved whole as /, "", saved); sub(/, [0-9]+ files?$/, "", saved)
        store[saved] = folder
      }
      /^  store file / {
        line = $0; sub(/^  store file /, "", line)
        file = line; sub(/:.*/, "", file); sub(/ \(its INF\)$/, "", file)
        name = line; sub(/^[^:]*: /, "", name); sub(/, sha256 [0-9a-f]+$/, "", name)
        package = file; sub(/\\[^\\]*$/, "", package)
        print file "\t" store[package] "\\" name
      }' | while IFS=$'\t' read -r file real; do
      saved="$run_folder/${file//\\//}"
      printf 'store %s | %s bytes | fnv %s\n' "$real" "$(stat -c %s "$saved")" "$(fnv "$saved")"
    done
  done | LC_ALL=C sort >"$out/backup-store.txt"
fi
if ! grep -q '^restore ' "$description"; then
  exit 0
fi
if grep -q '^after-run ' "$description"; then
  sed -n 's/^after-run //p' "$description" >"$out/after-run.machine"
  wine "$tools/stager.exe" "$(windows_path "$out/after-run.machine")" </dev/null
fi
# "restore-elsewhere": the restore runs where the backup has no record, as on another computer
# (the record vorsk keeps in HKEY_LOCAL_MACHINE\SOFTWARE\vorsk goes first).
if grep -qx 'restore-elsewhere' <(tr -d '\r' <"$description"); then
  for view in 32 64; do
    wine reg delete 'HKLM\SOFTWARE\vorsk' /f "/reg:$view" </dev/null >/dev/null 2>&1 || true
  done
fi
# "before-restore <Windows path> | <text>": after the run, before the restore, a file with that
# text (a line) is put there, the folder made first: a file planted beside restore.cmd, or a
# name the platform reused. A "*" in the path stands for the run's own backup folder.
while IFS= read -r planted; do
  [ -n "$planted" ] || continue
  where=${planted%% | *}
  if [[ $where == *'*'* ]]; then
    run_folder=$(find "$backup_folder" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    where=${where/\*/$(basename "$run_folder")}
  fi
  target=$(wine winepath -u "$where" 2>/dev/null)
  mkdir -p "$(dirname "$target")"
  printf '%s\r\n' "${planted#* | }" >"$target"
done < <(sed -n 's/^before-restore //p' "$description" | tr -d '\r')
restores=()
if [ -d "$backup_folder" ]; then
  while IFS= read -r found; do
    restores+=("$(windows_path "$found")")
  done < <(find "$backup_folder" -type f -iname restore.cmd | LC_ALL=C sort)
fi
printf '%s\n' "${restores[@]}" | sed '/^$/d' >"$out/restore-scripts.txt"
# The machine as the restore meets it, once what the case puts there after the run is there.
inspect "$out/before-restore.txt"
# How each script is run: by default as a management agent runs it, without a console (standard
# input empty, the output into a pipe). "restore-console [<code page>]" runs it in a console of
# its own (a pseudo-terminal, as a command prompt window), whose code page is first set to the one
# given; the pass then says the console's code page once the script returned ("console code page
# after the restore: <n>"). "restore-computer <name>" runs it where %COMPUTERNAME% is that name
# (another computer; computer.txt names the run's), "restore-args <arguments>" gives it those
# arguments, "restore-from <Windows folder>" runs it from that current folder and
# "restore-env <name>=<value>" sets that variable first (PATH, PATHEXT), as a user's own command
# prompt may. Each script is called by a caller of its own, in ASCII, that sets what the case asks
# for, runs the script, whose path it is given (any name: the command line is UTF-16), in quotes
# (spaces and parentheses in its folder's name are taken; Wine's cmd cannot take an ampersand
# there) and ends with its status.
setting() { sed -n "s/^$1\( \|\$\)//p" "$description" | tr -d '\r' | head -n 1; }
console=$(grep -qE '^restore-console( |$)' <(tr -d '\r' <"$description") && echo yes || true)
console_page=$(setting restore-console)
computer=$(setting restore-computer)
arguments=$(setting restore-args)
from=$(setting restore-from)
if [ -n "$computer" ]; then
  # The name of the computer the run was made on, for the case's expectations.
  wine cmd /c 'echo %COMPUTERNAME%' </dev/null | tr -d '\r' >"$out/computer.txt"
fi
caller_for() {
  local caller="$programs/restore-caller-$1.cmd" name value
  {
    printf '@echo off\r\n'
    [ -z "$computer" ] || printf 'set "COMPUTERNAME=%s"\r\n' "$computer"
    [ -z "$console_page" ] || printf 'chcp %s >nul\r\n' "$console_page"
    [ -z "$from" ] || printf 'cd /d "%s"\r\n' "$from"
    while IFS= read -r name; do
      [ -n "$name" ] || continue
      value=${name#*=}
      printf 'set "%s=%s"\r\n' "${name%%=*}" "$value"
    done < <(sed -n 's/^restore-env //p' "$description" | tr -d '\r')
    # A command interpreter of its own runs the script: Wine's cmd gives a script's status to its
    # caller as 1 through "call", whatever it was.
    printf '"%%SystemRoot%%\\system32\\cmd.exe" /c "%%~1" %s\r\n' "$arguments"
    printf 'set vorsk_status=%%errorlevel%%\r\n'
    [ -z "$console" ] ||
      printf '%s\r\n' "for /f \"tokens=2 delims=:\" %%p in ('\"%SystemRoot%\\system32\\chcp.com\"') do echo console code page after the restore:%%p"
    printf 'exit /b %%vorsk_status%%\r\n'
  } >"$caller"
  echo "C:\\vorsk\\restore-caller-$1.cmd"
}
# The console's output comes in the Unix locale's encoding, with its terminal's control sequences.
plain() { sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\x1b\][^\x07]*\x07//g' | tr -d '\r'; }
for pass in 1 2; do
  cmd=(bash "$scripts/with-display.sh" wine cmd /c)
  if [ "$world" = win64 ] && [ "$pass" = 1 ]; then
    cmd+=('C:\windows\Sysnative\cmd.exe' /c)
  fi
  : >"$out/restore-$pass.txt"
  number=0
  for restore in "${restores[@]}"; do
    status=0
    number=$((number + 1))
    echo "> $restore" >>"$out/restore-$pass.txt"
    run=("${cmd[@]}" "$(caller_for "$number")" "$restore")
    if [ -n "$console" ]; then
      # A console wider than any line of the output, so that none is broken in two.
      script -qec "stty cols 500 rows 50; $(printf '%q ' "${run[@]}")" /dev/null </dev/null 2>&1 |
        plain \
        >>"$out/restore-$pass.txt" || status=${PIPESTATUS[0]}
    else
      "${run[@]}" </dev/null 2>&1 | tr -d '\r' >>"$out/restore-$pass.txt" || status=${PIPESTATUS[0]}
    fi
    echo "exit status: $status" >>"$out/restore-$pass.txt"
  done
  if [ "$pass" = 1 ]; then
    inspect "$out/restored.txt"
  else
    inspect "$out/restored-again.txt"
  fi
done
