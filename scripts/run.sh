#!/usr/bin/env bash
# The program's main job on Linux in one command: installs what the Linux
# build needs when something is missing, builds the program alone (not the
# tests), and runs the wizard headless over the example machine, an
# emulated 64-bit Windows 7 loaded from examples/. Options go to the
# program:
#   scripts/run.sh --auto                  scan, fix, print every page
#   scripts/run.sh                         asks at each page
#   scripts/run.sh --auto --ui-language 1031   the same for a German user
# and --machine FILE.reg, --drive X=DIR, --windows xp|vista|7|8|10,
# --arch x86|x64, --save FILE.reg, -debug, --offline DIR (see the README).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

ready=1
for tool in cmake ninja g++ pkg-config python3; do command -v "$tool" >/dev/null 2>&1 || ready=0; done
pkg-config --exists libpcre2-8 2>/dev/null || ready=0
pkg-config --exists hivex 2>/dev/null || ready=0
[ -f /usr/include/gtest/gtest.h ] || ready=0
[ -f /usr/include/nlohmann/json.hpp ] || ready=0
if [ "$ready" = 0 ]; then
  echo "run: installing the Linux build's packages (scripts/setup.sh --native)"
  bash scripts/setup.sh --native
fi

[ -f build/native/build.ninja ] || cmake --preset native >/dev/null
echo "run: building the program (build/native, target tallowmend)"
if ! cmake --build --preset native --target tallowmend >build/run-build.log 2>&1; then
  tail -30 build/run-build.log
  echo "run: the build failed; the whole output is in build/run-build.log" >&2
  exit 1
fi
exec build/native/src/app/entry/tallowmend "$@"
