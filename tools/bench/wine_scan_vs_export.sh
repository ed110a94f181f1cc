#!/usr/bin/env bash
# Under wine64 every registry call is a round trip to the server, so the
# scan is weighed against the cheapest complete read of the same registry
# that Wine itself offers: `reg export` of HKLM, HKCU and HKU, on the same
# prefix in the same run. The prefix is the end-to-end test's seeded one,
# made fresh and private; one persistent wineserver serves both sides, so
# neither pays a server start. A figure to read, never a pass/fail check.
#   wine_scan_vs_export.sh [-n RUNS] [--unseeded] [TALLOWMEND_EXE]
# TALLOWMEND_EXE: a built program (nothing is built here), by default the
# x86_64 one, build/win64/src/app/entry/tallowmend.exe. That one sees no
# WOW64 and so scans one pass, the 64-bit view; the i686 product
# (build/win32/...) scans both views as a WOW64 process, where a 32-bit Wine
# runs (under the qemu runtime its code runs slower than it would natively).
# RUNS: repetitions of each side, interleaved (default 3). --unseeded: Wine's
# own prefix as wineboot makes it. The last line of stdout is the result:
#   wine scan S s, reg export E s, ratio R
# (median wall seconds of each side, R = S / E). Exit 2 on bad arguments or
# a failed step.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

runs=3 seeded=1 exe=
usage() { echo "usage: $0 [-n RUNS] [--unseeded] [TALLOWMEND_EXE]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    -n) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --unseeded) seeded=0; shift ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) [ -z "$exe" ] || usage; exe=$1; shift ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
exe=${exe:-$root/build/win64/src/app/entry/tallowmend.exe}
[ -f "$exe" ] || { echo "bench: no program at $exe (cmake --preset win64 && cmake --build --preset win64 --target tallowmend)" >&2; exit 2; }
exe=$(realpath "$exe")

fail() { echo "bench: $*" >&2; exit 2; }
say() { echo "bench: $*" >&2; }

E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowmend-wine-bench.XXXXXX")
E2E_PREFIX=$E2E_WORK/prefix
# shellcheck source-path=SCRIPTDIR source=../../tests/e2e/lib.sh
. "$root/tests/e2e/lib.sh"
cleanup() {
  e2e_stop
  # The server writes the registry out as it ends: gone before the folder.
  WINEPREFIX=$E2E_PREFIX timeout 30 wineserver -w >/dev/null 2>&1 || true
  rm -rf "$E2E_WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Sets WINEPREFIX to the private prefix before anything starts Wine.
e2e_setup "$exe" || fail "cannot run $exe here"
say "program: $exe ($(pe_machine "$exe"), 32-bit Wine: $TALLOWMEND_WINE32)"

say "fresh prefix in $E2E_PREFIX"
e2e_fresh_prefix || fail "the prefix could not be made"
if [ "$seeded" = 1 ]; then
  e2e_seed || fail "the prefix could not be seeded"
fi
e2e_install "$exe"

now() { echo "$EPOCHREALTIME"; }
since() { python3 -c 'import sys; print(f"{float(sys.argv[2]) - float(sys.argv[1]):.3f}")' "$1" "$(now)"; }

scan() {
  local rc=0
  timeout 900 "$E2E_LOADER" "$E2E_EXE_DIR/tallowmend.exe" -scan -report 'C:\Tallowmend\bench.json' \
    </dev/null >>"$E2E_WORK/scan.out" 2>&1 || rc=$?
  # 1 is "problems found", a scan's usual answer.
  [ "$rc" = 0 ] || [ "$rc" = 1 ] || { cat "$E2E_WORK/scan.out" >&2; fail "the scan exited $rc"; }
}

export_all() {
  local hive
  for hive in HKLM HKCU HKU; do
    # The 64-bit view, Wow6432Node included: both views, as the scan reads.
    timeout 900 "$E2E_LOADER" reg export "$hive" "$(winepath_w "$E2E_WORK/$hive.reg")" /y /reg:64 \
      </dev/null >>"$E2E_WORK/export.out" 2>&1 || { cat "$E2E_WORK/export.out" >&2; fail "reg export $hive failed"; }
  done
}

scan_times=() export_times=()
for ((i = 1; i <= runs; i++)); do
  t=$(now); scan; scan_times+=("$(since "$t")")
  t=$(now); export_all; export_times+=("$(since "$t")")
  say "run $i of $runs: scan ${scan_times[-1]} s, reg export ${export_times[-1]} s"
done

python3 - "$E2E_EXE_DIR/bench.json" "$E2E_WORK" <<'PY' >&2 || fail "the scan report cannot be read"
import json, os, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["mode"] == "scan" and r["error"] is None, r.get("error")
# x64: the program saw WOW64 and scanned both views.
arch = r["windows"]["architecture"]
size = sum(os.path.getsize(os.path.join(sys.argv[2], h + ".reg")) for h in ("HKLM", "HKCU", "HKU"))
print(f"bench: scan as {arch} ({'both views' if arch == 'x64' else 'one view'}), {len(r['findings'])} findings;"
      f" export {size / 1048576:.1f} MiB")
PY

python3 - "${#scan_times[@]}" "${scan_times[@]}" "${export_times[@]}" <<'PY'
import statistics, sys
n = int(sys.argv[1])
scan = statistics.median(map(float, sys.argv[2:2 + n]))
export = statistics.median(map(float, sys.argv[2 + n:]))
print(f"wine scan {scan:.2f} s, reg export {export:.2f} s, ratio {scan / export:.2f}")
PY
