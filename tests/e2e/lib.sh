# Sourced by tests/e2e/run.sh and scripts/demo.sh: a fresh Wine prefix
# seeded with broken entries, the wizard started in it, screenshots.
# Callers set E2E_PREFIX (the prefix folder) before e2e_setup.
_e2e_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_e2e_root=$(cd "$_e2e_here/../.." && pwd)

e2e_log() { printf 'e2e: %s\n' "$*" >&2; }

# e2e_setup EXE: picks the loader for the program's machine. i686 programs
# need the 32-bit Wine (Debian's or the WOW64 runtime); where there is none
# the caller is told with status 77.
e2e_setup() {
  export TALLOWMEND_WINEPREFIX=$E2E_PREFIX
  # shellcheck source=../../scripts/wine-common.sh
  . "$_e2e_root/scripts/wine-common.sh"
  case $(pe_machine "$1") in
    amd64) E2E_LOADER=$WINE64_LOADER E2E_WOW64=0 E2E_OWN_VIEW=64 ;;
    i386)
      if ! wine32_runs; then
        e2e_log "no 32-bit Wine here (scripts/setup.sh builds one): $1 is not run"
        return 77
      fi
      # A 32-bit program in a 64-bit prefix: the WOW64 case the product is
      # for; in a pure 32-bit prefix, 32-bit Windows.
      if [ "$WINEARCH" = win32 ]; then E2E_LOADER=$WINE32_LOADER E2E_WOW64=0; else E2E_LOADER=$WINE E2E_WOW64=1; fi
      E2E_OWN_VIEW=32 ;;
    *) e2e_log "not a Windows program: $1"; return 1 ;;
  esac
  export WINELOADER=$E2E_LOADER
}

