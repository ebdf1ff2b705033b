#!/usr/bin/env bash
# Copies a Wine prefix at rest into a new private prefix: the platform's libraries are shared
# with the original by hard links (they are only read); the registry and everything else that
# Wine writes in place is copied.
#   copy-prefix.sh <prefix> <copy>
set -euo pipefail

from=$(realpath "$1")
to=$(realpath -m "$2")
shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
rm -rf "$to"
mkdir -p "$to"
tar -C "$from" "${shared[@]/#/--exclude=./}" -cf - . | tar -C "$to" -xf -
for folder in "${shared[@]}"; do
  if [ -d "$from/$folder" ]; then
    cp -al "$from/$folder" "$to/$folder"
  fi
done
