#!/usr/bin/env bash
# The whole scan under Wine over the realistic machine:
#   wine-fullscan.sh FULLSCAN_DUMP.exe FIXTURE_DIR WORK_DIR
# FULLSCAN_DUMP is the i686 build: it runs as a WOW64 process. Makes a fresh
# 64-bit prefix in WORK_DIR, scans it once as Wine made it (Wine's own
# findings), imports FIXTURE_DIR/machine.reg into the 64-bit view (physical
# layout: the 32-bit keys are written under Wow6432Node as they are), copies FIXTURE_DIR/drive-c into drive C: without
# replacing Wine's own files, scans again, drops the first scan's findings
# from the second (Wine's own entries) and compares the rest with
# FIXTURE_DIR/expected.txt (lines for both sides and "wine: " lines).
# The prefix and its wineserver are removed on every way out.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 FULLSCAN_DUMP.exe FIXTURE_DIR WORK_DIR" >&2; exit 2; }
exe=$(realpath "$1")
fixture=$(realpath "$2")
work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
export TALLOWMEND_WINEPREFIX=$work/prefix
. "$root/scripts/wine-common.sh"

cleanup() {
  timeout 60 wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

fail() { echo "wine-fullscan: $*" >&2; exit 1; }
[ "$(pe_machine "$exe")" = i386 ] || fail "not a 32-bit Windows program: $exe"
wine32_runs || { echo "wine-fullscan: no 32-bit Wine here; not run" >&2; exit 77; }
# Arrays, not functions: timeout runs programs only. The program scans as a
# WOW64 process, as it does on 64-bit Windows: both views, real redirection.
scan=(env -u WINELOADER "$WINE" "$exe")
wine=(env -u WINELOADER "$WINE")

timeout 300 "$root/scripts/wine-prefix.sh" start || fail "cannot make the prefix"
cd "$work" || exit 1

timeout 600 "${scan[@]}" baseline.txt </dev/null >/dev/null 2>scan1.err || { cat scan1.err >&2; fail "first scan failed"; }
timeout 120 "${wine[@]}" reg import "$fixture/machine.reg" /reg:64 </dev/null >/dev/null 2>import.err || { cat import.err >&2; fail "reg import failed"; }
cp -rn "$fixture/drive-c/." "$WINEPREFIX/drive_c/" || fail "cannot copy the drive"
timeout 600 "${scan[@]}" scan.txt </dev/null >/dev/null 2>scan2.err || { cat scan2.err >&2; fail "second scan failed"; }

python3 - "$work/baseline.txt" "$work/scan.txt" "$fixture/expected.txt" <<'PY'
import sys
from collections import Counter

def lines(path):
    with open(path, encoding="utf-8") as f:
        return [l.rstrip("\r\n") for l in f if l.strip()]

baseline, scan = lines(sys.argv[1]), lines(sys.argv[2])
expected = []
for l in lines(sys.argv[3]):
    if l.startswith("#") or l.startswith("native: "):
        continue
    expected.append(l[len("wine: "):] if l.startswith("wine: ") else l)

# Wine's own entries: what the same scan found before the import.
own = Counter(baseline)
actual = []
for l in scan:
    if own[l] > 0:
        own[l] -= 1
    else:
        actual.append(l)
print(f"Wine's own findings (fresh prefix): {len(baseline)}")
for l in baseline:
    print("  own:", l)
if actual == expected:
    print(f"{len(actual)} findings as expected")
    sys.exit(0)
import difflib
print("findings differ from expected.txt (- expected, + found):")
for d in difflib.unified_diff(expected, actual, "expected", "found", lineterm="", n=2):
    print(d)
sys.exit(1)
PY
