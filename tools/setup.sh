#!/usr/bin/env bash
# Makes a Debian 12 machine (as root) ready to build and test: cross compiler,
# Wine, Xvfb, nginx, GoogleTest sources and TinyXML's sources for the target.
# Idempotent: with everything present it does no network work.
set -euo pipefail
source "$(dirname "$0")/session.sh"
third="$vexil_root/third_party"
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-i686 wine wine64 wine32:i386 xvfb xdotool x11-utils
          fonts-nanum imagemagick nginx-light cmake make googletest dpkg-dev
          icoutils python3-pil python3-pytest python3-pytest-rerunfailures curl file cppcheck time
          openssl tinyproxy)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

updated=0
apt_update() {
  [ $updated -eq 1 ] && return 0
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  local src=/etc/apt/sources.list.d/vexil-debian.sources
  if [ ! -f "$src" ]; then
    cat >"$src" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  echo "setup: updating the package lists"
  # Third-party sources that this machine cannot reach only warn here.
  vexil_quietly apt-get update -qq || true
  updated=1
}

# A mirror in the middle of a sync can serve one architecture's security
# index stale; i386 packages then cannot match their amd64 twins, which came
# from it. Without the security suite both come from the release, which
# agrees with itself: those lists are kept apart from the system's.
install_without_security() {
  local lists="$third/apt-lists" parts="$third/apt-sources"
  rm -rf "$parts" && mkdir -p "$parts" "$lists/partial"
  for f in /etc/apt/sources.list.d/*.sources; do
    awk 'BEGIN { RS = ""; ORS = "\n\n" } !/debian-security/' "$f" >"$parts/$(basename "$f")"
  done
  local options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$parts" -o Dir::State::Lists="$lists")
  vexil_quietly apt-get "${options[@]}" update -qq || true
  vexil_quietly apt-get "${options[@]}" install -y -qq --no-install-recommends "$@"
}

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  echo "setup: installing ${#missing[@]} packages (about a minute)"
  if ! vexil_quietly apt-get install -y -qq --no-install-recommends "${missing[@]}" 2>/dev/null; then
    echo "setup: the mirror's lists disagree; installing from the release alone"
    install_without_security "${missing[@]}"
  fi
fi

if [ ! -f "$third/tinyxml/tinyxml.cpp" ]; then
  apt_update
  echo "setup: fetching TinyXML's sources"
  tmp=$(mktemp -d)
  (cd "$tmp" && vexil_quietly apt-get source -qq tinyxml)
  dir=$(find "$tmp" -maxdepth 1 -type d -name 'tinyxml-*' | head -n 1)
  [ -n "$dir" ] || { echo "setup: apt-get source tinyxml failed" >&2; exit 1; }
  mkdir -p "$third"
  rm -rf "$third/tinyxml"
  mv "$dir" "$third/tinyxml"
  rm -rf "$tmp"
fi

# Some kernels (paravirtualised guests among them) cannot run 32-bit code.
# There 32-bit Wine runs under qemu-user, registered for i386 ELF files.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if ! qemu-i386-static --version 2>/dev/null | grep -q 'version \(9\|1[0-9]\)'; then
    apt_update
    echo "setup: installing qemu-user, which runs 32-bit Wine on this kernel"
    vexil_quietly apt-get install -y -qq -t bookworm-backports qemu-user-static
  fi
  if ! installed gcc-multilib; then
    apt_update
    echo "setup: installing gcc-multilib"
    vexil_quietly apt-get install -y -qq gcc-multilib
  fi
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >/proc/sys/fs/binfmt_misc/register
  fi
  shim="$third/qemu"
  if [ ! -f "$shim/i686/libmmapfix.so" ] || [ "$vexil_root/tools/qemu/mmapfix.c" -nt "$shim/i686/libmmapfix.so" ]; then
    echo "setup: building Wine's mmap fix-up for qemu-user"
    mkdir -p "$shim/i686" "$shim/x86_64"
    gcc -m32 -O2 -shared -fPIC -o "$shim/i686/libmmapfix.so" "$vexil_root/tools/qemu/mmapfix.c"
    # 64-bit Wine processes get an empty library under the same name.
    echo 'int mmapfix_unused;' | gcc -x c -O2 -shared -fPIC -o "$shim/x86_64/libmmapfix.so" -
  fi
  /usr/lib/wine/wine --version >/dev/null
fi
