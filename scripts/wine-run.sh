#!/usr/bin/env bash
# Runs one Windows test binary under Wine in the project's throwaway prefix
# (CMAKE_CROSSCOMPILING_EMULATOR of the Windows builds): an i686 one as a
# WOW64 process through the 32-bit Wine, an x86_64 one under wine64.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
"$here/wine-prefix.sh" ensure || exit 1

case $(pe_machine "$1") in
  amd64) exec env -u WINELOADER "$WINE64_LOADER" "$@" ;;
  *)
    if wine32_runs; then exec env -u WINELOADER "$WINE" "$@"; fi
    # Test discovery asks for the list: an empty list registers no tests
    # instead of failing the whole run where 32-bit programs cannot run.
    for a in "$@"; do [ "$a" = --gtest_list_tests ] && exit 0; done
    echo "wine-run: no 32-bit Wine here (scripts/setup.sh builds one); $1 was not run" >&2
    exit 1
    ;;
esac
