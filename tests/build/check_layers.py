#!/usr/bin/env python3
"""Dependencies point down, and the compiler says so.

For every folder of src/, take the command the build really compiles one of
its sources with (compile_commands.json) and compile a one-line file with it:
an include of a header from each folder the layer may not use must fail as a
missing file, and an include of its own folder must work (so the failures
are the include rule, not a broken command).

usage: check_layers.py BUILD_DIR SOURCE_DIR
"""
import json
import os
import shlex
import subprocess
import sys
import tempfile

# What each folder may include besides itself: the architecture's layering,
# stated here independently of the build files it checks.
ALLOWED = {
    "platform": set(),
    "runtime": {"platform"},
    "i18n": {"platform"},
    "ui": {"platform"},
    "backups": {"runtime", "platform"},
    "findings": {"backups", "i18n", "runtime", "platform"},
    "scan": {"findings", "backups", "i18n", "ui", "runtime", "platform"},
    "scanners": {"scan", "findings", "backups", "i18n", "ui", "runtime", "platform"},
    # Hive files into the emulated machine and back; only the entry uses it.
    "offline": {"platform"},
}


def first_header(source_dir, folder):
    path = os.path.join(source_dir, "src", folder)
    return sorted(name for name in os.listdir(path) if name.endswith(".h"))[0]


def command_for(entries, source_dir, folder):
    prefix = os.path.join(source_dir, "src", folder) + os.sep
    for entry in entries:
        if entry["file"].startswith(prefix) and os.sep not in entry["file"][len(prefix):]:
            return entry
    raise SystemExit(f"no compile command for a source of src/{folder}")


def compiles(entry, include, scratch):
    probe = os.path.join(scratch, "probe.cpp")
    with open(probe, "w") as out:
        out.write(f'#include "{include}"\n')
    args = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
    kept, skip = [], False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg in ("-o", "-MF", "-MT", "-c"):
            skip = True
            continue
        if arg in ("-MD", "-MMD") or arg == entry["file"]:
            continue
        kept.append(arg)
    run = subprocess.run(kept + ["-fsyntax-only", probe], cwd=entry["directory"], capture_output=True, text=True)
    return run.returncode == 0, run.stderr


def main():
    build_dir, source_dir = sys.argv[1], sys.argv[2]
    with open(os.path.join(build_dir, "compile_commands.json")) as f:
        entries = json.load(f)
    folders = sorted(ALLOWED) + ["app"]
    faults = []
    with tempfile.TemporaryDirectory() as scratch:
        for folder, allowed in sorted(ALLOWED.items()):
            entry = command_for(entries, source_dir, folder)
            own = f"{folder}/{first_header(source_dir, folder)}"
            ok, err = compiles(entry, own, scratch)
            if not ok:
                faults.append(f"{folder}: its own {own} does not compile:\n{err}")
                continue
            for other in folders:
                if other == folder or other in allowed:
                    continue
                include = f"{other}/{first_header(source_dir, other)}"
                ok, err = compiles(entry, include, scratch)
                if ok or "No such file" not in err:
                    faults.append(f"{folder} can include {include}" + (f":\n{err}" if err else ""))
    for fault in faults:
        print(fault)
    print(f"{len(faults)} layering faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
