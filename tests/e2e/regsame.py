#!/usr/bin/env python3
"""Checks that undoing a fix gave back the registry it found.

  regsame.py BEFORE_DIR AFTER_FIX_DIR UNDONE_DIR [SKIPPED]

Each folder holds hklm.reg and hku.reg as regdiff.py reads them. Every key
and value of BEFORE must be in UNDONE with the same data (value order inside
a key aside: a value put back is the key's newest, as on Windows). Keys and
values that UNDONE has beyond BEFORE are listed; they fail the check only
when they are neither in AFTER_FIX_DIR (Wine added them while the wizard ran)
nor among the values Wine rewrites by itself. SKIPPED lists, one a line,
the descriptions of entries the undo left out because their key or value
existed again (Wine makes some keys again by itself): those keys and
values are not compared.
"""
import sys

from regdiff import VALUE_FINDING, load, normalise, stored, user_sid, wine_volatile


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__, file=sys.stderr)
        return 2
    before, after, undone = load(argv[1]), load(argv[2]), load(argv[3])
    sid = user_sid(before)
    left_keys, left_values = [], set()
    if len(argv) == 5:
        with open(argv[4], encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                v = VALUE_FINDING.match(line)
                if v:
                    left_values.update((k, v.group(1).lower()) for k in normalise(v.group(2), sid))
                elif line:
                    left_keys.extend(normalise(line, sid))

    def left(key, name=None):
        k = stored(key)
        return any(k == r or k.startswith(r + "\\") for r in left_keys) or (k, name) in left_values

    problems = []
    for key, values in before.items():
        if left(key):
            continue
        if key not in undone:
            problems.append("key missing: " + key)
            continue
        for name, data in values.items():
            if wine_volatile(key, name) or left(key, name):
                continue
            if name not in undone[key]:
                problems.append("value missing: %s [%s]" % (key, name))
            elif undone[key][name] != data:
                problems.append("value differs: %s [%s]: %s, was %s" % (key, name, undone[key][name], data))
    for key, values in undone.items():
        for name in values:
            if (key in before and name in before[key]) or left(key, name):
                continue
            if wine_volatile(key, name) or (key in after and name in after[key]):
                continue
            if key not in before and key in after:
                continue
            problems.append("appeared: %s [%s]" % (key, name))
    for p in problems[:50]:
        print("regsame: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
