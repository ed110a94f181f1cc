#!/usr/bin/env bash
# Installs every Debian package the builds and all tests need, builds the
# 32-bit half of Wine where it is missing (scripts/wow64-runtime.sh) and
# fetches PCRE2's Debian source for the mingw build. Safe to run again: it
# skips what is already there, so a warm machine spends a few seconds here.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
third="$root/third_party"

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev ca-certificates python3
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 fonts-wine curl
  xvfb xauth xdotool x11-utils imagemagick
  libpcre2-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev llvm libhivex-dev file
  nsis osslsigncode zip unzip fonts-ipafont-gothic
)

# --native: only what the Linux build of the program needs (scripts/run.sh).
native_only=0
if [ "${1:-}" = --native ]; then
  native_only=1
  packages=(build-essential cmake ninja-build pkg-config python3 libpcre2-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev libhivex-dev)
fi

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Every package above is amd64, so only amd64 indexes are read, whatever
# foreign architectures this machine has configured: an i386 index that a
# mirror serves broken cannot hold the setup up.
apt_=(apt-get -o APT::Architectures::=amd64)

# A mirror in the middle of a sync serves index files of the wrong size for a
# minute or two; retry, and after the last try go on with whatever indexes
# did arrive: the install below then fails loudly if a package is really
# out of reach.
apt_update() {
  local try
  for try in 1 2 3; do
    if sudo_ "${apt_[@]}" update -qq; then return 0; fi
    echo "setup: apt-get update failed (try $try), retrying" >&2
    sleep $((try * 10))
  done
  echo "setup: going on with the package indexes that did arrive" >&2
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  sudo_ "${apt_[@]}" install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit half of Wine, so that the i686 programs run as the WOW64
# processes they are on 64-bit Windows. Debian's own wine32:i386 is used
# where it is installed and runs; otherwise the same build is unpacked into
# build/wow64 and run under qemu user-mode emulation, which needs neither a
# kernel that runs 32-bit programs nor an i386 dpkg architecture.
# The Linux build alone (--native) needs no Wine.
if [ "$native_only" = 1 ]; then
  true
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "setup: using the installed 32-bit Wine"
else
  bash "$root/scripts/wow64-runtime.sh"
fi

# PCRE2 for mingw: Debian ships no cross build, so take Debian's own source
# package and build it inside the win32 tree (see cmake/Pcre2Mingw.cmake).
if [ "$native_only" = 0 ] && [ ! -f "$third/pcre2/CMakeLists.txt" ]; then
  echo "setup: fetching PCRE2 source package"
  if ! apt-cache showsrc pcre2 2>/dev/null | grep -q '^Package: pcre2'; then
    # Same mirror and key as the binary packages, source entries only.
    sudo_ tee /etc/apt/sources.list.d/tallowmend-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_update
  fi
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source --download-only -qq pcre2 >/dev/null && dpkg-source -x --no-check pcre2_*.dsc pcre2-src >/dev/null)
  mkdir -p "$third"
  rm -rf "$third/pcre2"
  mv "$tmp/pcre2-src" "$third/pcre2"
  rm -rf "$tmp"
fi
echo "setup: ready"
