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
. "$(cd "$(dirname "$0")" && pwd)/lib.sh"
export TALLOWMEND_WINEARCH=win32
e2e_begin "$0" "$@"
[ "$(pe_machine "$E2E_EXE")" = i386 ] || { e2e_log "the XP test needs the i686 program"; exit 2; }

e2e_log "prefix $E2E_PREFIX (pure 32-bit, Windows XP)"
e2e_must e2e_fresh_prefix
e2e_must e2e_wine winecfg -v winxp
[ "$(sed -n 's/^#arch=//p' "$E2E_PREFIX/system.reg" | head -n 1)" = win32 ] || e2e_fail "the prefix is not a 32-bit one"
[ -d "$E2E_PREFIX/drive_c/windows/syswow64" ] && e2e_fail "a 32-bit prefix has no SysWOW64"
e2e_install "$E2E_EXE"
sys32=$E2E_PREFIX/drive_c/windows/system32/rundll32.exe

# One case: RXP (a file) beside the program, a run through every page, then
# the system file compared with EXPECTED ("rxp" or "unchanged").
xp_run() {  # NAME RXP EXPECTED
  local name=$1 expected=$3 before
  cp "$2" "$E2E_EXE_DIR/rxp.dat"
  e2e_must e2e_wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v "E2EXpGone$name" \
    /d "C:\\E2E\\gone\\xp-$name.exe" /f
  before=$(sha256sum <"$sys32")
  e2e_start -debug
  e2e_must e2e_drive wait-window 60
  e2e_must e2e_drive wait-text "Welcome to Tallowmend" 10
  e2e_shot "$name-1-welcome"
  e2e_must e2e_drive click "Next >"
  e2e_must e2e_drive wait-text "Scan completed" 300
  e2e_must e2e_drive wait-enabled "Next >" 10
  e2e_drive list | grep -q "^Registry problems: " || e2e_fail "$name: the scan found nothing to fix"
  e2e_shot "$name-2-results"
  e2e_must e2e_drive click "Next >"
  e2e_must e2e_drive wait-text "Tallowmend successfully resolved your problem. " 120
  e2e_shot "$name-3-success"
  e2e_must e2e_drive key enter
  e2e_must e2e_drive wait-closed 30
  e2e_must e2e_wait_exit 30
  case $expected in
    rxp) cmp -s "$E2E_EXE_DIR/rxp.dat" "$sys32" || e2e_fail "$name: rundll32.exe was not restored from rxp.dat" ;;
    unchanged) [ "$(sha256sum <"$sys32")" = "$before" ] || e2e_fail "$name: rundll32.exe was replaced" ;;
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
n=$(grep -cE "Tallowmend ([^ ]+ )?started on 32-bit Windows" "$E2E_LOG")
[ "$n" -eq 2 ] || e2e_fail "the log holds $n start-ups on 32-bit Windows, 2 expected"
e2e_finish
