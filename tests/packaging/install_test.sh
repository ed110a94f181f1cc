#!/usr/bin/env bash
# What a Windows user does with the setup program, in a fresh 64-bit prefix
# where setup and the program run as WOW64 processes: a silent install; the
# Start Menu shortcut starts the wizard, in German for a German user (a
# screenshot of its welcome page); the program's own scan finds nothing
# about its install; the silent uninstall removes every file, key and
# shortcut setup made (the prefix's registry and files before the install
# and after the uninstall are the same, but for what Wine itself changes
# whenever it starts, measured here on an idle round first).
#   install_test.sh VERSION PACKAGES_DIR WORKDIR WIZARD_DRIVER_EXE
# Exit 0 passed, 1 failed, 77 skipped (no 32-bit Wine on this machine).
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 VERSION PACKAGES_DIR WORKDIR WIZARD_DRIVER_EXE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# The wineserver binds to the display of its first client: one display for all.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"; fi

version=$1 packages=$(realpath "$2") driver=$(realpath "$4")
mkdir -p "$3"
work=$(realpath "$3")
export TALLOWMEND_WINEPREFIX=$work/prefix
. "$root/scripts/wine-common.sh"
# The one Wine that runs 32-bit programs here as WOW64 processes (its
# WINEDLLOVERRIDES also keep the shortcuts setup makes off the host's menus).
wine32_runs || { echo "skipped: no 32-bit Wine here (scripts/setup.sh builds the WOW64 runtime)"; exit 77; }
unset WINELOADER

log() { printf 'install: %s\n' "$*" >&2; }
failures=0
fail() { log "FAIL: $*"; failures=$((failures + 1)); }
must() { "$@" || { fail "step failed: $*"; finish; }; }
w() { timeout 600 "$WINE" "$@" </dev/null; }
settle() { timeout 120 wineserver -w; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
state() { python3 "$here/prefix_state.py" capture "$WINEPREFIX" "$work/$1.json"; }
finish() {
  timeout 30 wineserver -k 2>/dev/null
  if [ "$failures" -gt 0 ]; then log "$failures check(s) failed; prefix kept in $WINEPREFIX"; exit 1; fi
  rm -rf "$WINEPREFIX"
  log "passed; screenshot in $work/shots"
  exit 0
}

setup=$packages/tallowmend-$version-setup.exe
[ -f "$setup" ] || { log "no $setup: build the packages first"; exit 1; }
rm -rf "$work/shots" "$WINEPREFIX"
mkdir -p "$work/shots"
program_files="C:\\Program Files (x86)\\Tallowmend"
inst=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Tallowmend
shortcut_w="C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tallowmend.lnk"
shortcut=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tallowmend.lnk

# ---- a fresh prefix: fonts for the screenshot, no crash debugger
log "fresh prefix $WINEPREFIX ($WINE)"
must w wineboot -i >/dev/null 2>&1
settle
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
for v in 64 32; do
  w reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f "/reg:$v" >/dev/null 2>&1
done
w reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
for face in Tahoma "Segoe UI"; do
  w reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
    /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1
done
settle

# ---- what Wine changes by itself: one idle round with what the checked
# round has too: a console, a 32-bit window in German and one in English
# (Wine rewrites its font registry whenever the locale of a window differs
# from the last one's) and a restart. One window comes before the round:
# Wine records the fonts copied into the prefix at the first.
window_32() {  # [VAR=VALUE...]: a 32-bit program with a window, until it shows
  timeout 120 env "$@" "$WINE" 'C:\windows\syswow64\notepad.exe' </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 60); do xdotool search --name Notepad >/dev/null 2>&1 && break; sleep 0.5; done
  timeout 30 wineserver -k
  wait
}
window_32
settle
state noise-before
w cmd /c exit >/dev/null 2>&1
window_32 LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8
window_32
w wineboot -r >/dev/null 2>&1
settle
state noise-after
state before

# ---- silent install
log "installing $(basename "$setup") /S"
must w "$(winpath "$setup")" /S
settle
for f in tallowmend.exe uninstall.exe README.txt THIRD-PARTY-LICENSES.txt \
         German.lng French.lng Spanish.lng Russian.lng Japanese.lng; do
  [ -f "$inst/$f" ] || fail "not installed: $program_files\\$f"
done
cmp -s "$inst/tallowmend.exe" <(unzip -p "$packages/tallowmend-$version-portable.zip" "tallowmend-$version/tallowmend.exe") ||
  fail "the installed program is not the one in the portable zip"
