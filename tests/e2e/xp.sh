#!/usr/bin/env bash
# The Windows XP restoration, for real: the i686 wizard in a pure 32-bit
# prefix (WINEARCH=win32) set to Windows XP. The fix step copies "rxp.dat"
# over the system folder's rundll32.exe with CopyFileW: first with a copy
# that is no Windows program (the system file must stay as it is), then
# with a valid one (it must be the system file afterwards). A broken
# start-up entry is seeded before each run, so the scan finds something and
# Next leads to the fix step; a screenshot is taken of every page.
#   xp.sh TALLOWMEND_EXE WIZARD_DRIVER_EXE WORKDIR
# Exit 0 passed, 1 failed, 77 skipped (no 32-bit Wine here).
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 TALLOWMEND_EXE WIZARD_DRIVER_EXE WORKDIR" >&2; exit 2; }
exe=$(realpath "$1") driver=$(realpath "$2") work=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

mkdir -p "$work"
E2E_WORK=$(realpath "$work")
E2E_PREFIX=$E2E_WORK/prefix
E2E_SHOTS=${E2E_SHOTS:-$E2E_WORK/shots}
E2E_DRIVER=$driver
. "$here/lib.sh"
e2e_setup "$exe" || exit $?
[ "$(pe_machine "$exe")" = i386 ] || { e2e_log "the XP test needs the i686 program"; exit 2; }
# Only the 32-bit loader runs a 32-bit prefix.
export WINEARCH=win32
E2E_LOADER=$WINE32_LOADER E2E_WOW64=0
export WINELOADER=$E2E_LOADER
rm -rf "$E2E_SHOTS" "$E2E_WORK/wizard.out"

failures=0
fail() { e2e_log "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  [ -n "${E2E_PID:-}" ] && kill "$E2E_PID" 2>/dev/null
  e2e_stop
  [ -f "${E2E_LOG:-}" ] && cp "$E2E_LOG" "$E2E_WORK/"
  if [ "$failures" -gt 0 ]; then e2e_log "$failures check(s) failed; screenshots in $E2E_SHOTS, prefix kept"; exit 1; fi
  rm -rf "$E2E_PREFIX"
  e2e_log "passed; screenshots in $E2E_SHOTS"
  exit 0
}
must() { "$@" || { fail "step failed: $*"; finish; }; }

xp_prefix() {
  WINEPREFIX=$E2E_PREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$E2E_PREFIX"
  timeout 300 "$E2E_LOADER" wineboot -i </dev/null >/dev/null 2>&1 || return 1
  wineserver -w
  mkdir -p "$E2E_PREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf "$E2E_PREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  e2e_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  e2e_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1
  e2e_wine winecfg -v winxp >/dev/null 2>&1 || return 1
  wineserver -w
  (wineserver -p; e2e_wine cmd /c exit) </dev/null >/dev/null 2>&1
}

e2e_log "prefix $E2E_PREFIX (pure 32-bit, Windows XP)"
must xp_prefix
[ "$(sed -n 's/^#arch=//p' "$E2E_PREFIX/system.reg" | head -n 1)" = win32 ] || fail "the prefix is not a 32-bit one"
[ -d "$E2E_PREFIX/drive_c/windows/syswow64" ] && fail "a 32-bit prefix has no SysWOW64"
e2e_install "$exe"
sys32=$E2E_PREFIX/drive_c/windows/system32/rundll32.exe

# One case: RXP (a file) beside the program, a run through every page, then
# the system file compared with EXPECTED ("rxp" or "unchanged").
xp_run() {  # NAME RXP EXPECTED
  local name=$1 expected=$3 before
  cp "$2" "$E2E_EXE_DIR/rxp.dat"
  must e2e_wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v "E2EXpGone$name" \
    /d "C:\\E2E\\gone\\xp-$name.exe" /f
  before=$(sha256sum <"$sys32")
  e2e_start -debug
  must e2e_drive wait-window 60
  must e2e_drive wait-text "Welcome to Tallowmend" 10
  e2e_shot "$name-1-welcome"
  must e2e_drive click "Next >"
  must e2e_drive wait-text "Scan completed" 300
  must e2e_drive wait-enabled "Next >" 10
  e2e_drive list | grep -q "^Registry problems: " || fail "$name: the scan found nothing to fix"
  e2e_shot "$name-2-results"
  must e2e_drive click "Next >"
  must e2e_drive wait-text "Tallowmend successfully resolved your problem. " 120
  e2e_shot "$name-3-success"
  must e2e_drive key enter
  must e2e_drive wait-closed 30
  must e2e_wait_exit 30
  case $expected in
    rxp) cmp -s "$E2E_EXE_DIR/rxp.dat" "$sys32" || fail "$name: rundll32.exe was not restored from rxp.dat" ;;
    unchanged) [ "$(sha256sum <"$sys32")" = "$before" ] || fail "$name: rundll32.exe was replaced" ;;
  esac
}

printf 'not a Windows program\r\n' >"$E2E_WORK/rxp-invalid.dat"
# The smallest file that passes for an i386 image, as run.sh's stand-in.
python3 - "$E2E_WORK/rxp-valid.dat" <<'PY'
import struct, sys
head = bytearray(b"MZ" + bytes(58) + struct.pack("<I", 64)) + b"PE\0\0" + struct.pack("<H", 0x14C)
open(sys.argv[1], "wb").write(bytes(head) + b"e2e stand-in for the XP rundll32".ljust(128, b"."))
PY
xp_run invalid "$E2E_WORK/rxp-invalid.dat" unchanged
xp_run valid "$E2E_WORK/rxp-valid.dat" rxp

# Both sessions: a 32-bit process on 32-bit Windows, never a WOW64 one.
n=$(grep -c "Tallowmend started on 32-bit Windows" "$E2E_LOG")
[ "$n" -eq 2 ] || fail "the log holds $n start-ups on 32-bit Windows, 2 expected"
finish
