#!/usr/bin/env bash
# The whole job under Wine: a fresh prefix seeded with broken entries, the
# real wizard driven welcome -> Results -> fix -> Success -> Finish with one
# entry unchecked, then the registry in both views (every expected change,
# and no change the wizard did not report), the log and a screenshot of
# every page; afterwards Back from Success rescans, and Cancel is answered
# No, then (by Esc) Yes.
#   run.sh TALLOWMEND_EXE WIZARD_DRIVER_EXE WORKDIR
# Exit 0 passed, 1 failed, 77 skipped (the program cannot run here).
set -uo pipefail
. "$(cd "$(dirname "$0")" && pwd)/lib.sh"
e2e_begin "$0" "$@"
here=$_e2e_here

e2e_log "prefix $E2E_PREFIX (program: $(pe_machine "$E2E_EXE"), settings view: $E2E_OWN_VIEW)"
e2e_must e2e_fresh_prefix
e2e_must e2e_seed
e2e_install "$E2E_EXE"
# A stand-in for the shipped Windows 7 copy (Wine reports Windows 7): the
# smallest file that passes for an i386 image. It must land on the 32-bit
# system folder's rundll32, whichever build runs; the 64-bit one stays.
python3 - "$E2E_EXE_DIR/r7.dat" <<'PY'
import struct, sys
head = bytearray(b"MZ" + bytes(58) + struct.pack("<I", 64)) + b"PE\0\0" + struct.pack("<H", 0x14C)
open(sys.argv[1], "wb").write(bytes(head) + b"e2e stand-in for rundll32".ljust(128, b"."))
PY
sys32=$E2E_PREFIX/drive_c/windows/system32/rundll32.exe
wow32=$E2E_PREFIX/drive_c/windows/syswow64/rundll32.exe
sys32_before=$(sha256sum <"$sys32")
e2e_must e2e_export "$E2E_WORK/reg-before"

# ---- the main job
e2e_start -debug
e2e_must e2e_drive wait-window 60
e2e_must e2e_drive wait-text "Welcome to Tallowmend" 10
e2e_shot 1-welcome
e2e_must e2e_drive click "Next >"
e2e_must e2e_drive wait-text "Scan completed" 300
e2e_must e2e_drive wait-enabled "Next >" 10
e2e_shot 2-results
e2e_drive list >"$E2E_WORK/list-before.txt"
cat "$E2E_WORK/list-before.txt" >&2

# One entry per altered setting, before the one composite entry of the scan.
expect_entry() {  # PATTERN COUNT
  local n
  n=$(grep -cF -- "$1" "$E2E_WORK/list-before.txt")
  [ "$n" -eq "$2" ] || e2e_fail "results list: $2 entries expected with '$1', found $n"
}
expect_entry 'Invalid data  = ""C:\E2E\gone\hijack.exe" "%1" %*" at key HKEY_CLASSES_ROOT\exefile\shell\Open\Command' 1
expect_entry 'Invalid data Shell = "explorer.exe C:\E2E\gone\shellhook.exe" at key HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon' 1
expect_entry 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\E2ERundllGone' 1
expect_entry 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\E2EServiceDllGone' 1
expect_entry 'E2EOtherGone' 0
expect_entry 'E2EUpperRundll' 0
expect_entry 'JSFile' 0
problems=$(sed -n 's/^Registry problems: \([0-9]*\) problems$/\1/p' "$E2E_WORK/list-before.txt")
[ "$(tail -n 1 "$E2E_WORK/list-before.txt")" = "Registry problems: $problems problems" ] ||
  e2e_fail "the composite entry is not the last entry"

