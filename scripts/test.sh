#!/usr/bin/env bash
# Runs every test suite: installs what is missing, builds the three presets
# and the packages, checks that the program builds reproducibly, runs the
# native suites, the Windows suites under Wine (inside one Xvfb session, with
# a warm wineserver) with the install test of the packages, and a short
# fuzzing pass. Prints each
# ctest summary; exits non-zero when anything fails.
#   scripts/test.sh            everything
#   FUZZ_SECONDS=0 scripts/test.sh   skip the fuzzing pass
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${FUZZ_SECONDS:-20}
failed=()

step() { printf '\n==== %s\n' "$*"; }
run() {
  local name=$1
  shift
  if ! "$@"; then failed+=("$name"); fi
}

step "setup"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

for preset in native win32 win64; do
  step "build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2; }; then
    failed+=("build $preset")
  fi
done

step "packages (setup program, portable zip, sums)"
run "packages" cmake --build --preset win32 --target package

step "reproducible build (tallowmend.exe built again from a clone, compared)"
run "reproducible build" ctest --preset win32 -L repro --output-on-failure

step "native tests (emulated machine)"
run "native tests" ctest --preset native -L unit

step "Windows tests under Wine"
# One Xvfb session for everything Wine does: the wineserver binds to the
# display of its first client.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  . scripts/wine-common.sh
  status=0
  scripts/wine-prefix.sh start || exit 1
  if ! wine32_runs; then
    echo "note: this kernel cannot execute 32-bit code, so the i686 test binaries are built and"
    echo "      checked but not run; the same suites run as the x86_64 build under wine64."
  fi
  echo "--- win32 (i686)"
  ctest --preset win32 -L wine || status=1
  echo "--- win64 (x86_64 under wine64)"
  ctest --preset win64 -L wine || status=1
  echo "--- end to end: the real wizard in a seeded prefix (win32 where it can run)"
  ctest --preset win32 -L e2e || status=1
  ctest --preset win64 -L e2e || status=1
  echo "--- packages: signed with a throwaway certificate, installed, started, scanned, uninstalled"
  ctest --preset win32 -L install --output-on-failure || status=1
  scripts/wine-prefix.sh stop
  exit $status
' || failed+=("Wine tests")

if [ "$fuzz_seconds" != 0 ] && [ -x scripts/fuzz.sh ]; then
  step "fuzzing (${fuzz_seconds}s per target)"
  run "fuzzing" bash scripts/fuzz.sh "$fuzz_seconds"
fi

step "result"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "all suites passed"
