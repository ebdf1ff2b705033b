#!/usr/bin/env bash
# Installs what building and testing vorsk needs on Debian 12, and only what is missing (the
# Wine 10 world's chroot is made by wine10-world.sh, with debootstrap). Works as root or through
# sudo. With the argument "fuzz" it installs what the fuzz target needs as well (clang 14 and its
# libFuzzer runtime), with "bench" what the benchmarks need (Google Benchmark); the regular build
# and tests need neither.
set -euo pipefail

packages=(cmake g++ make googletest binutils
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb fonts-wqy-microhei
          openssl osslsigncode zip unzip debootstrap)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi
if [ "${1:-}" = bench ]; then
  packages+=(libbenchmark-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
