#!/usr/bin/env bash
# Builds the scan engine's and the UI thread-marshalling tests natively with
# ThreadSanitizer and runs them; any reported race fails the run.
#   scripts/tsan.sh            build/tsan, g++
#   CXX=clang++ CC=clang scripts/tsan.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TSAN_BUILD_DIR:-build/tsan}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLOWMEND_SANITIZE=thread -DTALLOWMEND_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target scan_tests ui_tests

# halt_on_error: the first race ends the binary with a non-zero status.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
status=0
for t in ui_tests scan_tests; do
  echo "--- $t under ThreadSanitizer"
  "$build/tests/$t" --gtest_brief=1 || status=1
done
exit $status
