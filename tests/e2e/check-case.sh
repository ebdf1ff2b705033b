#!/usr/bin/env bash
# Compares what came of one end-to-end run (run-machine.sh's output folder) with the
# expectations of its case:
#   check-case.sh <case> <output folder>
#
#   expect status <n>            the exit status
#   expect box ... / shown ...   the watcher's lines, in order and exactly (none: no message box
#                                and no visible window)
#   expect trace <hardware ID>   the trace lines of the case's own devices, in order; every other
#                                trace line names a hardware ID of a device that was there before
#   expect removed file <path>   what the run removed; everything else machine_state sees (the
#   expect removed key <path>    registry below HKEY_LOCAL_MACHINE\SOFTWARE, the class keys and
#   expect removed key64 <path>  \SYSTEM\ControlSet001, the folders and the devices) is unchanged,
#   expect removed device <id>   and nothing new appears. A key is removed with everything below
#   expect removed package <dir> it; key64 is a key of the 64-bit registry view; a package is a
#                                folder of the driver store (machine_state's "store" lines), removed
#                                with its files. A removed device's key (SYSTEM\ControlSet001\Enum\
#                                <id>) goes with it or stays, as the platform does (Wine 10 deletes
#                                it, and its parents left empty; Wine 8 keeps it), but wholly.
#   expect log <pattern>         lines of the Wine debug log that the case asks for with
#   expect log-closed            "debug <channels>" (see below)
#   expect output <line>         lines of standard output besides the trace, in this order
#   expect error <line>          lines of standard error, in this order
#   expect run-log <pattern>     lines of the run's own log (C:\vorsk\run.log), in this order
#                                (extended regular expressions, matched after the timestamp)
#   expect backup-file <pattern> a line of backup-files.txt ("<path relative to the backup
#                                folder, with backslashes> | <n> bytes") that the extended
#                                regular expression matches whole (the case says "backup-files
#                                <folder>" or "restore <folder>")
#   expect backup empty          no file below the "backup-files <folder>"
#   expect recorded              the machine records the digest of each backup folder's manifest
#                                after the run (machine_state's "record" lines), and of no other
#   expect moved-nothing         the program that tried to move the backup's folders during the run
#                                ("move-away") tried, and never could
#   expect restore-output <line> lines of the first restore pass's output, in this order
#                                ("{computer}" in it stands for the name of the computer the
#                                run was made on, when the case says "restore-computer", and
#                                "{folder}" for the name of the run's backup folder)
#   expect restore-lacks <text>  text that neither restore pass may show
#   expect restore-unchanged     neither restore pass changed the machine (as it was when the
#                                restore began, "after-run" lines staged)
#   expect restored              the restore.cmd scripts below the "restore <folder>" (at least
#                                one) put the machine back: restored.txt equals before.txt but for
#                                its devices (no file puts a device back), each script ended with
#                                status 0 in both passes, and the second pass changed nothing
#   expect backup-store <folder> the backup holds the driver store's <folder> (a package) as it
#                                was before the run, byte for byte: files\store\<folder> of the
#                                run's folder (run-machine.sh's backup-store.txt)
#   expect unrestored <what>     the restore.cmd scripts put back all but this (a file, key, key64
#                                or package, as for "expect removed") and the devices: restored.txt
#                                lacks exactly that of before.txt and adds nothing, and the second
#                                pass changed nothing (their statuses: "expect restore-output")
#   in <world> expect ...        an expectation of that world alone ($VORSK_E2E_WORLD: win32, win64
#                                or wine10), where the worlds' platforms differ: for status,
#                                trace, removed, output, error, run-log, backup-file,
#                                restore-output and restore-lacks
set -euo pipefail

case_file=$1
out=$2
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}
world=${VORSK_E2E_WORLD:-}
expectations() {
  tr -d '\r' <"$case_file" | sed -n -e "s/^expect $1 //p" -e "s/^in $world expect $1 //p"
}

expected_status=$(expectations status)
# Every run of the case ends with the expected status (more than one: "together <n>").
for status_file in "$out"/status.txt "$out"/status-*.txt; do
  [ -f "$status_file" ] || continue
  status=$(cat "$status_file")
  echo "exit status ($(basename "$status_file" .txt)): $status"
  [ "$status" = "${expected_status:-0}" ] ||
    fail "exit status $status ($(basename "$status_file")), expected ${expected_status:-0}"
done

echo "message boxes and windows shown:"
sed 's/^/  /' "$out/events.txt"
if ! diff -u <(grep -E '^expect (box|shown) ' "$case_file" | sed 's/^expect //') "$out/events.txt"
then
  fail "the message boxes and windows shown differ"
