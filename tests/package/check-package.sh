#!/usr/bin/env bash
# The package command, checked. The source folder's commit is cloned into a folder of another
# name and depth, where both programs (those two targets alone) and the package are built; the
# programs given, built in the source folder, are packaged too: the two packages and the two
# symbols zips must be the same bytes (with uncommitted changes in the source folder, a second
# clone is built instead). Then, in the
# first: the zip holds exactly the two programs, the README and SHA256SUMS, whose sums hold; the
# programs carry no debug section and no clone's folder; the symbols zip holds one symbols file
# per program, with its debug information, that the program's debug link names with the right
# checksum. When the source folder has no uncommitted change, the programs given (those the other
# tests run) must be the package's. Last, the package is built again with a throwaway
# self-signed code-signing certificate: both programs verify against it (and the unsigned builds
# do not), the digest of each signed program's image is that of the unsigned one (the digest
# vorsk.exe carries of its companion), and the signed programs still run under Wine (started so
# that they end at once: the companion without its command line, vorsk.exe with /Unregister, each
# with status 1).
#   check-package.sh <vorsk.exe> <vorsk64.exe> <scratch folder>
set -euo pipefail
here=$(dirname "$(realpath "$0")")
source=$(realpath "$here/../..")
program=$(realpath "$1")
companion=$(realpath "$2")
scratch=$(realpath -m "$3")
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}
objdump=x86_64-w64-mingw32-objdump
objcopy=x86_64-w64-mingw32-objcopy

commit=$(git -C "$source" rev-parse HEAD)
echo "commit: $commit"
changed=$(git -C "$source" status --porcelain --untracked-files=no)
[ -z "$changed" ] || echo "note: uncommitted changes are not in the clones' builds"

# Clones the commit into <folder>, builds both programs there and its package in <folder>/dist;
# the build's output goes to <folder>.log.
build_package() { # <folder>
  local folder=$1
  mkdir -p "$(dirname "$folder")"
  if ! (
    git clone -q --no-checkout "$source" "$folder" &&
      cd "$folder" &&
      git checkout -q --detach "$commit" &&
      cmake --preset win64 &&
      cmake --build --preset win64 --target vorsk64 &&
      cmake --preset win32 &&
      cmake --build --preset win32 --target vorsk &&
      VORSK_PACKAGE_PREBUILT=1 bash scripts/package.sh "$folder/dist"
  ) >"$folder.log" 2>&1; then
    tail -n 30 "$folder.log"
    echo "FAILED: the package could not be built in $folder"
    exit 1
  fi
}
one=$scratch/one/vorsk
build_package "$one"
if [ -z "$changed" ]; then
  # The second build is the one the other tests run, made in the source folder itself: its
  # programs are packaged in the first clone, whose README and commit are the commit's.
  two=$scratch/given
  mkdir -p "$two"
  if ! (cd "$one" && VORSK_PACKAGE_PREBUILT=1 VORSK_EXE="$program" VORSK64_EXE="$companion" \
    bash scripts/package.sh "$two/dist") >"$two.log" 2>&1; then
    tail -n 30 "$two.log"
    echo "FAILED: the programs given could not be packaged"
    exit 1
  fi
else
  two=$scratch/second-clone/deeper/vorsk-again
  build_package "$two"
fi

