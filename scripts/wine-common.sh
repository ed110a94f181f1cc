# Sourced by the Wine scripts: one prefix, one loader choice, one place.
# The prefix lives in $TALLOWMEND_WINEPREFIX (default build/wine/prefix); it
# is a 64-bit one unless TALLOWMEND_WINEARCH=win32 asks for a pure 32-bit
# one (Windows XP).
_tm_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TALLOWMEND_WINEPREFIX:-$_tm_root/build/wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=${TALLOWMEND_WINEARCH:-win64}

# The 32-bit half of Wine: Debian's wine32:i386 where it is installed and
# runs, otherwise the private WOW64 runtime (scripts/wow64-runtime.sh, the
# i386 Wine under qemu-user). Either way a 32-bit program in the 64-bit
# prefix is a real WOW64 process.
#   WINE           runs any Windows program, 32- or 64-bit, in the prefix
#   WINE32_LOADER  the 32-bit loader alone (a WINEARCH=win32 prefix needs it)
#   WINE64_LOADER  runs 64-bit programs
# The server is /usr/bin/wineserver in every case: one build serves both.
TALLOWMEND_WOW64=${TALLOWMEND_WOW64_DIR:-$_tm_root/build/wow64}
# Which 32-bit Wine runs here, decided once and handed to child scripts:
# "wine32" (Debian's), "qemu" (the private runtime) or "none".
if [ -z "${TALLOWMEND_WINE32:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then TALLOWMEND_WINE32=wine32
  elif [ -f "$TALLOWMEND_WOW64/.ready" ] && "$TALLOWMEND_WOW64/wine32" --version >/dev/null 2>&1; then
    TALLOWMEND_WINE32=qemu
  else TALLOWMEND_WINE32=none; fi
  export TALLOWMEND_WINE32
fi
case $TALLOWMEND_WINE32 in
  wine32) WINE=/usr/lib/wine/wine WINE32_LOADER=/usr/lib/wine/wine WINE64_LOADER=/usr/lib/wine/wine64 ;;
  qemu) WINE=$TALLOWMEND_WOW64/wow64 WINE32_LOADER=$TALLOWMEND_WOW64/wine32 WINE64_LOADER=$TALLOWMEND_WOW64/wow64 ;;
  # 64-bit programs only: the i686 test programs are built but not run.
  *) WINE=/usr/lib/wine/wine64 WINE32_LOADER= WINE64_LOADER=/usr/lib/wine/wine64 ;;
esac

wine32_runs() { [ "$TALLOWMEND_WINE32" != none ]; }

# Wine for system tools (wineboot, reg, cmd) and test programs alike: only
# the 32-bit loader runs a 32-bit prefix. A loader chosen by a caller's
# WINELOADER could be the wrong width.
system_wine() {
  if [ "$WINEARCH" = win32 ]; then env -u WINELOADER "$WINE32_LOADER" "$@"; else env -u WINELOADER "$WINE" "$@"; fi
}

# PE machine of an executable: i386, amd64 or unknown.
pe_machine() {
  local off
  off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$off" ] || { echo unknown; return; }
  case $(od -An -tx2 -j$((off + 4)) -N2 "$1" 2>/dev/null | tr -d ' ') in
    014c) echo i386 ;;
    8664) echo amd64 ;;
    *) echo unknown ;;
  esac
}
