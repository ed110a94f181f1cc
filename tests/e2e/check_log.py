#!/usr/bin/env python3
"""Checks the wizard's diagnostic log after the end-to-end run.

  check_log.py LOG PROBLEMS EXPECT WOW64 [--session N]
  check_log.py LOG fixed EXPECT WOW64 --session N

Looks at one session of the log (the first by default; -1 is the last), that
is, the records from one start-up line to the next. Every scanner finding
leaves one message record with its description, so the session must hold
exactly PROBLEMS finding records (the count the results list showed, or
"-" for any), one or more for every entry of EXPECT that the scan removes,
and none for the healthy twins. With "fixed" in place of the count, the
session (a scan after the fix, in the same session: the records after the
fix step's "Fix step: " line) must hold no record of what was removed.
Setting and service entries are not scanner
findings and leave no record. With WOW64 "1" the session must have started
on 64-bit Windows: the program saw itself as a WOW64 process.
"""
import re
import sys

RECORD = re.compile(r"^\d{1,2}\.\d{1,2}\.\d{2} \d{2}.\d{2}.\d{2}\.\d{3} (.+)$")
# "Tallowmend 1.2.3 started on ...": the version in between is the build's.
START = re.compile(r"^Tallowmend (\S+ )?started on ")
FIX_STEP = "Fix step: "


def sessions(path):
    """[(start-up line, [records])] in the order of the log."""
    with open(path, encoding="cp1252", errors="replace") as f:
        lines = [l.rstrip("\r\n") for l in f]
    out = []
    for line in lines:
        m = RECORD.match(line)
        if not m:
            continue  # exception records: an empty line, a bare timestamp, the report, the stack
        text = m.group(1)
        if START.match(text):
            out.append((text, []))
        elif out:
            out[-1][1].append(text)
    return out


def expectations(path, wow64):
    """(state, key, value) for the scanner entries, views expanded."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            state, view, key, value = line.split("|", 3)
            if state.startswith("data=") or view == "own" or "\\Services\\" in key:
                continue
            views = ["64", "32"] if view == "@V@" else [view]
            for v in views:
                s = state
                if s == "scanned":
                    s = "gone" if v == "64" or wow64 else "unscanned"
                yield s, key.replace("@V@", v), value.replace("@V@", v)


def mentions(records, key, value):
    # Scanners name a key by the root they read it under: HKCR\x may be
    # HKEY_CLASSES_ROOT\x or HKEY_LOCAL_MACHINE\Software\Classes\x. The
    # path below the root, compared without case, is the same.
    below = "\\" + key.split("\\", 1)[1].lower()
    if value:
        prefix = 'Value "%s" at ' % ("" if value == "@" else value)
        return [r for r in records if r.startswith(prefix) and r.lower().endswith(below)]
    return [r for r in records if not r.startswith('Value "') and r.lower().endswith(below)]


def main(argv):
    if len(argv) not in (5, 7):
        print(__doc__, file=sys.stderr)
        return 2
    log, problems, expect, wow64 = argv[1], argv[2], argv[3], argv[4] == "1"
    index = int(argv[6]) if len(argv) == 7 else 0
    all_sessions = sessions(log)
    if not all_sessions:
        print("check_log: no session in %s" % log, file=sys.stderr)
        return 1
    start, records = all_sessions[index]
    # The fix step names its journal session; a scan after it is what
    # "fixed" looks at.
    marks = [i for i, r in enumerate(records) if r.startswith(FIX_STEP)]
    if problems == "fixed" and marks:
        records = records[marks[-1] + 1:]
    records = [r for r in records if not r.startswith(FIX_STEP)]
    failures = []
    # The program must have found itself a WOW64 process, as on 64-bit Windows.
    if wow64 and not start.endswith(" started on 64-bit Windows"):
        failures.append("started as '%s', not as a WOW64 process" % start)
    if problems == "fixed":
        for state, key, value in expectations(expect, wow64):
            found = mentions(records, key, value)
            if state == "gone" and found:
                failures.append("found again after the fix: %s" % found[0])
    elif problems != "-" and len(records) != int(problems):
        failures.append("%d finding records, the results list counted %s" % (len(records), problems))
    for state, key, value in expectations(expect, wow64) if problems != "fixed" else []:
        found = mentions(records, key, value)
        if state == "gone" and not found:
            failures.append("no record for %s [%s]" % (key, value))
        if state in ("kept", "unscanned") and found:
            failures.append("record for an entry that is not broken or not scanned: %s" % found[0])
    for f in failures:
        print("check_log: " + f, file=sys.stderr)
    print("check_log: %d finding records checked" % len(records), file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
