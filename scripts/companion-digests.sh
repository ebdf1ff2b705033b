#!/usr/bin/env bash
# Writes the header that vorsk.exe is built with: each companion built with it, by its name beside
# vorsk.exe, with the digest of its image as Authenticode digests one (digest/image_digest.h: the
# SHA-256 of the file but for its optional header's checksum, the certificate table's entry and
# the table itself, the bytes before the table filled up with zeros to a multiple of eight), so
# that signing the programs after the build changes nothing.
#   companion-digests.sh <header> [<name beside vorsk.exe>=<companion file>]...
set -euo pipefail
header=$1
shift

# The unsigned number of <size> bytes at <offset> of <file>, little-endian.
number() { # <file> <offset> <size>
  od -An -t "u$3" -j "$2" -N "$3" "$1" | tr -d ' \n'
}

digest() { # <file>
  local file=$1 size pe magic optional checksum count directories entry at=0 length=0 end pad
  size=$(stat -c %s "$file")
  if [ "$(head -c 2 "$file")" != MZ ]; then
    echo "companion-digests.sh: $file is no program" >&2
    return 1
  fi
  pe=$(number "$file" 60 4)
  if [ "$(tail -c +$((pe + 1)) "$file" | head -c 2)" != PE ]; then
    echo "companion-digests.sh: $file has no PE header" >&2
    return 1
  fi
  optional=$((pe + 24))
  magic=$(number "$file" "$optional" 2)
  case $magic in
    267) count=$((optional + 92)) ;;
    523) count=$((optional + 108)) ;;
    *)
      echo "companion-digests.sh: $file has an optional header of magic $magic" >&2
      return 1
      ;;
  esac
  checksum=$((optional + 64))
  directories=$(number "$file" "$count" 4)
  entry=$((count + 4 + 4 * 8))
  if [ "$directories" -gt 4 ]; then
    at=$(number "$file" "$entry" 4)
    length=$(number "$file" $((entry + 4)) 4)
  fi
  end=$size
  if [ "$length" -ne 0 ]; then
    end=$at
  fi
  pad=$(((8 - end % 8) % 8))
  {
    head -c "$checksum" "$file"
    if [ "$directories" -gt 4 ]; then
      tail -c +$((checksum + 5)) "$file" | head -c $((entry - checksum - 4))
      tail -c +$((entry + 9)) "$file" | head -c $((end - entry - 8))
    else
      tail -c +$((checksum + 5)) "$file" | head -c $((end - checksum - 4))
    fi
    head -c "$pad" /dev/zero
    if [ "$length" -ne 0 ]; then
      tail -c +$((at + length + 1)) "$file"
    fi
  } | sha256sum | cut -d ' ' -f 1
}

entries=
for companion in "$@"; do
  name=${companion%%=*}
  file=${companion#*=}
  sum=$(digest "$file")
  entries+="    {\"${name//\\/\\\\}\", \"$sum\"},"$'\n'
done
text="// Made by the build (scripts/companion-digests.sh): each companion built with this vorsk.exe,
// by its name beside vorsk.exe, with the digest of its image (digest/image_digest.h).
#pragma once

#include \"host/win32/companion_check.h\"

namespace vorsk::win32 {

inline const BuiltCompanions kBuiltCompanions = {
${entries}};

}  // namespace vorsk::win32"
# Written only when it changes, so that what includes it is not built again for nothing.
if [ ! -f "$header" ] || [ "$(cat "$header")" != "$text" ]; then
  mkdir -p "$(dirname "$header")"
  printf '%s\n' "$text" >"$header"
fi
