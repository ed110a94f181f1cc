#!/bin/bash
# Screenshots of the wizard's four pages under Wine: welcome, results after
# the scan, success after Next, and failed (a new scan after everything was
# fixed). The i686 program as a WOW64 process where a 32-bit Wine runs, the
# 64-bit build under wine64 otherwise. Usage: scripts/screenshots.sh [OUTDIR]
# Builds build/screenshots-win32 (or -win64) when its tallowmend.exe is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/screenshots}
export TALLOWMEND_WINEPREFIX=${TALLOWMEND_WINEPREFIX:-$root/build/screenshots-wine/prefix}
. "$root/scripts/wine-common.sh"
if wine32_runs; then arch=win32 toolchain=mingw-i686; else arch=win64 toolchain=mingw-x86_64; fi
build=${TALLOWMEND_SCREENSHOT_BUILD:-$root/build/screenshots-$arch}
exe=$build/src/app/entry/tallowmend.exe
mkdir -p "$out"
if [ ! -f "$exe" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target tallowmend
fi

xvfb-run -a -s "-screen 0 1024x768x24" bash -s "$root" "$exe" "$out" <<'INNER'
set -uo pipefail
root=$1 exe=$2 out=$3
source "$root/scripts/wine-common.sh"
"$root/scripts/wine-prefix.sh" start >/dev/null

find_window() {
  local id=""
  for _ in $(seq 1 60); do
    id=$(xdotool search --name '^Tallowmend$' 2>/dev/null | tail -1)
    [ -n "$id" ] && break
    sleep 0.5
  done
  echo "$id"
}
# The window of a wizard that was ended lingers a moment (longer for a
# 32-bit program under qemu): the next run must not find it.
wait_gone() {
  for _ in $(seq 1 60); do
    xdotool search --name '^Tallowmend$' >/dev/null 2>&1 || return 0
    sleep 0.5
  done
}
# Client coordinates: without a window manager there is no title bar, so the
# window's origin is its client area's.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep "${4:-1}"; }
shot() { sleep 1; import -window root "$out/$1.png"; echo "$out/$1.png"; }

runkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
run_wizard() {  # $1: name prefix for the shots
  env -u WINELOADER "$WINE" "$exe" &
  local pid=$! win
  win=$(find_window)
  if [ -z "$win" ]; then echo "the wizard window did not appear" >&2; return 1; fi
  shot "$1-1-welcome"
  click "$win" 397 348 8          # Next: checks and scan
  shot "$1-2-after-scan"          # results list, or the failed page when nothing was found
  click "$win" 397 348 3          # Next (the fix step) or Finish
  shot "$1-3-after-next"          # success page
  xdotool key --window "$win" Return; sleep 1   # Finish
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  wait_gone
}
# The failed page needs a scan that finds nothing, but Wine puts a few of its
# own empty keys back whenever a session starts. So: fix everything, then Back
# from the success page, which scans again in the same session. (The 32-bit
# program still lists a few there: Wine keeps keys both views share, such as
# Software\Policies, as links below Wow6432Node, which dangle once the 64-bit
# pass has removed the key; the 32-bit pass cannot open them, so it reports
# them as empty and cannot remove them. Windows has one key there.)
run_failed() {
  env -u WINELOADER "$WINE" "$exe" &
  local pid=$! win
  win=$(find_window)
  if [ -z "$win" ]; then echo "the wizard window did not appear" >&2; return 1; fi
  sleep 2                         # painted and ready, as the shot waits in run_wizard
  click "$win" 397 348 8          # Next: checks and scan
  click "$win" 397 348 3          # Next: the fix
  click "$win" 322 348 8          # Back: a new scan, which now finds nothing
  shot "failed-4-nothing-found"
  xdotool key --window "$win" Escape; sleep 1
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  wait_gone
}
# A broken start-up entry for the scanners to find, then none.
system_wine reg add "$runkey" /v ScreenshotGone /d 'C:\Gone\missing.exe' /f >/dev/null 2>&1
run_wizard broken
system_wine reg delete "$runkey" /v ScreenshotGone /f >/dev/null 2>&1
run_wizard clean
run_failed
wineserver -k 2>/dev/null || true
"$root/scripts/wine-prefix.sh" stop >/dev/null 2>&1 || true
INNER
