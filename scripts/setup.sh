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
  nsis osslsigncode zip unzip fonts-ipafont-gothic
)

# --native: only what the Linux build of the program needs (scripts/run.sh).
native_only=0
if [ "${1:-}" = --native ]; then
  native_only=1
  packages=(build-essential cmake ninja-build pkg-config python3 libpcre2-dev googletest libgtest-dev libgmock-dev)
fi

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Whether this kernel runs 32-bit x86 programs at all: some (paravirtualised
# guests among them) have that switched off, and there the 32-bit Wine is
# useless, so neither it nor the i386 package indexes are fetched. The probe
# is the smallest i386 ELF program that exits with status 0.
kernel_runs_i386() {
  # In the project's own tree: /tmp may be mounted without exec rights.
  local probe="$root/build/.probe-i386"
  mkdir -p "$root/build"
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\061\333\270\001\000\000\000\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  return $status
}

if [ "$native_only" = 0 ] && ! kernel_runs_i386; then
  echo "setup: this kernel cannot run 32-bit programs; the Windows suites will run under wine64 only"
  kept=()
  for p in "${packages[@]}"; do [ "$p" = wine32:i386 ] || kept+=("$p"); done
  packages=("${kept[@]}")
fi

# A mirror in the middle of a sync serves index files of the wrong size for a
# minute or two; retry, and after the last try go on with whatever indexes
# did arrive: the install below then fails loudly if a package is really
# out of reach.
apt_update() {
  local try
  for try in 1 2 3 4; do
    if sudo_ apt-get update -qq; then return 0; fi
    echo "setup: apt-get update failed (try $try), retrying" >&2
    sleep $((try * 15))
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
  if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  if ! sudo_ apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null; then
    # The i386 half of a mirror can lag behind the amd64 half; without it the
    # 32-bit Wine cannot be installed, but everything else still can, and the
    # Windows suites then run as the 64-bit build under wine64 alone.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#missing[@]} ] || exit 1
    echo "setup: WARNING: wine32 cannot be installed from this mirror now; 32-bit Wine suites will not run" >&2
    sudo_ apt-get install -y -q --no-install-recommends "${rest[@]}" >/dev/null
  fi
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
