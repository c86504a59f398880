#!/usr/bin/python3
"""A Results folder with what a shared lab may put in it: a "workbook" that is a PNG, a folder named like a
workbook, a named pipe, a 2 GB sparse file, a symbolic link named like a workbook, and a session workbook
appended to while the export runs. Each is reported, none stops the export, and nothing in the data folder
changes (names, kinds, sizes, times and contents compared before and after).

Usage: check_hostile_folder.py EXPORT_FIXTURE VELTRUM_EXPORT"""
import hashlib
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

fixture, tool = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="veltrum-export-hostile-")
data, out = os.path.join(work, "Veltrum"), os.path.join(work, "tables")
results = os.path.join(data, "Results")
subprocess.run([fixture, "make", data], check=True)

with open(os.path.join(results, "X.2.xls"), "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + bytes(200))
os.mkdir(os.path.join(results, "X.1.xls"))
os.mkfifo(os.path.join(results, "F.1.xls"))
with open(os.path.join(results, "Big.1.xls"), "wb") as f:
    f.truncate(2 * 1024 ** 3)
shutil.copy(os.path.join(results, "S001.1.xls"), os.path.join(work, "elsewhere.xls"))
os.symlink(os.path.join(work, "elsewhere.xls"), os.path.join(results, "L.1.xls"))
os.symlink("/etc/passwd", os.path.join(results, "L.1.rows-not-in-workbook.csv"))
LIVE = "Live.1.xls"


def snapshot(skip_live):
    """Every entry of the data folder (and the folders' own times) with its kind, size, time, blocks, and the
    hash of its contents."""
    listing = {}
    for folder, _, names in os.walk(data):
        if not skip_live:
            listing[folder] = os.lstat(folder).st_mtime_ns
        for name in names + [d for d in os.listdir(folder) if os.path.isdir(os.path.join(folder, d))]:
            if skip_live and name.lstrip(".").startswith(LIVE):
                continue
            path = os.path.join(folder, name)
            status = os.lstat(path)
            entry = (oct(status.st_mode), status.st_size, status.st_mtime_ns, status.st_ino, status.st_blocks)
            if skip_live and stat.S_ISDIR(status.st_mode):
                entry = (oct(status.st_mode), status.st_ino)  # the session's writes change its folder
            if os.path.islink(path):
                entry += (os.readlink(path),)
            elif stat.S_ISREG(status.st_mode) and status.st_size < 64 * 1024 ** 2:
                # (The sparse file is told by its size, time and blocks: a write would give it blocks.)
                digest = hashlib.sha256()
                with open(path, "rb") as f:
                    for block in iter(lambda: f.read(1 << 22), b""):
                        digest.update(block)
                entry += (digest.hexdigest(),)
            listing[path] = entry
    return listing


def export(timeout=60):
    run = subprocess.run([tool, "--data", data, "--out", out], capture_output=True, text=True, timeout=timeout)
    assert run.returncode == 3, (run.returncode, run.stdout, run.stderr)
    for reported in ("Results/X.2.xls: ", "Results/X.1.xls: a folder", "Results/F.1.xls: a named pipe",
                     "Results/Big.1.xls: 2.1 GB, larger than any file the program writes",
                     "Results/L.1.xls: a symbolic link", "Results/L.1.rows-not-in-workbook.csv: a symbolic link"):
        assert "veltrum-export: skipped " + reported in run.stderr, (reported, run.stderr)
    return run


# The hostile files alone: reported, and the data folder exactly as it was, down to the folders' times.
before = snapshot(skip_live=False)
first = export()
print(first.stderr, end="")
assert snapshot(skip_live=False) == before, "the export changed the data folder"
with open(os.path.join(out, "trials.csv"), encoding="utf-8") as f:
    exported = f.read()
assert "elsewhere" not in exported and "root:" not in exported

# A session being written: appended in place, row by row, while exports run.
shutil.copy(os.path.join(results, "Session_Template.xls"), os.path.join(results, LIVE))
subprocess.run([fixture, "append-live", os.path.join(results, LIVE), "Live", "1", "40"], check=True)
open(os.path.join(results, "." + LIVE + ".journal"), "w").close()
before = snapshot(skip_live=True)
appender = subprocess.Popen([fixture, "append-live", os.path.join(results, LIVE), "Live", "1", "400"])
seen, left = [], 0
while appender.poll() is None or not seen:
    run = export()
    if "left for the next export: Results/" + LIVE in run.stderr:
        left += 1
        continue
    with open(os.path.join(out, "trials.csv"), encoding="utf-8") as f:
        rows = [line.split(",") for line in f if line.startswith("Live,1,")]
    # One consistent state: rows 1..n in order, each the one the session wrote, flagged live.
    assert [int(r[2]) for r in rows] == list(range(1, len(rows) + 1)), rows
    assert all(r[-1].strip() == "live" for r in rows), rows[:1]
    session_times = [float(r[9]) for r in rows]
    expected = [round(12.0 + (i if i < 40 else i - 40) * 7.37, 2) for i in range(len(rows))]
    assert session_times == expected, (session_times, expected)
    seen.append(len(rows))
assert appender.wait() == 0
after = snapshot(skip_live=True)
assert after == before, [(k, before.get(k), after.get(k)) for k in before.keys() | after.keys()
                         if before.get(k) != after.get(k)]
print(f"while the session was written: {len(seen)} exports read it ({seen[0]} to {seen[-1]} rows), "
      f"{left} left it for the next export")
shutil.rmtree(work)
