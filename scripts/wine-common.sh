# Sourced by the Wine scripts: one prefix, one loader choice, one place.
# The prefix lives in $TALLOWMEND_WINEPREFIX (default build/wine/prefix).
_tm_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TALLOWMEND_WINEPREFIX:-$_tm_root/build/wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
WINE64_LOADER=/usr/lib/wine/wine64
WINE32_LOADER=/usr/lib/wine/wine

# Some kernels (for instance paravirtualised guests) have 32-bit emulation
# switched off: the i386 Wine loader then fails with "Exec format error".
# Everything still works for 64-bit programs through wine64.
wine32_runs() {
  if [ -z "${TALLOWMEND_WINE32_RUNS:-}" ]; then
    if "$WINE32_LOADER" --version >/dev/null 2>&1; then TALLOWMEND_WINE32_RUNS=1; else TALLOWMEND_WINE32_RUNS=0; fi
    export TALLOWMEND_WINE32_RUNS
  fi
  [ "$TALLOWMEND_WINE32_RUNS" = 1 ]
}

# The command that runs a 32-bit Windows program as a WOW64 process in the
# 64-bit prefix, as 64-bit Windows runs the product: Debian's 32-bit Wine
# where this kernel runs it, else a runtime built with shared/wow64-kit into
# build/wow64 (or $TALLOWMEND_WOW64). Fails when there is neither.
wow64_loader() {
  if wine32_runs; then command -v wine; return; fi
  local kit=${TALLOWMEND_WOW64:-$_tm_root/build/wow64/wow64}
  [ -x "$kit" ] && echo "$kit"
}

# The loader for system tools (wineboot, reg, cmd): 32-bit capable where it
# can run, wine64 otherwise.
system_wine() {
  if wine32_runs; then wine "$@"; else WINELOADER=$WINE64_LOADER "$WINE64_LOADER" "$@"; fi
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