# The same bytes from the same commit.
for zip in "$one"/dist/*.zip; do
  other=$two/dist/$(basename "$zip")
  if [ ! -f "$other" ]; then
    fail "the second build has no $(basename "$zip")"
  elif ! cmp -s "$zip" "$other"; then
    fail "$(basename "$zip") differs between the two builds"
    mkdir -p "differs/one" "differs/two"
    unzip -q -o "$zip" -d differs/one
    unzip -q -o "$other" -d differs/two
    diff -r differs/one differs/two || true
  fi
done

short=$(git -C "$one" rev-parse --short HEAD)
folder=vorsk-1.0.0.1-$short-windows
package=$one/dist/$folder.zip
symbols=$one/dist/vorsk-1.0.0.1-$short-symbols.zip
if [ ! -f "$package" ] || [ ! -f "$symbols" ]; then
  fail "the package and its symbols are not named as expected: $(ls "$one/dist")"
  exit 1
fi
unzip -q "$package" -d unpacked
unzip -q "$symbols" -d unpacked-symbols
listing=$(unzip -Z1 "$package" | tr '\n' ' ')
[ "$listing" = "$folder/README.md $folder/SHA256SUMS $folder/vorsk.exe $folder/vorsk64.exe " ] ||
  fail "the package holds, in this order: $listing"
listing=$(unzip -Z1 "$symbols" | tr '\n' ' ')
[ "$listing" = "$folder/vorsk.debug $folder/vorsk64.debug " ] ||
  fail "the symbols zip holds, in this order: $listing"
(cd "unpacked/$folder" && sha256sum -c --quiet SHA256SUMS) || fail "the checksums do not hold"

# The four bytes of a file's CRC-32, as a debug link holds them (gzip's trailer holds the same).
crc32() { gzip -c <"$1" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n'; }
for exe in vorsk.exe vorsk64.exe; do
  shipped=unpacked/$folder/$exe
  debug=unpacked-symbols/$folder/${exe%.exe}.debug
  header=$("$objdump" -h -p "$shipped")
  ! grep -q ' \.debug_' <<<"$header" || fail "$exe carries debug sections"
  grep -q 'symbols stripped' <<<"$header" || fail "$exe carries its symbols"
  for clone in "$one" "$two" "$source"; do
    ! grep -qF "$clone" "$shipped" "$debug" || fail "$exe or its symbols name the folder $clone"
  done
  # The debug link: the symbols file's name, zeros up to a multiple of four bytes, its CRC-32.
  "$objcopy" --dump-section .gnu_debuglink="link-$exe" "$shipped" "copy-$exe" 2>/dev/null ||
    : >"link-$exe"
  link_name=$(head -c -4 "link-$exe" | tr -d '\0')
  link_crc=$(tail -c 4 "link-$exe" | od -An -tx1 | tr -d ' \n')
  [ "$link_name" = "${exe%.exe}.debug" ] || fail "$exe links to symbols named '$link_name'"
  [ "$link_crc" = "$(crc32 "$debug")" ] || fail "$exe's debug link does not match its symbols"
  # The symbols file holds the program's own code: its sources, named below the source folder.
  "$objdump" --dwarf=info --dwarf-depth=1 "$debug" >"dwarf-$exe.txt" 2>/dev/null || true
  source_file=shell/vorsk_main.cpp
  [ "$exe" = vorsk.exe ] || source_file=companion/vorsk64_main.cpp
  grep -q "DW_AT_name.*: \./$source_file\$" "dwarf-$exe.txt" ||
    fail "the symbols of $exe have no debug information for ./$source_file"
done

if [ -n "$changed" ]; then
  echo "note: the programs given are not compared with the package's (uncommitted changes)"
else
  cmp -s "$program" "unpacked/$folder/vorsk.exe" ||
    fail "$program is not the package's vorsk.exe (built from another commit?)"
  cmp -s "$companion" "unpacked/$folder/vorsk64.exe" ||
    fail "$companion is not the package's vorsk64.exe (built from another commit?)"
fi

# Signed: the same stripped programs, signed.
openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes \
  -subj "/CN=vorsk throwaway signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -out cert.p12 -inkey key.pem -in cert.pem -passout pass:throwaway
signed=$(cd "$one" && VORSK_PACKAGE_PREBUILT=1 VORSK_SIGN_PKCS12="$scratch/cert.p12" \
  VORSK_SIGN_PASSWORD=throwaway bash scripts/package.sh "$scratch/signed")
echo "signed package: $signed"
unzip -q "$signed" -d signed-unpacked
(cd "signed-unpacked/$folder" && sha256sum -c --quiet SHA256SUMS) ||
  fail "the signed package's checksums do not hold"
for exe in vorsk.exe vorsk64.exe; do
  osslsigncode verify -CAfile cert.pem -in "signed-unpacked/$folder/$exe" >"verify-$exe.txt" 2>&1 ||
    fail "$exe does not verify against the certificate"
  header=$("$objdump" -h "signed-unpacked/$folder/$exe")
  ! grep -q ' \.debug_' <<<"$header" || fail "the signed $exe carries debug sections"
done
if osslsigncode verify -CAfile cert.pem -in "unpacked/$folder/vorsk.exe" >/dev/null 2>&1; then
  fail "the unsigned build verifies too: the check proves nothing"
fi
# Signing changes nothing of the digest that vorsk.exe carries of its companion (as the build
# takes it), while it changes the file.
for exe in vorsk.exe vorsk64.exe; do
  bash "$source/scripts/companion-digests.sh" "digest-unsigned-$exe.h" "x=unpacked/$folder/$exe"
  bash "$source/scripts/companion-digests.sh" "digest-signed-$exe.h" "x=signed-unpacked/$folder/$exe"
  cmp -s "digest-unsigned-$exe.h" "digest-signed-$exe.h" ||
    fail "signing $exe changes the digest of its image"
  ! cmp -s "unpacked/$folder/$exe" "signed-unpacked/$folder/$exe" || fail "$exe was not signed"
done

status=0
bash "$source/scripts/with-display.sh" wine "signed-unpacked/$folder/vorsk64.exe" </dev/null \
  >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || fail "the signed vorsk64.exe ended with status $status"
status=0
bash "$source/scripts/with-display.sh" wine "signed-unpacked/$folder/vorsk.exe" /Unregister \
  </dev/null >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || fail "the signed vorsk.exe ended with status $status"
exit "$failed"
