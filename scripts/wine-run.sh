#!/usr/bin/env bash
# Runs one Windows test binary under Wine in the project's throwaway prefix
# (CMAKE_CROSSCOMPILING_EMULATOR of the Windows builds).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
"$here/wine-prefix.sh" ensure || exit 1

case $(pe_machine "$1") in
  amd64) WINELOADER=$WINE64_LOADER exec "$WINE64_LOADER" "$@" ;;
  *)
    if wine32_runs; then exec wine "$@"; fi
    # Test discovery asks for the list: an empty list registers no tests
    # instead of failing the whole run on a kernel that cannot run them.
    for a in "$@"; do [ "$a" = --gtest_list_tests ] && exit 0; done
    echo "wine-run: this kernel cannot execute 32-bit code; $1 was not run" >&2
    exit 1
    ;;
esac
