#!/usr/bin/env bash
# Runs one Windows test binary under Wine in the project's throwaway prefix
# (CMAKE_CROSSCOMPILING_EMULATOR of the win32 build).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-prefix.sh" ensure || exit 1
export WINEPREFIX=${TALLOWMEND_WINEPREFIX:-$(cd "$here/.." && pwd)/build/wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
