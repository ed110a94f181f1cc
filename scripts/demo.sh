#!/usr/bin/env bash
# The program's main job, for real, under Wine: installs and builds what is
# missing, makes a fresh Wine prefix full of broken entries (start-up
# entries, COM classes, vendor keys, file types, an altered exe open
# command and Winlogon shell, a service with a missing rundll-named
# program...), and runs tallowmend.exe in it.
#   - with $DISPLAY set, the wizard opens in a window for you to click
#     through;
#   - without one, it runs under Xvfb and is driven through its pages
#     (welcome, results, success), with a screenshot of each.
# Usage: scripts/demo.sh [SHOT_DIR]   (default build/demo/shots)
# TALLOWMEND_DEMO_BUILD_DIR: an existing build of that preset to use instead
# of build/demo-<preset>.
# The wizard's log: build/demo/prefix/drive_c/Tallowmend/tallowmend.exe.log
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
shots=${1:-$root/build/demo/shots}

if [ -z "${TALLOWMEND_DEMO_INNER:-}" ]; then
  need_setup=0
  for tool in cmake ninja x86_64-w64-mingw32-g++-posix wine xvfb-run xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || need_setup=1
  done
  [ -f third_party/pcre2/CMakeLists.txt ] || need_setup=1
  # The 32-bit Wine: Debian's, or the WOW64 runtime setup builds.
  [ -x /usr/lib/wine/wine ] || bash scripts/wow64-runtime.sh --check || need_setup=1
  if [ "$need_setup" = 1 ]; then bash scripts/setup.sh; fi

  # The product is the 32-bit build; where no 32-bit Wine runs the same
  # code built for 64-bit Windows stands in for it.
  . scripts/wine-common.sh
  if wine32_runs; then preset=win32; else preset=win64; fi
  build=${TALLOWMEND_DEMO_BUILD_DIR:-$root/build/demo-$preset}
  if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset "$preset" -B "$build" >/dev/null; fi
  cmake --build "$build" -j2 --target tallowmend wizard_driver
  export TALLOWMEND_DEMO_INNER=1 TALLOWMEND_DEMO_BUILD=$build
  mkdir -p "$shots"
  if [ -n "${DISPLAY:-}" ]; then TALLOWMEND_DEMO_MODE=window exec bash "$0" "$(realpath "$shots")"; fi
  TALLOWMEND_DEMO_MODE=driven exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$(realpath "$shots")"
fi

build=$TALLOWMEND_DEMO_BUILD
E2E_PREFIX=$root/build/demo/prefix
E2E_WORK=$root/build/demo
E2E_SHOTS=$shots
E2E_DRIVER=$build/tests/e2e/wizard_driver.exe
. "$root/tests/e2e/lib.sh"
e2e_setup "$build/src/app/entry/tallowmend.exe"
mkdir -p "$E2E_WORK"
trap e2e_stop EXIT

echo "demo: creating a fresh Wine prefix with broken entries in $E2E_PREFIX"
e2e_fresh_prefix
e2e_seed
e2e_install "$build/src/app/entry/tallowmend.exe"

if [ "${TALLOWMEND_DEMO_MODE:-driven}" = window ]; then
  echo "demo: the wizard is open; click through it (it repairs only this demo prefix)"
  e2e_start -debug
  wait "$E2E_PID" || true
  echo "demo: log: $E2E_LOG"
  exit 0
fi

step() { echo "demo: $*"; }
e2e_start -debug
e2e_drive wait-window 60
e2e_drive wait-text "Welcome to Tallowmend" 10
e2e_shot 1-welcome
step "welcome page -> Next: checks and scan"
e2e_drive click "Next >"
e2e_drive wait-text "Scan completed" 300
e2e_shot 2-results
step "results:"
e2e_drive list | sed 's/^/  /'
e2e_drive click "Next >"
e2e_drive wait-text "Tallowmend successfully resolved your problem. " 120
e2e_shot 3-success
step "fixed; success page -> Finish"
e2e_drive click "Finish"
e2e_drive wait-closed 30
e2e_wait_exit 30
step "screenshots: $E2E_SHOTS"
step "log: $E2E_LOG"
