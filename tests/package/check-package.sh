#!/usr/bin/env bash
# The package command with signing, checked: a throwaway self-signed code-signing certificate is
# made, the package is built with it from the programs already built, and then the zip holds
# exactly the two programs, the README and SHA256SUMS, whose sums hold; both programs verify
# against that certificate (and the unsigned builds do not); and the signed programs still run
# under Wine (started so that they end at once: the companion without its command line, vorsk.exe
# with /Unregister, each with status 1).
#   check-package.sh <vorsk.exe> <vorsk64.exe> <scratch folder>
set -euo pipefail
here=$(dirname "$(realpath "$0")")
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

openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes \
  -subj "/CN=vorsk throwaway signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -out cert.p12 -inkey key.pem -in cert.pem -passout pass:throwaway
zip=$(VORSK_PACKAGE_PREBUILT=1 VORSK_EXE="$program" VORSK64_EXE="$companion" \
  VORSK_SIGN_PKCS12="$scratch/cert.p12" VORSK_SIGN_PASSWORD=throwaway \
  bash "$here/../../scripts/package.sh" "$scratch/dist")
echo "package: $zip"
case "$(basename "$zip")" in
  vorsk-1.0.0.1-*-windows.zip) ;;
  *) fail "the package is named $(basename "$zip")" ;;
esac
unzip -q "$zip" -d unpacked
folder=unpacked/$(basename "$zip" .zip)
listing=$(cd "$folder" && ls -A | sort | tr '\n' ' ')
[ "$listing" = "README.md SHA256SUMS vorsk.exe vorsk64.exe " ] || fail "the package holds: $listing"
(cd "$folder" && sha256sum -c --quiet SHA256SUMS) || fail "the checksums do not hold"

for exe in vorsk.exe vorsk64.exe; do
  osslsigncode verify -CAfile cert.pem -in "$folder/$exe" >verify-$exe.txt 2>&1 ||
    fail "$exe does not verify against the certificate"
done
if osslsigncode verify -CAfile cert.pem -in "$program" >/dev/null 2>&1; then
  fail "the unsigned build verifies too: the check proves nothing"
fi

status=0
bash "$here/../../scripts/with-display.sh" wine "$folder/vorsk64.exe" </dev/null >/dev/null 2>&1 ||
  status=$?
[ "$status" = 1 ] || fail "the signed vorsk64.exe ended with status $status"
status=0
bash "$here/../../scripts/with-display.sh" wine "$folder/vorsk.exe" /Unregister </dev/null \
  >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || fail "the signed vorsk.exe ended with status $status"
exit "$failed"
