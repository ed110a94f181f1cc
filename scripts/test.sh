#!/usr/bin/env bash
# Runs every test suite: installs what is missing (the WOW64 runtime among
# it), builds the native and win32 presets and the packages, checks that the
# program builds reproducibly, runs the native suites, the i686 Windows
# suites, end-to-end tests and the install test of the packages under Wine
# as WOW64 processes (inside one Xvfb session, with a warm wineserver), and
# a short fuzzing pass. Prints each ctest summary and the WOW64 counts;
# exits non-zero when anything fails.
#   scripts/test.sh            everything
#   FUZZ_SECONDS=0 scripts/test.sh   skip the fuzzing pass
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${FUZZ_SECONDS:-20}
failed=()

step() { printf '\n==== %s (at %d s)\n' "$*" "$SECONDS"; }
run() {
  local name=$1
  shift
  if ! "$@"; then failed+=("$name"); fi
}

step "setup"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

for preset in native win32; do
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

step "Windows tests under Wine: the i686 programs as WOW64 processes"
# One Xvfb session for everything Wine does: the wineserver binds to the
# display of its first client. Each ctest run leaves a JUnit file for the
# summary.
summary=$root/build/wine-summary
rm -rf "$summary"
mkdir -p "$summary"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  . scripts/wine-common.sh
  summary=$1
  if ! wine32_runs; then
    echo "no 32-bit Wine here: scripts/setup.sh builds the WOW64 runtime (scripts/wow64-runtime.sh)"
    exit 1
  fi
  status=0
  scripts/wine-prefix.sh start || exit 1
  echo "--- win32 suites (i686 programs as WOW64 processes; 32-bit Wine: $TALLOWMEND_WINE32)"
  ctest --preset win32 -L wine --output-junit "$summary/suites.xml" || status=1
  echo "--- end to end: the real i686 wizard (WOW64 in a 64-bit prefix; Windows XP in a 32-bit one)"
  ctest --preset win32 -L e2e --output-junit "$summary/e2e.xml" || status=1
  echo "--- packages: signed with a throwaway certificate, installed, started, scanned, uninstalled"
  ctest --preset win32 -L install --output-on-failure --output-junit "$summary/install.xml" || status=1
  scripts/wine-prefix.sh stop
  exit $status
' bash "$summary" || failed+=("Wine tests")
# Counts for the summary; and the i686 processes must really have been
# WOW64 processes: a test program that found itself otherwise skips its
# two-view cases and says so, and none may have.
TALLOWMEND_WINE32_KIND=$(. scripts/wine-common.sh && echo "$TALLOWMEND_WINE32") \
  python3 - "$summary" >"$summary/counts.txt" <<'PY' || failed+=("WOW64 check")
import os, sys, xml.etree.ElementTree as ET
kind = {"qemu": "the WOW64 runtime (32-bit Wine under qemu-user)",
        "wine32": "Debian's 32-bit Wine"}.get(os.environ["TALLOWMEND_WINE32_KIND"], "no 32-bit Wine")
print("i686 programs ran through %s" % kind)
ok = True
for name, what in (("suites", "i686 suites as WOW64 processes"), ("e2e", "i686 end to end"),
                   ("install", "packages installed, run and removed")):
    path = os.path.join(sys.argv[1], name + ".xml")
    if not os.path.exists(path):
        print("%s: no results" % what)
        ok = False
        continue
    counts = {"passed": 0, "skipped": 0, "failed": 0}
    cases = []
    for case in ET.parse(path).getroot().iter("testcase"):
        state = "skipped" if case.find("skipped") is not None else "failed" if case.find("failure") is not None else "passed"
        counts[state] += 1
        cases.append("    %s: %s" % (case.get("name"), state))
        if "not a WOW64 process" in (case.findtext("system-out") or ""):
            print("not a WOW64 process: %s" % case.get("name"))
            ok = False
    print("%s: %d tests, %d passed, %d skipped, %d failed"
          % (what, sum(counts.values()), counts["passed"], counts["skipped"], counts["failed"]))
    if name != "suites":
        print("\n".join(cases))
sys.exit(0 if ok else 1)
PY
if [ "$fuzz_seconds" != 0 ] && [ -x scripts/fuzz.sh ]; then
  step "fuzzing (${fuzz_seconds}s per target)"
  run "fuzzing" bash scripts/fuzz.sh "$fuzz_seconds"
fi

step "result"
[ -f "$summary/counts.txt" ] && cat "$summary/counts.txt"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "all suites passed"
