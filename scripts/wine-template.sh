#!/usr/bin/env bash
# Makes a template Wine prefix, booted once and at rest, for the private prefixes that
# run-machine.sh copies from it; does nothing when it exists already:
#   wine-template.sh <template prefix> [win32|win64]
set -euo pipefail

template=$(realpath -m "$1")
scripts=$(dirname "$(realpath "$0")")
if [ -f "$template/system.reg" ]; then
  exit 0
fi
rm -rf "$template.new"
mkdir -p "$(dirname "$template")"
bash "$scripts/wine-session.sh" start "$template.new" "${2:-win64}"
bash "$scripts/wine-session.sh" stop "$template.new"
rm -rf "$template"
mv "$template.new" "$template"