fi

# The trace: one line per examined hardware ID and nothing else (the runtime's text mode ends
# each line with CR LF).
tr -d '\r' <"$out/stdout.txt" >"$out/trace.txt"
if ! grep -qE '^expect output ' "$case_file" && grep -vqE '^Compare device ID: \[.*\]$' "$out/trace.txt"; then
  fail "standard output holds lines that are not trace lines"
fi

# Lines expected in order among others: <what> <file> <expected lines> <grep mode>.
in_order() {
  local what=$1 file=$2 mode=$3 line rest
  rest=$(cat "$file" 2>/dev/null || true)
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    if ! found=$(grep -n "$mode" -m1 -- "$line" <<<"$rest"); then
      fail "$what has no line (in its order) for: $line"
      return
    fi
    rest=$(tail -n +"$((${found%%:*} + 1))" <<<"$rest")
  done
}
in_order "standard output" "$out/trace.txt" -Fx < <(expectations output)
tr -d '\r' <"$out/stderr.txt" >"$out/error.txt"
in_order "standard error" "$out/error.txt" -Fx < <(expectations error)
if [ -n "$(expectations run-log)" ]; then
  [ -f "$out/run-log.txt" ] || fail "the run wrote no log"
  # Each line: "<date> <time> <what>", in UTF-8 with CR LF.
  if [ -f "$out/run-log.txt" ] && grep -vqE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12} .*'$'\r''$' "$out/run-log.txt"; then
    fail "the run's log holds a line without its time or its CR LF"
  fi
  tr -d '\r' <"$out/run-log.txt" 2>/dev/null | cut -d' ' -f3- >"$out/run-log-lines.txt" || true
  in_order "the run's log" "$out/run-log-lines.txt" -E < <(expectations run-log)
fi
case_ids=$(sed -n 's/^device [^|]*| //p' "$case_file" | tr -d '\r' | sed 's/ | /\n/g')
known_ids=$(sed -n 's/^device [^|]*| //p' "$out/before.txt" | sed 's/ | /\n/g')
traced=$(sed -n 's/^Compare device ID: \[\(.*\)\]$/\1/p' "$out/trace.txt")
echo "trace of the case's devices:"
ours=$(grep -Fxf <(printf '%s\n' "$case_ids") <<<"$traced" || true)
[ -z "$ours" ] || sed 's/^/  /' <<<"$ours"
# Runs started together share the work in an order of their own: which of them traces the
# case's devices is theirs to settle.
if ! grep -q '^together ' "$case_file"; then
  diff -u <(expectations trace) <(printf '%s\n' "$ours" | sed '/^$/d') ||
    fail "the trace of the case's devices differs"
fi
while IFS= read -r id; do
  [ -z "$id" ] || grep -Fxq -- "$id" <<<"$known_ids" || fail "traced an unknown ID: $id"
done <<<"$traced"