e2e_must e2e_drive toggle "shellhook.exe"
e2e_shot 3-one-unchecked
e2e_must e2e_drive click "Next >"
e2e_must e2e_drive wait-text "Tallowmend successfully resolved your problem. " 120
e2e_must e2e_drive wait-text "Finish" 10
e2e_must e2e_drive expect-hidden "Next >"
e2e_must e2e_drive expect-hidden "Cancel"
e2e_shot 4-success
# The copy runs in a hidden console the wizard does not wait for.
for ((i = 0; i < 300; i++)); do cmp -s "$E2E_EXE_DIR/r7.dat" "$wow32" && break; sleep 0.1; done
cmp -s "$E2E_EXE_DIR/r7.dat" "$wow32" || e2e_fail "the 32-bit system folder's rundll32 was not restored from r7.dat"
[ "$(sha256sum <"$sys32")" = "$sys32_before" ] || e2e_fail "the 64-bit system folder's rundll32 was replaced"
e2e_drive list >"$E2E_WORK/list-after.txt"
[ "$(cat "$E2E_WORK/list-after.txt")" = "$(grep -F shellhook.exe "$E2E_WORK/list-before.txt")" ] ||
  e2e_fail "after the fix only the unchecked entry should be left: $(tr '\n' '|' <"$E2E_WORK/list-after.txt")"
# Enter presses Finish, the one default button showing.
e2e_must e2e_drive key enter
e2e_must e2e_drive wait-closed 30
e2e_must e2e_wait_exit 30

# ---- the registry, view by view
query() {  # VIEW KEY VALUE -> data on stdout; status 0 when present
  local out
  if [ -z "$3" ]; then
    e2e_reg "$1" query "$2" >/dev/null 2>&1
    return
  fi
  if [ "$3" = @ ]; then
    out=$(e2e_reg "$1" query "$2" /ve 2>/dev/null) || return 1
    # A key always answers for its default value; unset, it says so.
    case $out in *"(value not set)"*) return 1 ;; esac
  else
    out=$(e2e_reg "$1" query "$2" /v "$3" 2>/dev/null) || return 1
  fi
  # "    NAME    REG_TYPE    DATA": the data follows the type.
  printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^    .*    REG_[A-Z_]*    \{0,1\}//p' | head -n 1
}
check_line() {  # STATE VIEW KEY VALUE
  local state=$1 view=$2 key=$3 value=$4 data
  [ "$view" = own ] && view=$E2E_OWN_VIEW
  if [ "$state" = scanned ]; then
    if [ "$view" = 64 ] || [ "$E2E_WOW64" = 1 ]; then state=gone; else state=kept; fi
  fi
  case $state in
    gone) query "$view" "$key" "$value" >/dev/null && e2e_fail "still there (/reg:$view): $key ${value:+[$value]}" ;;
    kept) query "$view" "$key" "$value" >/dev/null || e2e_fail "removed (/reg:$view): $key ${value:+[$value]}" ;;
    data=*)
      if ! data=$(query "$view" "$key" "$value"); then e2e_fail "missing (/reg:$view): $key [$value]"
      elif [ "$data" != "${state#data=}" ]; then e2e_fail "(/reg:$view) $key [$value] holds '$data', expected '${state#data=}'"; fi ;;
    *) e2e_fail "bad expectation: $state" ;;
  esac
}
checks=0
while IFS='|' read -r state view key value; do
  case $state in '' | '#'*) continue ;; esac
  if [ "$view" = @V@ ]; then
    for v in 64 32; do
      check_line "$state" "$v" "${key//@V@/$v}" "${value//@V@/$v}"
      checks=$((checks + 1))
    done
  else
    check_line "$state" "$view" "$key" "$value"
    checks=$((checks + 1))
  fi
done <"$here/expect.txt"
e2e_log "$checks registry checks done"

# ---- the log: one message record per scanner finding, none for the rest
python3 "$here/check_log.py" "$E2E_LOG" "$problems" "$here/expect.txt" "$E2E_WOW64" || e2e_fail "diagnostic log"

# ---- nothing changed that the wizard did not report
e2e_must e2e_export "$E2E_WORK/reg-after"
grep -vF shellhook.exe "$E2E_WORK/list-before.txt" >"$E2E_WORK/list-fixed.txt"
python3 "$here/regdiff.py" "$E2E_WORK/reg-before" "$E2E_WORK/reg-after" "$E2E_LOG" "$E2E_WORK/list-fixed.txt" ||
  e2e_fail "the fix changed the registry beyond what it reported"

