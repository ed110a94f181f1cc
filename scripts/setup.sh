#!/usr/bin/env bash
# Installs every Debian package the two builds and all tests need, and fetches
# PCRE2's Debian source for the mingw build. Safe to run again: it skips what
# is already there, so a warm machine spends a few seconds here.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
third="$root/third_party"

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev ca-certificates python3
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine
  xvfb xauth xdotool x11-utils imagemagick
  libpcre2-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev llvm libhivex-dev file
)

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  sudo_ apt-get update -qq
  sudo_ apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# PCRE2 for mingw: Debian ships no cross build, so take Debian's own source
# package and build it inside the win32 tree (see cmake/Pcre2Mingw.cmake).
if [ ! -f "$third/pcre2/CMakeLists.txt" ]; then
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
    sudo_ apt-get update -qq
  fi
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source --download-only -qq pcre2 >/dev/null && dpkg-source -x --no-check pcre2_*.dsc pcre2-src >/dev/null)
  mkdir -p "$third"
  rm -rf "$third/pcre2"
  mv "$tmp/pcre2-src" "$third/pcre2"
  rm -rf "$tmp"
fi
echo "setup: ready"
