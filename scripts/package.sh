#!/usr/bin/env bash
# Builds the package that users get: <output folder>/vorsk-<version>-<commit>-windows.zip, which
# holds vorsk.exe and vorsk64.exe (they always travel together), the README and SHA256SUMS, in a
# folder of the same name. <version> is the programs' version resource, <commit> the short commit
# they were built from. With VORSK_SIGN_PKCS12 (a PKCS#12 file) and VORSK_SIGN_PASSWORD set, both
# programs are signed first (Authenticode, SHA-256), and their checksums are those of the signed
# programs. Builds both programs first, unless VORSK_PACKAGE_PREBUILT=1; VORSK_EXE and VORSK64_EXE
# name other builds of them. Installs what is missing first.
#   package.sh [<output folder>]     (dist by default)
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-dist}")
program=${VORSK_EXE:-build/win32/vorsk.exe}
companion=${VORSK64_EXE:-build/win64/vorsk64.exe}
if [ "${VORSK_PACKAGE_PREBUILT:-}" != 1 ]; then
  bash scripts/setup.sh
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target vorsk64 >/dev/null
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target vorsk >/dev/null
fi

version=$(sed -n 's/^#define VORSK_VERSION_TEXT "\(.*\)"$/\1/p' res/version.h | tr -d ' ' | tr ',' '.')
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
name=vorsk-$version-$commit-windows
if [ -z "$version" ]; then
  echo "package.sh: no version in res/version.h" >&2
  exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "$program" "$stage/$name/vorsk.exe"
cp "$companion" "$stage/$name/vorsk64.exe"
cp README.md "$stage/$name/README.md"

if [ -n "${VORSK_SIGN_PKCS12:-}" ]; then
  # The password goes to the signing tool through a file only this user reads, never on its
  # command line.
  umask 077
  printf '%s' "${VORSK_SIGN_PASSWORD:-}" >"$stage/password"
  for exe in vorsk.exe vorsk64.exe; do
    osslsigncode sign -pkcs12 "$VORSK_SIGN_PKCS12" -readpass "$stage/password" -h sha256 \
      -n "vorsk $version" -in "$stage/$name/$exe" -out "$stage/$exe.signed" >/dev/null
    mv "$stage/$exe.signed" "$stage/$name/$exe"
  done
  rm -f "$stage/password"
fi

(cd "$stage/$name" && sha256sum vorsk.exe vorsk64.exe README.md >SHA256SUMS)
mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && zip -q -r -X "$out/$name.zip" "$name")
echo "$out/$name.zip"
