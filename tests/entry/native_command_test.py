#!/usr/bin/env python3
"""Runs `tallowmend --auto` over a drive folder laid out as Windows lays it
out (Windows, Program Files, Users), as a user hands it in with --drive.

The run must find only the entry whose file is gone, keep the entries whose
files are there under another spelling of their folders, and leave the
folder exactly as it was: a mapped folder is the user's.

A --machine file is read as regedit reads it: without a byte-order mark it
is ANSI text (code page 1252), and UTF-16 that ends in half a character is
refused rather than cut.
"""
import os
import subprocess
import sys
import tempfile

MACHINE = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"App"="C:\\Program Files\\App\\app.exe"
"Gone"="C:\\Program Files\\Gone\\gone.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\txtfile\DefaultIcon]
@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\
  00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,73,00,68,00,\
  65,00,6c,00,6c,00,33,00,32,00,2e,00,64,00,6c,00,6c,00,2c,00,2d,00,31,00,35,\
  00,32,00,00,00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\App]
"Order"=hex:08,00,00,00
'''

FILES = [
    "Windows/System32/shell32.dll",
    "Windows/SysWOW64/shell32.dll",
    "Program Files/App/app.exe",
    "Users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/App/App.lnk",
]


def tree(folder):
    return sorted(os.path.relpath(os.path.join(d, n), folder)
                  for d, dirs, files in os.walk(folder) for n in dirs + files)


ENCODINGS = [
    # (what, file bytes, expected exit code, text the saved registry or the error must hold)
    ("ANSI without a mark", b'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"Caf\xe9"="x"\r\n', 0, '"Caf\u00e9"="x"'),
    ("UTF-16 with an odd byte count", b"\xff\xfe" + "Windows Registry Editor Version 5.00\r\n".encode("utf-16-le") + b"\x00",
     2, "odd byte count"),
]


def encoding_failures(program, work):
    failures = []
    for what, data, code, expected in ENCODINGS:
        machine = os.path.join(work, "encoded.reg")
        saved = os.path.join(work, "encoded-after.reg")
        with open(machine, "wb") as out:
            out.write(data)
        if os.path.exists(saved):
            os.remove(saved)
        run = subprocess.run([program, "--list-backups", "--machine", machine, "--save", saved],
                             capture_output=True, text=True, timeout=100)
        seen = open(saved, encoding="utf-16").read() if os.path.exists(saved) else run.stderr
        if run.returncode != code or expected not in seen:
            failures.append(f"{what}: exit code {run.returncode} (expected {code}), {expected!r} not in:\n{seen}")
    return failures


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        drive = os.path.join(work, "drive")
        for f in FILES:
            os.makedirs(os.path.dirname(os.path.join(drive, f)), exist_ok=True)
            with open(os.path.join(drive, f), "w") as out:
                out.write("x")
        machine = os.path.join(work, "machine.reg")
        with open(machine, "w", encoding="utf-8") as out:
            out.write(MACHINE)
        saved = os.path.join(work, "after.reg")
        before = tree(drive)
        run = subprocess.run([program, "--auto", "--machine", machine, "--drive", "C=" + drive, "--save", saved],
                             capture_output=True, text=True, timeout=100)
        failures = []
        if run.returncode != 0:
            failures.append(f"exit code {run.returncode}: {run.stderr}")
        if "Registry problems: 1 problems" not in run.stdout:
            failures.append("expected exactly one finding:\n" + run.stdout)
        after = tree(drive)
        if after != before:
            failures.append("the drive folder changed: added %s, removed %s"
                            % (sorted(set(after) - set(before)), sorted(set(before) - set(after))))
        registry = open(saved, encoding="utf-16").read() if os.path.exists(saved) else ""
        for kept in ['"App"=', "txtfile\\DefaultIcon]\n@=", "Programs\\App]"]:
            if kept not in registry:
                failures.append("a healthy entry was removed: " + kept)
        if '"Gone"=' in registry:
            failures.append("the entry whose program is gone was kept")
        failures += encoding_failures(program, work)
        for failure in failures:
            print("FAIL:", failure)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