[ -f "$shortcut" ] || fail "no Start Menu shortcut $shortcut_w"
entry=$(w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallowmend' /reg:32 2>/dev/null | tr -d '\r')
printf '%s\n' "$entry" >"$work/uninstall-entry.txt"
expect_value() {  # NAME DATA
  grep -qF -- "    $1    REG_SZ    $2" <<<"$entry" || fail "uninstall entry: $1 is not '$2'"
}
expect_value DisplayName "Tallowmend"
expect_value DisplayVersion "$version"
expect_value Publisher "Tallowmend"
expect_value InstallLocation "$program_files"
expect_value DisplayIcon "$program_files\\tallowmend.exe,0"
expect_value UninstallString "\"$program_files\\uninstall.exe\""
if [ -f "$packages/throwaway-cert.pem" ]; then
  for f in tallowmend.exe uninstall.exe; do
    osslsigncode verify -CAfile "$packages/throwaway-cert.pem" -in "$inst/$f" 2>&1 | grep -q "Signature verification: ok" ||
      fail "$f is installed unsigned though the setup program is signed"
  done
fi

# ---- the shortcut starts the wizard, in the language of a German user
log "starting the wizard through $shortcut_w"
timeout 60 env LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$WINE" start "$shortcut_w" </dev/null >/dev/null 2>&1
if w "$driver" wait-window 60 && w "$driver" wait-text "Willkommen bei Tallowmend" 30; then
  sleep 1
  import -window root "$work/shots/shortcut-welcome-de.png" 2>/dev/null
  w "$driver" key escape >/dev/null
  w "$driver" wait-closed 30 || fail "the wizard did not end on Esc"
else
  fail "the shortcut did not start the wizard in German"
  w "$driver" show >&2
fi
settle

# ---- the program's own scan finds nothing about its own install
log "scanning with the installed program"
timeout 900 "$WINE" "$program_files\\tallowmend.exe" -debug </dev/null >/dev/null 2>&1 &
pid=$!
must w "$driver" wait-window 60
must w "$driver" click "Next >"
must w "$driver" wait-text "Scan completed" 600
w "$driver" list | tr -d '\r' >"$work/results.txt"
w "$driver" key escape >/dev/null
w "$driver" answer yes "Solving process is not finished yet. Are you sure you want to exit?" 30 >/dev/null
wait "$pid"
settle
if [ -f "$inst/tallowmend.exe.log" ]; then
  tr -d '\r' <"$inst/tallowmend.exe.log" >"$work/scan.log"
  # The installed 32-bit program on 64-bit Windows, with the package's version.
  grep -q " Tallowmend $version started on 64-bit Windows$" "$work/scan.log" ||
    fail "the log does not start with version $version on 64-bit Windows (another version, or not a WOW64 process): $(head -n 1 "$work/scan.log")"
  own=$(grep -v " Tallowmend [^ ]* started on " "$work/scan.log" | grep -i -E "tallowmend|Program Files \(x86\)\\\\Tallowmend" || true)
  [ -z "$own" ] || fail "the scan reports the program's own install:"$'\n'"$own"
  # The log is the program's, written beside it at this test's request; an
  # uninstaller leaves what the program wrote.
  rm -f "$inst/tallowmend.exe.log"
else
  fail "the scan wrote no log"
fi

# ---- silent uninstall: it runs from a copy of itself in the user's Temp
# folder and returns at once; that copy is deleted at the next restart,
# which Wine performs here. The emptied folder it ran in stays: Wine
# processes the two deletions in the order that leaves it, and it is the
# user's Temp folder, not the install.
log "uninstalling"
must w "$program_files\\uninstall.exe" /S
for _ in $(seq 1 600); do [ -e "$inst/uninstall.exe" ] || break; sleep 0.1; done
settle
w wineboot -r >/dev/null 2>&1
settle
state after
python3 "$here/prefix_state.py" changes "$work/before.json" "$work/after.json" \
  --ignore "$work/noise-before.json" "$work/noise-after.json" |
  grep -v -E '^file \+ users/[^/]+/Temp/~nsu[^/]*\.tmp/$' |
  # Wine's record of its own bitmap fonts for the 32-bit view, which it
  # writes when a window's locale differs from the one before, not always
  # in the idle round; setup installs no font.
  grep -v -F 'system.reg + [Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Fonts]' >"$work/left-behind.txt"
[ -s "$work/left-behind.txt" ] && fail "the uninstall left behind or changed:"$'\n'"$(cat "$work/left-behind.txt")"
finish
