#!/usr/bin/env bash
# The third test world: Wine 10 from Debian 13 ("trixie"), whose Windows keeps a driver store
# (C:\windows\system32\driverstore\filerepository), in a chroot of its own made with debootstrap:
#   wine10-world.sh setup              makes the chroot unless it is cached, prints its folder
#   wine10-world.sh run <command> ...  runs a command inside it (made first if need be)
# The chroot holds Wine (wine, wine64 and wine32:i386), Xvfb and the Chinese font of the session's
# display settings, all from Debian's archive through the mirror this machine's apt uses. It is
# cached outside the clone, in $VORSK_WORLD_CACHE (default /var/cache/vorsk), as
# wine10-<Wine's version>, and reused as it is by every later run; a chroot left half made is
# made again. Nothing is built inside: a command that runs there sees the clone (with its build
# folders) and /tmp at the same paths as outside, and the machine's /dev, /proc and /sys, through
# mounts of its own private mount namespace that end with it; it starts in the same folder when
# that is one of them, otherwise in /. Needs root.
set -euo pipefail

clone=$(realpath "$(dirname "$0")/..")
cache=${VORSK_WORLD_CACHE:-/var/cache/vorsk}
suite=trixie
packages=(wine wine64 wine32:i386 xvfb fonts-wqy-microhei)

# The Debian mirror of this machine's apt sources (one-line or deb822 form), else Debian's own.
mirror() {
  local found
  found=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
            2>/dev/null |
          grep -oE '^(deb|URIs:)[[:space:]]+(\[[^]]*\][[:space:]]+)?[a-z]+://[^[:space:]]+/debian/?([[:space:]]|$)' |
          grep -oE '[a-z]+://[^[:space:]]+' | head -n 1 || true)
  echo "${found:-http://deb.debian.org/debian}"
}

# The newest complete chroot of the cache, if any.
cached() {
  local root
  for root in $(ls -d "$cache"/wine10-*/ 2>/dev/null | sort -rV); do
    if [ -f "$root/.vorsk-complete" ]; then
      echo "${root%/}"
      return 0
    fi
  done
  return 1
}

# Runs a command as root inside the chroot <root>, in a mount namespace of its own.
inside() {
  local root=$1
  shift
  unshare --mount --propagation private -- bash -euc '
    root=$1 clone=$2 here=$3
    shift 3
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mount -t proc proc "$root/proc"
    mount --bind /tmp "$root/tmp"
    mkdir -p "$root$clone"
    mount --bind "$clone" "$root$clone"
    exec chroot "$root" /usr/bin/env \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      bash -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$here" "$@"
  ' inside "$root" "$clone" "$PWD" "$@"
}

setup() {
  local root
  if root=$(cached); then
    echo "$root"
    return 0
  fi
  mkdir -p "$cache"
  exec 9>"$cache/.wine10.lock"
  flock 9
  # Another run may have made it while this one waited.
  if root=$(cached); then
    echo "$root"
    return 0
  fi
  local work="$cache/wine10.new" source started
  source=$(mirror)
  started=$(date +%s)
  echo "wine10-world.sh: making the Wine 10 chroot from $source ($suite)" >&2
  rm -rf "$work"
  debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
    "$suite" "$work" "$source" >"$cache/wine10-debootstrap.log" 2>&1 ||
    { tail -n 20 "$cache/wine10-debootstrap.log" >&2; exit 1; }
  echo "deb $source $suite main" >"$work/etc/apt/sources.list"
  # A chroot half made is made again from nothing: dpkg need not sync each file it unpacks.
  echo force-unsafe-io >"$work/etc/dpkg/dpkg.cfg.d/vorsk-unsafe-io"
  inside "$work" bash -euc '
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    apt-get update -q
    apt-get install -y -q --no-install-recommends "$@"
    apt-get clean
  ' install "${packages[@]}" >"$cache/wine10-install.log" 2>&1 ||
    { tail -n 20 "$cache/wine10-install.log" >&2; exit 1; }
  local version
  version=$(chroot "$work" dpkg-query -W -f='${Version}' wine)
  sync -f "$work"
  touch "$work/.vorsk-complete"
  rm -rf "$cache/wine10-$version"
  mv "$work" "$cache/wine10-$version"
  echo "wine10-world.sh: Wine $version set up in $(($(date +%s) - started)) s" >&2
  echo "$cache/wine10-$version"
}

case "${1:-}" in
  setup)
    setup
    ;;
  run)
    shift
    root=$(setup)
    inside "$root" "$@"
    ;;
  *)
    echo "usage: $0 setup | run <command> [arguments...]" >&2
    exit 2
    ;;
esac
