#!/usr/bin/env bash
# Builds the package that users get: <output folder>/vorsk-<version>-<commit>-windows.zip, which
# holds vorsk.exe and vorsk64.exe (they always travel together), the README and SHA256SUMS, in a
# folder of the same name; and <output folder>/vorsk-<version>-<commit>-symbols.zip, which holds
# each program's debug information and symbols (vorsk.debug, vorsk64.debug) in a folder of the
# package's name, so that both zips unpacked in one place put each symbols file beside its
# program, where a debugger looks for it. <version> is the programs' version resource, <commit>
# the short commit they were built from. The programs are the build's, stripped: each keeps a link
# to its symbols file (its name and checksum). With VORSK_SIGN_PKCS12 (a PKCS#12 file) and
# VORSK_SIGN_PASSWORD set, both programs are signed first (Authenticode, SHA-256), and their
# checksums are those of the signed programs. Builds both programs first, unless
# VORSK_PACKAGE_PREBUILT=1; VORSK_EXE and VORSK64_EXE name other builds of them (their symbols
# files beside them). Installs what is missing first.
# Two builds of one commit give the same bytes, zips included: each zip's entries are written in
# the order of their names, with the commit's time, without the owner, the rights or the time of
# the build's files.
#   package.sh [<output folder>]     (dist by default)
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-dist}")
program=${VORSK_EXE:-build/win32/vorsk.exe}
companion=${VORSK64_EXE:-build/win64/vorsk64.exe}
program_symbols=${program%.exe}.debug
companion_symbols=${companion%.exe}.debug
if [ "${VORSK_PACKAGE_PREBUILT:-}" != 1 ]; then
  bash scripts/setup.sh
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target vorsk64 >/dev/null
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target vorsk >/dev/null
fi

version=$(sed -n 's/^#define VORSK_VERSION_TEXT "\(.*\)"$/\1/p' res/version.h | tr -d ' ' | tr ',' '.')
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
# The commit's time, or zip's earliest (1980) outside a clone.
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
name=vorsk-$version-$commit-windows
symbols=vorsk-$version-$commit-symbols
if [ -z "$version" ]; then
  echo "package.sh: no version in res/version.h" >&2
  exit 1
fi
for exe in "$program" "$companion"; do
  if x86_64-w64-mingw32-objdump -h "$exe" | grep -q ' \.debug_'; then
    echo "package.sh: $exe carries debug sections: build it with the project's CMake files" >&2
    exit 1
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package=$stage/package/$name
mkdir -p "$package" "$stage/symbols/$name"
cp "$program" "$package/vorsk.exe"
cp "$companion" "$package/vorsk64.exe"
cp README.md "$package/README.md"
cp "$program_symbols" "$stage/symbols/$name/vorsk.debug"
cp "$companion_symbols" "$stage/symbols/$name/vorsk64.debug"

if [ -n "${VORSK_SIGN_PKCS12:-}" ]; then
  # The password goes to the signing tool through a file only this user reads, never on its
  # command line.
  umask 077
  printf '%s' "${VORSK_SIGN_PASSWORD:-}" >"$stage/password"
  for exe in vorsk.exe vorsk64.exe; do
    osslsigncode sign -pkcs12 "$VORSK_SIGN_PKCS12" -readpass "$stage/password" -h sha256 \
      -n "vorsk $version" -in "$package/$exe" -out "$stage/$exe.signed" >/dev/null
    mv "$stage/$exe.signed" "$package/$exe"
  done
  rm -f "$stage/password"
fi

(cd "$package" && sha256sum vorsk.exe vorsk64.exe README.md >SHA256SUMS)
mkdir -p "$out"
# Writes <zip> from <folder> of the stage: its files' names sorted, no folder entries, no owner or
# extended times (-X), each file's time the commit's (zip keeps local time: UTC here).
pack() { # <zip> <folder>
  local zip=$1 folder=$2
  rm -f "$zip"
  (
    cd "$folder"
    mapfile -t files < <(find . -type f -printf '%P\n' | LC_ALL=C sort)
    chmod 644 "${files[@]}"
    touch -d "@$epoch" "${files[@]}"
    TZ=UTC zip -q -X -D "$zip" "${files[@]}"
  )
}
pack "$out/$name.zip" "$stage/package"
pack "$out/$symbols.zip" "$stage/symbols"
echo "$out/$name.zip"