# ---- the fix run is undone from the wizard's undo page: the registry is the
# one the fix found (the unchecked setting was never touched). The details
# page on the way in: every scanner finding, each with its own box.
e2e_start -restore
e2e_must e2e_drive wait-window 60
e2e_must e2e_drive wait-enabled "Restore" 20
e2e_drive list >"$E2E_WORK/list-undo.txt"
[ "$(wc -l <"$E2E_WORK/list-undo.txt")" -ge 4 ] || e2e_fail "the undo page lists $(wc -l <"$E2E_WORK/list-undo.txt") entries"
e2e_shot 8-undo
e2e_must e2e_drive click "Restore"
# Wine makes some keys again by itself (its temporary system parameters):
# the page asks before it replaces one, and here what exists again stays.
kept=0 shown=0
for ((i = 0; i < 200; i++)); do
  if e2e_drive wait-text-start "Put back " 1 >"$E2E_WORK/undo-result.txt" 2>/dev/null; then shown=1; break; fi
  if e2e_drive answer no "exists again" 2 >/dev/null 2>&1; then kept=$((kept + 1)); fi
done
cat "$E2E_WORK/undo-result.txt" >&2
e2e_log "undo: $kept entries whose key or value Wine made again were kept"
[ "$shown" = 1 ] || e2e_fail "no result on the undo page"
read -r put total < <(sed -n '1s/^Put back \([0-9]*\) of \([0-9]*\)\.$/\1 \2/p' "$E2E_WORK/undo-result.txt")
[ -n "${total:-}" ] && [ $((put + kept)) -eq "$total" ] && [ "$kept" -le 3 ] ||
  e2e_fail "the undo put back ${put:-?} of ${total:-?} entries with $kept kept"
e2e_shot 9-undone
e2e_must e2e_drive key escape
e2e_must e2e_drive wait-closed 30
e2e_must e2e_wait_exit 30
e2e_must e2e_export "$E2E_WORK/reg-undone"
sed -n 's/: The \(key\|value\) .* exists again; .*$//p' "$E2E_WORK/undo-result.txt" >"$E2E_WORK/undo-kept.txt"
python3 "$here/regsame.py" "$E2E_WORK/reg-before" "$E2E_WORK/reg-after" "$E2E_WORK/reg-undone" "$E2E_WORK/undo-kept.txt" ||
  e2e_fail "the undo did not give back the registry the fix found"

# ---- Back from Success scans again and finds nothing of what was fixed;
# Cancel asks first: No stays, Yes ends the program.
e2e_start -debug
e2e_must e2e_drive wait-window 60
e2e_must e2e_drive click "Next >"
e2e_must e2e_drive wait-text "Scan completed" 300
e2e_must e2e_drive activate "Registry problems: "
e2e_must e2e_drive wait-text-start "Every registry problem the scan found" 20
e2e_drive list >"$E2E_WORK/list-details.txt"
[ "$(wc -l <"$E2E_WORK/list-details.txt")" -eq "$problems" ] ||
  e2e_fail "the details page lists $(wc -l <"$E2E_WORK/list-details.txt") problems, the composite counted $problems"
e2e_shot 10-details
e2e_must e2e_drive click "< Back"
e2e_must e2e_drive wait-text "Scan completed" 20
# The undo brought every entry back. With nothing checked Next only asks for
# a choice; then all but the Shell setting are fixed again.
again=("hijack.exe" "E2ERundllGone" "E2EServiceDllGone" "Registry problems: ")
for entry in "shellhook.exe" "${again[@]}"; do e2e_must e2e_drive toggle "$entry"; done
e2e_must e2e_drive click "Next >"
e2e_must e2e_drive wait-box "Select some results to proceed" 20
e2e_shot 5-nothing-checked
e2e_must e2e_drive answer ok "Select some results to proceed" 20
e2e_must e2e_drive wait-text "Scan completed" 5
for entry in "${again[@]}"; do e2e_must e2e_drive toggle "$entry"; done
e2e_must e2e_drive click "Next >"
e2e_must e2e_drive wait-text "Tallowmend successfully resolved your problem. " 120
e2e_must e2e_drive click "< Back"
e2e_must e2e_drive click "Cancel"
e2e_must e2e_drive wait-box "Solving process is not finished yet. Are you sure you want to exit?" 20
e2e_shot 6-cancel-during-rescan
e2e_must e2e_drive answer no "Solving process is not finished yet. Are you sure you want to exit?" 20
e2e_must e2e_drive wait-text "Scan completed" 300
e2e_drive list >"$E2E_WORK/list-rescan.txt"
e2e_shot 7-rescan
grep -qF shellhook.exe "$E2E_WORK/list-rescan.txt" || e2e_fail "the rescan lost the unchecked setting"
for gone in hijack.exe E2ERundllGone E2EServiceDllGone; do
  grep -qF "$gone" "$E2E_WORK/list-rescan.txt" && e2e_fail "the rescan finds '$gone' again"
