#!/usr/bin/env bash
# The whole scan under Wine over the realistic machine:
#   wine-fullscan.sh FULLSCAN_DUMP.exe FIXTURE_DIR WORK_DIR
# FULLSCAN_DUMP is the i686 build: it runs as a WOW64 process, scanning both
# views as the program does on 64-bit Windows. Makes a fresh 64-bit prefix in
# WORK_DIR, scans it once as Wine made it and compares that with the census
# of Wine's own findings (wine-prefix-census.txt beside this script), imports
# FIXTURE_DIR/machine.reg into the 64-bit view (physical layout: the 32-bit
# keys are written under Wow6432Node as they are), copies FIXTURE_DIR/drive-c
# into drive C: without replacing Wine's own files, scans again, drops the
# first scan's findings from the second (Wine's own entries) and compares the
# rest with the census FIXTURE_DIR/expected.txt (its "all" and "wine" lines).
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
# Into the folders Wine already has, whatever their case (the fixture spells
# them as Windows does, Wine's prefix as it does): never a second "Windows".
python3 - "$fixture/drive-c" "$WINEPREFIX/drive_c" <<'PY' || fail "cannot copy the drive"
import os, shutil, sys

def entry(folder, name):
    exact = os.path.join(folder, name)
    if os.path.lexists(exact):
        return exact
    same = sorted(e for e in os.listdir(folder) if e.lower() == name.lower())
    return os.path.join(folder, same[0]) if same else exact

source, target = sys.argv[1], sys.argv[2]
for folder, _, files in os.walk(source):
    into = target
    relative = os.path.relpath(folder, source)
    for part in ([] if relative == "." else relative.split(os.sep)):
        into = entry(into, part)
        os.makedirs(into, exist_ok=True)
    for name in files:
        copy = entry(into, name)
        if not os.path.lexists(copy):
            shutil.copy2(os.path.join(folder, name), copy)
PY
timeout 600 "${scan[@]}" scan.txt </dev/null >/dev/null 2>scan2.err || { cat scan2.err >&2; fail "second scan failed"; }

python3 - "$work/baseline.txt" "$work/scan.txt" "$root/tests/fullscan/wine-prefix-census.txt" "$fixture/expected.txt" <<'PY'
import difflib
import sys
from collections import Counter

SIDE = "wine"

def lines(path):
    with open(path, encoding="utf-8") as f:
        return [l.rstrip("\r\n") for l in f if l.strip()]

def census(path):
    """The findings a census expects of this side, in order ("SIDES | FINDING | VERDICT")."""
    found = []
    for l in lines(path):
        if l.startswith("#"):
            continue
        sides, rest = l.split(" | ", 1)
        finding, verdict = rest.rsplit(" | ", 1)
        if "all" in sides.split(",") or SIDE in sides.split(","):
            found.append(finding)
    return found

def same(name, expected, actual):
    if actual == expected:
        print(f"{name}: {len(actual)} findings, as the census says")
        return True
    print(f"{name}: findings differ from the census (- census, + found):")
    for d in difflib.unified_diff(expected, actual, "census", "found", lineterm="", n=2):
        print(d)
    return False

baseline, scan = lines(sys.argv[1]), lines(sys.argv[2])
ok = same("fresh prefix", census(sys.argv[3]), baseline)

# The fixture's findings: what the same scan found before the import is Wine's own.
own = Counter(baseline)
actual = []
for l in scan:
    if own[l] > 0:
        own[l] -= 1
    else:
        actual.append(l)
ok = same("realistic machine", census(sys.argv[4]), actual) and ok
sys.exit(0 if ok else 1)
PY
