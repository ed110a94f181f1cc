#!/usr/bin/env bash
# Runs one Windows test binary under Wine in the project's throwaway prefix
# (CMAKE_CROSSCOMPILING_EMULATOR of the Windows builds): an i686 one as a
# WOW64 process through the 32-bit Wine, an x86_64 one under wine64.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
"$here/wine-prefix.sh" ensure || { echo "wine-run: the Wine prefix could not be made ready" >&2; exit 1; }

case $(pe_machine "$1") in
  amd64) exec env -u WINELOADER "$WINE64_LOADER" "$@" ;;
  *)
    if wine32_runs; then
      # Seen once in about two thousand starts: the emulated 32-bit loader
      # ended at once, with an error code and not one byte of output, before
      # the program ran (a test program always prints its header first).
      # Only that case is tried once more, and said so; a program that ran
      # and failed is never run again.
      out=$(mktemp) err=$(mktemp)
      trap 'rm -f "$out" "$err"' EXIT
      for try in 1 2; do
        env -u WINELOADER "$WINE" "$@" >"$out" 2>"$err"
        rc=$?
        if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$try" -eq 2 ]; then break; fi
        echo "wine-run: the 32-bit Wine did not start $1 (exit $rc, no output); starting it once more" >&2
      done
      cat "$out"
      cat "$err" >&2
      exit "$rc"
    fi
    # Test discovery asks for the list: an empty list registers no tests
    # instead of failing the whole run where 32-bit programs cannot run.
    for a in "$@"; do [ "$a" = --gtest_list_tests ] && exit 0; done
    echo "wine-run: no 32-bit Wine here (scripts/setup.sh builds one); $1 was not run" >&2
    exit 1
    ;;
esac
