#!/usr/bin/env python3
"""Checks that the fix changed nothing it did not report.

  regdiff.py BEFORE_DIR AFTER_DIR LOG LIST_FIXED

BEFORE_DIR and AFTER_DIR each hold hklm.reg and hku.reg, exports of
HKEY_LOCAL_MACHINE (64-bit view, so the 32-bit view's Wow6432Node keys are
in it) and HKEY_USERS (the current user's hive among them) taken before the
wizard started and after it ended. Every key or value that went, and every
value whose data changed, must be explained by what the wizard reported:
a scanner finding in the first session of LOG (the key with its subtree, or
the one value), or an entry of LIST_FIXED, the results-list entries that were
checked when Next was pressed (a setting rewritten, a service key removed).
Keys and values that appeared are not looked at: Wine itself adds some.
"""
import re
import sys

RECORD = re.compile(r"^\d{1,2}\.\d{1,2}\.\d{2} \d{2}.\d{2}.\d{2}\.\d{3} (.+)$")
# On 64-bit Windows a setting entry ends by naming the views it was found in.
SETTING = re.compile(r'^Invalid data (.*?) = "(.*)" at key (.*?)(?: \((?:64|32)-bit(?: and 32-bit)? views?\))?$')
VALUE_FINDING = re.compile(r'^Value "(.*)" at (.*)$')
# Values that Wine's own processes rewrite whenever a program starts.
WINE_VOLATILE = {
    ("hkey_local_machine\\system\\currentcontrolset\\control\\servicecurrent", ""),
    ("hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
     "{4d36e968-e325-11ce-bfc1-08002be10318}\\0000", "driverdatedata"),
    # When the driver registers the adapter again (its date above changes),
    # the link value that the prefix's first registration left in the
    # adapter's key can go (seen once in a run that started the wizard
    # several times).
    ("hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
     "{4d36e968-e325-11ce-bfc1-08002be10318}\\0000", "symboliclinkvalue"),
    # A 32-bit program's display driver registers the display adapter and
    # the monitor again when it starts in a new display, and their device
    # classes lose their names.
    ("hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
     "{4d36e968-e325-11ce-bfc1-08002be10318}", ""),
    ("hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
     "{4d36e96e-e325-11ce-bfc1-08002be10318}", ""),
}
# Wine registers the display adapter again under a new random GUID whenever
# a program starts in a display it has not seen, and names the adapter's
# driver there: seen once as the only difference after an undo.
WINE_DISPLAY_ADAPTER = re.compile(
    r"^hkey_local_machine\\system\\currentcontrolset\\control\\video\\\{[0-9a-f-]{36}\}\\\d{4}$")


def wine_volatile(key, name):
    """True for values Wine's own processes write whenever a program starts."""
    return (key, name) in WINE_VOLATILE or (name == "graphicsdriver" and bool(WINE_DISPLAY_ADAPTER.match(key)))


def read_export(path):
    """{key: {value name ('' for the default): raw data}}, names lower-cased."""
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("cp1252")
    keys, current, pending = {}, None, ""
    for line in text.splitlines():
        if pending:
            line, pending = pending + line.lstrip(), ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].lower(), {})
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                current[""] = line[2:]
                continue
            i, name = 1, []
            while i < len(line) and line[i] != '"':
                if line[i] == "\\" and i + 1 < len(line):
                    i += 1
                name.append(line[i])
                i += 1
            current["".join(name).lower()] = line[i + 2:]
    return keys


def load(folder):
    keys = read_export(folder + "/hklm.reg")
    keys.update(read_export(folder + "/hku.reg"))
    return keys


def user_sid(keys):
    for k in keys:
        parts = k.split("\\")
        if len(parts) == 2 and parts[0] == "hkey_users" and parts[1].startswith("s-1-5-21") and "_classes" not in parts[1]:
            return parts[1]
    return None


def normalise(path, sid):
    """A path as the scanners name it -> the stored paths it may stand for."""
    p = path.lower().replace("\\wow6432node", "")
    if p.startswith("hkey_current_user\\") or p == "hkey_current_user":
        p = "hkey_users\\" + (sid or "") + p[len("hkey_current_user"):]
    if p.startswith("hkey_classes_root\\"):
        rest = p[len("hkey_classes_root"):]
        return ["hkey_local_machine\\software\\classes" + rest, "hkey_users\\%s\\software\\classes%s" % (sid, rest)]
    return [p]


def stored(path):
    return path.replace("\\wow6432node", "")


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    before, after = load(argv[1]), load(argv[2])
    sid = user_sid(before)
    with open(argv[3], encoding="cp1252", errors="replace") as f:
        records, started = [], 0
        for line in f:
            m = RECORD.match(line.rstrip("\r\n"))
            if not m:
                continue
            if m.group(1).startswith("Fix step: "):
                continue
            if re.match(r"Tallowmend (\S+ )?started on ", m.group(1)):
                started += 1
                if started > 1:
                    break
            else:
                records.append(m.group(1))
    with open(argv[4], encoding="utf-8") as f:
        entries = [l.rstrip("\n") for l in f if l.strip()]

    removed_keys, removed_values = [], set()
    for text in records + [e for e in entries if not e.startswith("Registry problems: ")]:
        s = SETTING.match(text)
        v = VALUE_FINDING.match(text) if not s else None
        if s:
            for k in normalise(s.group(3), sid):
                removed_values.add((k, s.group(1).lower()))
        elif v:
            for k in normalise(v.group(2), sid):
                removed_values.add((k, v.group(1).lower()))
        else:
            removed_keys.extend(normalise(text, sid))

    def key_explained(key):
        k = stored(key)
        return any(k == r or k.startswith(r + "\\") for r in removed_keys)

    problems = []
    for key, values in before.items():
        if key not in after:
            if not key_explained(key):
                problems.append("key removed without a finding: " + key)
            continue
        for name, data in values.items():
            now = after[key].get(name)
            if now == data or wine_volatile(key, name):
                continue
            if key_explained(key) or (stored(key), name) in removed_values:
                continue
            what = "removed" if now is None else "changed to " + now
            problems.append("value %s without a finding: %s [%s]" % (what, key, name or "@"))
    for p in problems:
        print("regdiff: " + p, file=sys.stderr)
    print("regdiff: %d keys before, %d after; %d unexplained changes" % (len(before), len(after), len(problems)),
          file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
