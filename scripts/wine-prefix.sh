#!/usr/bin/env bash
# Prepares the throwaway Wine prefix that the Windows tests run in (64-bit,
# or pure 32-bit with TALLOWMEND_WINEARCH=win32), and starts or stops its
# persistent wineserver.
#   wine-prefix.sh ensure   create the prefix once (fonts, no crash dialog)
#   wine-prefix.sh start    ensure, then keep a warm wineserver for the run
#   wine-prefix.sh stop     shut the wineserver down
set -euo pipefail
. "$(dirname "$0")/wine-common.sh"

ensure() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$(dirname "$WINEPREFIX")/.prefix.lock"
  flock 9
  # A prefix made without the 32-bit Wine has no 32-bit system folder, so
  # one made by another kind of Wine (or for the other width) is made again.
  if [ "$(cat "$WINEPREFIX/.tallowmend-ready" 2>/dev/null)" != "$TALLOWMEND_WINE32 $WINEARCH" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    # Every Wine call's output goes to /dev/null: the system processes it
    # starts inherit stdio and would hold a caller's pipe open forever.
    system_wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    system_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    # No debugger for an unhandled exception, in either view: the crashed
    # process ends at once instead of waiting for one that never attaches.
    for view in 64 32; do
      system_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d '' /f \
        /reg:$view </dev/null >/dev/null 2>&1
    done
    wineserver -w
    echo "$TALLOWMEND_WINE32 $WINEARCH" >"$WINEPREFIX/.tallowmend-ready"
  fi
  # Japanese texts: Tahoma has no such glyphs, and Windows links it to a
  # Japanese font for them; here the one fonts-ipafont-gothic installs.
  if [ ! -f "$WINEPREFIX/.tallowmend-fontlink" ]; then
    local face
    for face in Tahoma "Segoe UI"; do
      system_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f </dev/null >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.tallowmend-fontlink"
  fi
  flock -u 9
}

case "${1:-ensure}" in
  ensure) ensure ;;
  start)
    ensure
    (wineserver -p; system_wine cmd /c exit) </dev/null >/dev/null 2>&1
    ;;
  stop) wineserver -k </dev/null >/dev/null 2>&1 || true ;;
  *) echo "usage: $0 ensure|start|stop" >&2; exit 2 ;;
esac