done
python3 "$here/check_log.py" "$E2E_LOG" fixed "$here/expect.txt" "$E2E_WOW64" --session -1 ||
  e2e_fail "the scans after the fix found removed entries again"
e2e_must e2e_drive key escape
e2e_must e2e_drive answer yes "Solving process is not finished yet. Are you sure you want to exit?" 20
e2e_must e2e_drive wait-closed 30
e2e_must e2e_wait_exit 30

# ---- without a window: -fix, then -restore last, each with its report. The
# fix changes exactly what its report says it repaired; the restore gives
# the registry back.
run_exe() { "$E2E_LOADER" "$E2E_EXE_DIR/tallowmend.exe" "$@" </dev/null >>"$E2E_WORK/unattended.out" 2>&1; }
: >"$E2E_WORK/unattended.out"
e2e_must e2e_export "$E2E_WORK/reg-before-unattended"
run_exe -fix -report 'C:\Tallowmend\fix.json'
rc=$?
[ "$rc" = 1 ] || e2e_fail "-fix exited $rc, expected 1 (problems found and repaired)"
python3 - "$E2E_EXE_DIR/fix.json" >"$E2E_WORK/list-unattended.txt" <<'PY' || e2e_fail "the -fix report"
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["format"] == 1 and r["mode"] == "fix" and r["error"] is None, r
assert any("shellhook.exe" in f["description"] for f in r["findings"]), "the unchecked setting is missing"
for f in r["findings"]:
    assert f["outcome"] in ("repaired", "skipped"), f
    if f["outcome"] == "repaired":
        assert f["journal_entry"]["session"] == r["session"], f
        print(f["description"])
PY
e2e_must e2e_export "$E2E_WORK/reg-after-unattended"
: >"$E2E_WORK/no.log"
python3 "$here/regdiff.py" "$E2E_WORK/reg-before-unattended" "$E2E_WORK/reg-after-unattended" "$E2E_WORK/no.log" \
  "$E2E_WORK/list-unattended.txt" || e2e_fail "-fix changed the registry beyond what its report says"
run_exe -restore last -report 'C:\Tallowmend\restore.json'
rc=$?
[ "$rc" = 0 ] || [ "$rc" = 1 ] || e2e_fail "-restore last exited $rc"
python3 - "$E2E_EXE_DIR/restore.json" "$(wc -l <"$E2E_WORK/list-unattended.txt")" "$E2E_WORK/restore-kept.txt" \
  <<'PY' || e2e_fail "the -restore report"
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["format"] == 1 and r["mode"] == "restore" and r["error"] is None, r
outcomes = [e["outcome"] for e in r["restored"]]
assert "failed" not in outcomes, r["restored"]
# What Wine made again by itself is skipped, and said so.
skipped = [e for e in r["restored"] if e["outcome"] == "skipped"]
assert all("exists again" in e["reason"] for e in skipped) and len(skipped) <= 3, skipped
assert len(outcomes) >= int(sys.argv[2]), (len(outcomes), sys.argv[2])
with open(sys.argv[3], "w", encoding="utf-8") as f:
    f.writelines(e["description"] + "\n" for e in skipped)
PY
e2e_must e2e_export "$E2E_WORK/reg-restored"
python3 "$here/regsame.py" "$E2E_WORK/reg-before-unattended" "$E2E_WORK/reg-after-unattended" \
  "$E2E_WORK/reg-restored" "$E2E_WORK/restore-kept.txt" ||
  e2e_fail "-restore last did not give back the registry -fix found"
cat "$E2E_WORK/unattended.out" >&2

e2e_finish
