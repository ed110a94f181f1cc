#!/usr/bin/env python3
"""What a Wine prefix holds: its registry (the prefix's own registry files,
key by key, without the time stamps Wine keeps) and the files below drive_c.

  prefix_state.py capture PREFIX OUT.json
  prefix_state.py changes BEFORE.json AFTER.json [--ignore NOISE_BEFORE.json NOISE_AFTER.json]

"changes" prints every key, value and file that differs, one a line, and
exits 1 when there is any; with --ignore, what also differs between the two
noise captures (what Wine itself changes whenever it starts) is left out.
"""
import json
import os
import sys

REG_FILES = ("system.reg", "user.reg", "userdef.reg")


def read_registry(path):
    keys, key, pending = {}, None, ""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for raw in f:
            line = pending + raw.rstrip("\n")
            if line.endswith("\\") and key is not None and not line.startswith("["):
                pending = line[:-1]
                continue
            pending = ""
            if line.startswith("["):
                key = line[: line.rindex("]") + 1]
                keys.setdefault(key, [])
            elif key is not None and line and not line.startswith("#time="):
                keys[key].append(line.strip())
    return {k: sorted(v) for k, v in keys.items()}


def capture(prefix):
    state = {"reg": {}, "files": []}
    for name in REG_FILES:
        path = os.path.join(prefix, name)
        if os.path.exists(path):
            state["reg"][name] = read_registry(path)
    drive = os.path.join(prefix, "drive_c")
    for top, dirs, files in os.walk(drive):
        rel = os.path.relpath(top, drive)
        for d in list(dirs):
            if os.path.islink(os.path.join(top, d)):
                state["files"].append(os.path.join(rel, d) + " ->")
                dirs.remove(d)
            else:
                state["files"].append(os.path.join(rel, d) + "/")
        for f in files:
            state["files"].append(os.path.join(rel, f))
    state["files"].sort()
    return state


def changes(a, b):
    out = set()
    for name in sorted(set(a["reg"]) | set(b["reg"])):
        ka, kb = a["reg"].get(name, {}), b["reg"].get(name, {})
        for key in set(ka) | set(kb):
            if key not in kb:
                out.add(f"{name} - {key}")
            elif key not in ka:
                out.add(f"{name} + {key}")
            else:
                va, vb = set(ka[key]), set(kb[key])
                for v in va - vb:
                    out.add(f"{name} {key} - {v.split('=')[0]}")
                for v in vb - va:
                    out.add(f"{name} {key} + {v.split('=')[0]}")
    fa, fb = set(a["files"]), set(b["files"])
    out |= {f"file - {p}" for p in fa - fb} | {f"file + {p}" for p in fb - fa}
    return out


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def main(argv):
    if len(argv) == 3 and argv[0] == "capture":
        with open(argv[2], "w", encoding="utf-8") as f:
            json.dump(capture(argv[1]), f)
        return 0
    if len(argv) in (3, 6) and argv[0] == "changes":
        found = changes(load(argv[1]), load(argv[2]))
        if len(argv) == 6:
            noise = changes(load(argv[4]), load(argv[5]))
            # A key or value Wine rewrites on its own, in whatever direction.
            strip = lambda c: c.replace(" + ", " ").replace(" - ", " ")
            noisy = {strip(c) for c in noise}
            found = {c for c in found if strip(c) not in noisy}
        for c in sorted(found):
            print(c)
        return 1 if found else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