# e2e_begin SCRIPT TALLOWMEND_EXE WIZARD_DRIVER_EXE WORKDIR: the start of a
# test script. The wineserver binds to the display of its first client, so
# everything runs inside one display: the script's own Xvfb when the caller
# has none. Sets E2E_EXE, E2E_DRIVER, E2E_WORK, E2E_PREFIX, E2E_SHOTS and the
# loader; exits 77 where the program cannot run.
e2e_begin() {
  local script=$1
  shift
  [ $# -eq 3 ] || { echo "usage: $script TALLOWMEND_EXE WIZARD_DRIVER_EXE WORKDIR" >&2; exit 2; }
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$script" "$@"
  fi
  E2E_EXE=$(realpath "$1")
  E2E_DRIVER=$(realpath "$2")
  mkdir -p "$3"
  E2E_WORK=$(realpath "$3")
  E2E_PREFIX=$E2E_WORK/prefix
  E2E_SHOTS=${E2E_SHOTS:-$E2E_WORK/shots}
  e2e_setup "$E2E_EXE" || exit $?
  rm -rf "$E2E_SHOTS" "$E2E_WORK/wizard.out"
}

# A check that failed: counted, and the run goes on.
e2e_failures=0
e2e_fail() { e2e_log "FAIL: $*"; e2e_failures=$((e2e_failures + 1)); }
# A step that must work for the run to go on.
e2e_must() { "$@" || { e2e_fail "step failed: $*"; e2e_finish; }; }
# The end of a test script: the wizard and the server stopped, the log kept;
# a passing run's prefix (hundreds of MB of nothing to look at) removed.
e2e_finish() {
  [ -n "${E2E_PID:-}" ] && kill "$E2E_PID" 2>/dev/null
  e2e_stop
  [ -f "${E2E_LOG:-}" ] && cp "$E2E_LOG" "$E2E_WORK/"
  if [ "$e2e_failures" -gt 0 ]; then
    e2e_log "$e2e_failures check(s) failed; screenshots in $E2E_SHOTS, prefix kept"
    exit 1
  fi
  rm -rf "$E2E_PREFIX"
  e2e_log "passed; screenshots in $E2E_SHOTS"
  exit 0
}

# Wine with output kept away from the caller's pipes: the system processes
# a first call starts inherit its stdio and would hold them open.
e2e_wine() { "$E2E_LOADER" "$@" </dev/null; }

# e2e_fresh_prefix: a new prefix (fonts, no crash dialog; 64-bit unless
# TALLOWMEND_WINEARCH=win32), then a wineserver kept warm in the current
# display.
e2e_fresh_prefix() {
  WINEPREFIX=$E2E_PREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$E2E_PREFIX"
  timeout 300 "$_e2e_root/scripts/wine-prefix.sh" ensure || { e2e_log "prefix creation failed"; return 1; }
  (wineserver -p; e2e_wine cmd /c exit) </dev/null >/dev/null 2>&1
}

e2e_stop() { WINEPREFIX=$E2E_PREFIX timeout 30 wineserver -k >/dev/null 2>&1 || true; }

# e2e_reg VIEW ARGS...: reg.exe with the registry as a program of that view
# sees it. In a WOW64 run the 32-bit view is the wizard's own: the 32-bit
# reg.exe without a view flag. Wine's 64-bit reg with /reg:32 differs from
# Windows 7 below Classes: it writes new keys into Classes\Wow6432Node,
# where a 32-bit program opens them by name but never enumerates them.
e2e_reg() {
  local view=$1
  shift
  if [ "$view" = 32 ] && [ "$E2E_WOW64" = 1 ]; then
    timeout 60 "$E2E_LOADER" 'C:\windows\syswow64\reg.exe' "$@" </dev/null
  else
    timeout 60 "$E2E_LOADER" reg "$@" "/reg:$view" </dev/null
  fi
}

e2e_reg_import() {  # FILE VIEW
  local out
  if ! out=$(e2e_reg "$2" import "$(winepath_w "$1")" 2>&1); then
    e2e_log "reg import $1 /reg:$2 failed: $out"
    return 1
  fi
}

winepath_w() { printf 'Z:%s' "${1//\//\\}"; }

# e2e_seed: files on drive C: and broken entries with healthy twins in every
# area the scanners and the setting checks look at, in both registry views.
e2e_seed() {
  local c=$E2E_PREFIX/drive_c tmp
  mkdir -p "$c/E2E/here"
  for f in present.exe present.dll present.ttf menuext.htm; do printf 'e2e\n' >"$c/E2E/here/$f"; done
  local user
  for user in "$c"/users/*/; do
    [ "$(basename "$user")" = Public ] && continue
    mkdir -p "$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/E2E Here Folder"
  done
  tmp=$(mktemp -d)
  for v in 64 32; do
    sed "s/@V@/$v/g" "$_e2e_here/seed/view.reg" >"$tmp/view$v.reg"
    e2e_reg_import "$tmp/view$v.reg" "$v" || { rm -rf "$tmp"; return 1; }
  done
  rm -rf "$tmp"
  e2e_reg_import "$_e2e_here/seed/shared.reg" 64 || return 1
  e2e_reg_import "$_e2e_here/seed/settings.reg" "$E2E_OWN_VIEW" || return 1
}

# e2e_install EXE: the program goes into the prefix, so its log lands there
# and no rundll32 copies sit beside it.
e2e_install() {
  E2E_EXE_DIR=$E2E_PREFIX/drive_c/Tallowmend
  mkdir -p "$E2E_EXE_DIR"
  cp "$1" "$E2E_EXE_DIR/tallowmend.exe"
  E2E_LOG=$E2E_EXE_DIR/tallowmend.exe.log
}

# e2e_start ARGS...: starts the wizard in the background; E2E_PID.
e2e_start() {
  "$E2E_LOADER" "$E2E_EXE_DIR/tallowmend.exe" "$@" </dev/null >>"$E2E_WORK/wizard.out" 2>&1 &
  E2E_PID=$!
}

# e2e_wait_exit SECONDS: the wizard's process ends by itself.
e2e_wait_exit() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$E2E_PID" 2>/dev/null || { wait "$E2E_PID" 2>/dev/null; return 0; }
    sleep 0.1
  done
  e2e_log "the wizard did not end within $1 s"
  kill "$E2E_PID" 2>/dev/null
  return 1
}

# e2e_drive COMMAND ARGS...: one step of the driver, bounded in time.
e2e_drive() { timeout 400 "$E2E_LOADER" "$E2E_DRIVER" "$@" </dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# e2e_shot NAME: the whole screen once the window has painted.
e2e_shot() {
  mkdir -p "$E2E_SHOTS"
  sleep 0.5
  import -window root "$E2E_SHOTS/$1.png" 2>/dev/null || e2e_log "screenshot $1 failed"
}

# e2e_export DIR: hklm.reg (64-bit view, Wow6432Node included) and hku.reg.
e2e_export() {
  mkdir -p "$1"
  timeout 120 "$E2E_LOADER" reg export HKLM "$(winepath_w "$1/hklm.reg")" /y /reg:64 </dev/null >/dev/null 2>&1 &&
    timeout 120 "$E2E_LOADER" reg export HKU "$(winepath_w "$1/hku.reg")" /y </dev/null >/dev/null 2>&1
}