# The Wine debug log of the run (for a case that asks for a channel): the "expect log" patterns
# (extended regular expressions) match lines of one thread, in order; "expect log-closed" means
# that the handle which the call matched last returned is closed next, before the next pattern.
if grep -qE '^expect log' "$case_file"; then
  expectations=$(grep -E '^expect log' "$case_file" | tr -d '\r' | sed 's/^expect //') awk '
    BEGIN {
      n = split(ENVIRON["expectations"], wanted, "\n")
      for (i = 1; i <= n; i++) {
        if (wanted[i] == "log-closed") { kind[i] = "closed" }
        else { kind[i] = "log"; pattern[i] = substr(wanted[i], 5) }
      }
      i = 1
    }
    i > n { exit }
    {
      thread = substr($0, 1, index($0, ":") - 1)
      if (owner != "" && thread != owner) { next }
    }
    call != "" && index($0, ":Ret  " call "(") && match($0, /retval=[0-9a-f]+/) {
      handle = substr($0, RSTART + 7, RLENGTH - 7); call = ""
    }
    kind[i] == "log" && $0 ~ pattern[i] {
      owner = thread; handle = ""
      call = $0; sub(/^[^:]*:Call /, "", call); sub(/\(.*/, "", call)
      print "  log: " $0; i++; next
    }
    kind[i] == "closed" && handle != "" && index($0, ":Call KERNEL32.CloseHandle(" handle ")") {
      print "  log: " $0; i++; next
    }
    END {
      if (i <= n) { print "FAILED: the debug log has no line for: " wanted[i]; exit 1 }
    }' "$out/stderr.txt" || failed=1
fi

# The backup's files, and the machine after its restore scripts ran (run-machine.sh).
if grep -qE '^expect backup-file ' "$case_file"; then
  echo "files of the backup:"
  sed 's/^/  /' "$out/backup-files.txt" 2>/dev/null || true
fi
while IFS= read -r pattern; do
  grep -Eqx -- "$pattern" "$out/backup-files.txt" 2>/dev/null ||
    fail "the backup holds no file that matches: $pattern"
done < <(expectations backup-file)
if tr -d '\r' <"$case_file" | grep -qx 'expect backup empty' && [ -s "$out/backup-files.txt" ]; then
  fail "the backup folder holds files: $(tr '\n' ' ' <"$out/backup-files.txt")"
fi
# The record of each backup the run made: its folder's name with its manifest's digest.
if tr -d '\r' <"$case_file" | grep -qx 'expect recorded'; then
  [ -s "$out/backup-digests.txt" ] || fail "the backup holds no manifest"
  diff -u <(sed 's/^/record /' "$out/backup-digests.txt" 2>/dev/null) \
    <(LC_ALL=C sort "$out/after-record.txt" 2>/dev/null) ||
    fail "the machine's record of the backups differs from their manifests' digests"
fi
if tr -d '\r' <"$case_file" | grep -qx 'expect moved-nothing'; then
  echo "the mover: $(head -n 1 "$out/moved.txt" 2>/dev/null)"
  grep -qE '^tries [1-9][0-9]*, moved 0$' "$out/moved.txt" 2>/dev/null ||
    fail "the backup's folders were moved during the run, or never tried: $(head -n 1 "$out/moved.txt" 2>/dev/null)"
fi
# The machine: removed exactly what the case expects, and nothing added.
: >"$out/device-keys.txt"
expected=$(expectations removed) awk -v device_keys="$out/device-keys.txt" '
  BEGIN {
    n = split(ENVIRON["expected"], lines, "\n")
    for (i = 1; i <= n; i++) {
      kind = lines[i]; sub(/ .*/, "", kind)
      item = lines[i]; sub(/^[a-z]+ /, "", item)
      if (kind != "") { kinds[i] = kind; items[i] = item }
    }
  }
  function below(path, root) { return path == root || index(path, root "\\") == 1 }
  # The keys left after the run (after.txt, read first).
  FNR == NR { if ($1 == "key") { kept[substr($0, 5)] = 1 }; next }
  {
    line = $0; what = $1; rest = substr(line, length(what) + 2)
    path = rest; sub(/ \| .*/, "", path)
    for (i in kinds) {
      if (kinds[i] == "file" && what == "file" && path == items[i]) { print line; next }
      if (kinds[i] == "device" && what == "device" && path == items[i]) { print line; next }
      # The device key, when the platform deleted it, with the parents it left empty.
      enum = "SYSTEM\\ControlSet001\\Enum\\" items[i]
      if (kinds[i] == "device" && (what == "key" || what == "value") && !(enum in kept) &&
          (below(path, enum) || (index(enum, path "\\") == 1 && !(path in kept) &&
                                 index(path, "SYSTEM\\ControlSet001\\Enum\\") == 1))) {
        print line; print line >device_keys; next
      }
      if (kinds[i] == "key" && (what == "key" || what == "value") && below(path, items[i])) {
        print line; next
      }
      if (kinds[i] == "package" && what == "store" && below(path, items[i])) { print line; next }
      if (kinds[i] == "key64" && (what == "key64" || what == "value64") &&
          below(path, items[i])) {
        print line; next
      }
    }
  }' "$out/after.txt" "$out/before.txt" | sort >"$out/expected-removed.txt"
comm -23 <(sort "$out/before.txt") <(sort "$out/after.txt") >"$out/removed.txt"
comm -13 <(sort "$out/before.txt") <(sort "$out/after.txt") >"$out/added.txt"
echo "removed from the machine:"
sed 's/^/  /' "$out/removed.txt"
diff -u "$out/expected-removed.txt" "$out/removed.txt" ||
  fail "what the run removed differs from what the case expects"
if [ -s "$out/added.txt" ]; then
  sed 's/^/  added: /' "$out/added.txt"
  fail "the run added to the machine"
fi

if tr -d '\r' <"$case_file" | grep -qx 'expect restored'; then
  if [ ! -s "$out/restore-scripts.txt" ]; then
    fail "no restore.cmd below the case's restore folder"
  else
    for pass in 1 2; do
      echo "restore, pass $pass:"
      sed 's/^/  /' "$out/restore-$pass.txt"
      if grep '^exit status: ' "$out/restore-$pass.txt" | grep -vqx 'exit status: 0'; then
        fail "a restore script ended with a status other than 0 (pass $pass)"
      fi
    done
    # No file puts a device back, nor the device key that the platform deleted with it.
    diff -u <(grep -v '^device ' "$out/before.txt" | grep -vxFf "$out/device-keys.txt") \
      <(grep -v '^device ' "$out/restored.txt" | grep -vxFf "$out/device-keys.txt") ||
      fail "the restored machine differs from the machine before the run"
    diff -u "$out/restored.txt" "$out/restored-again.txt" || fail "restoring again changed the machine"
  fi
fi
# A backup's saved store folder: each of its files as the store held it before the run.
while IFS= read -r folder; do
  [ -n "$folder" ] || continue
  below_store() {
    [ ! -f "$1" ] || prefix="store $folder\\" awk 'index($0, ENVIRON["prefix"]) == 1' "$1"
  }
  saved=$(below_store "$out/backup-store.txt" | LC_ALL=C sort)
  held=$(below_store "$out/before.txt" | sed 's/\( | fnv [0-9a-f]*\).*/\1/' | LC_ALL=C sort)
  echo "store folder $folder in the backup:"
  sed 's/^/  /' <<<"$saved"
  if [ -z "$held" ]; then
    fail "the store held no folder $folder before the run"
  elif [ "$saved" != "$held" ]; then
    diff -u <(echo "$held") <(echo "$saved") || true
    fail "the backup's files\\store\\$folder differs from the store's folder before the run"
  fi
done < <(expectations backup-store)
# A restore that puts back all but what the case names: the machine after its first pass against
# the one before the run, the devices and the keys the platform deleted with them aside.
unrestored=$(expectations unrestored)
if [ -n "$unrestored" ]; then
  aside() { grep -v '^device ' "$1" | grep -vxFf "$out/device-keys.txt" | LC_ALL=C sort; }
  unrestored=$unrestored awk '
    BEGIN {
      n = split(ENVIRON["unrestored"], lines, "\n")
      for (i = 1; i <= n; i++) {
        kind[i] = lines[i]; sub(/ .*/, "", kind[i])
        item[i] = lines[i]; sub(/^[a-z0-9]+ /, "", item[i])
      }
    }
    function below(path, root) { return path == root || index(path, root "\\") == 1 }
    {
      what = $1; path = substr($0, length(what) + 2); sub(/ \| .*/, "", path)
      for (i = 1; i <= n; i++) {
        if ((kind[i] == "file" && what == "file" && path == item[i]) ||
            (kind[i] == "key" && (what == "key" || what == "value") && below(path, item[i])) ||
            (kind[i] == "key64" && (what == "key64" || what == "value64") && below(path, item[i])) ||
            (kind[i] == "package" && what == "store" && below(path, item[i]))) {
          print; next
        }
      }
    }' <(aside "$out/before.txt") | LC_ALL=C sort >"$out/expected-unrestored.txt"
  comm -23 <(aside "$out/before.txt") <(aside "$out/restored.txt") >"$out/unrestored.txt"
  echo "not restored:"
  sed 's/^/  /' "$out/unrestored.txt"
  diff -u "$out/expected-unrestored.txt" "$out/unrestored.txt" ||
    fail "what the restore left out differs from what the case expects"
  comm -13 <(aside "$out/before.txt") <(aside "$out/restored.txt") | sed 's/^/  added: /' |
    grep . && fail "the restore added to the machine"
  diff -u "$out/restored.txt" "$out/restored-again.txt" || fail "restoring again changed the machine"
fi
# A restore that must refuse: its first pass says these lines, in order, and neither pass says
# the "restore-lacks" text.
if grep -qE '^expect restore-output ' "$case_file"; then
  echo "restore, pass 1:"
  sed 's/^/  /' "$out/restore-1.txt" 2>/dev/null || true
  made_on=$(cat "$out/computer.txt" 2>/dev/null || true)
  run_folder=$(head -n 1 "$out/backup-digests.txt" 2>/dev/null | cut -d' ' -f1)
  in_order "the restore's output" "$out/restore-1.txt" -Fx < <(expectations restore-output |
    while IFS= read -r line; do
      line=${line//\{computer\}/$made_on}
      printf '%s\n' "${line//\{folder\}/$run_folder}"
    done)
fi
if tr -d '\r' <"$case_file" | grep -qx 'expect restore-unchanged'; then
  diff -u "$out/before-restore.txt" "$out/restored.txt" || fail "the restore changed the machine"
  diff -u "$out/before-restore.txt" "$out/restored-again.txt" ||
    fail "restoring again changed the machine"
fi
while IFS= read -r text; do
  ! grep -qF -- "$text" "$out"/restore-[12].txt 2>/dev/null || fail "a restore said: $text"
done < <(expectations restore-lacks)

exit "$failed"
