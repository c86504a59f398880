#!/usr/bin/python3
"""Reads the real-world workbooks of tests/corpus with veltrum-xls and checks them against xlrd.

Usage: check_corpus.py VELTRUM_XLS CORPUS_DIR
Every file xlrd opens as BIFF8 must read cell by cell as xlrd reads it. Every other file (BIFF5 and
older, or damaged) must be refused: exit status 1 and a message naming the file, never a crash or a
hang. Damaged means xlrd cannot open it, or its compound-file header cannot be right (xlrd reads on
past such a header). Where xlrd 1.2 gives up for a reason that touches no cell, the file is read
with those checks relaxed (see relaxed_xlrd) and the verdict line says so.
Fails when the corpus folder holds no workbooks.
"""

import glob
import os
import struct
import sys

from oracle_common import (compare_readings, open_with_xlrd, relaxed_xlrd, run_tool, tool_reading,
                           xlrd_reading)

def header_damage(path):
    """Why the compound-file header cannot be right, or None: xlrd overlooks an allocation table
    said to be longer than the whole file."""
    with open(path, "rb") as f:
        header = f.read(512)
    if len(header) < 512 or header[:8] != b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
        return None
    sector_size = 1 << struct.unpack_from("<H", header, 30)[0]
    table_sectors = struct.unpack_from("<I", header, 44)[0]
    if table_sectors * sector_size > os.path.getsize(path):
        return "header claims %d allocation-table sectors, more than the file holds" % table_sectors
    return None


def xlrd_verdict(path):
    """(book, note) for a BIFF8 file xlrd reads (note says when only relaxed xlrd does), else
    (None, the reason it is not one)."""
    damage = header_damage(path)
    if damage:
        return None, damage
    try:
        book, note = open_with_xlrd(path), None
    except Exception as error:
        strict_error = "%s: %s" % (type(error).__name__, str(error)[:80])
        try:
            with relaxed_xlrd():
                book = open_with_xlrd(path)
            note = "read by relaxed xlrd; strict xlrd: " + strict_error
        except Exception:
            return None, "xlrd cannot open it (%s)" % strict_error
    if book.biff_version != 80:
        return None, "BIFF version %d" % book.biff_version
    return book, note


def check_refused(tool, path):
    problems = []
    for command in (["sheets", path], ["dump", path]):
        status, out, err = run_tool(tool, *command)
        if status != 1:
            problems.append("%s: exit status %s instead of 1 %s" % (command[0], status, err.strip()[:200]))
        elif os.path.basename(path) not in err:
            problems.append("%s: message does not name the file: %r" % (command[0], err.strip()[:200]))
    return problems


def main():
    tool, corpus = sys.argv[1:3]
    paths = sorted(glob.glob(os.path.join(corpus, "xls", "*", "*.xls")))
    if not paths:
        print("no workbooks under %s/xls: the corpus is missing" % corpus)
        return 1
    # xlrd prints its own warnings about damaged files; they are not this test's output.
    sys.stdout.flush()
    failures = 0
    for path in paths:
        name = os.path.relpath(path, os.path.join(corpus, "xls"))
        devnull = os.open(os.devnull, os.O_WRONLY)
        saved = os.dup(1)
        os.dup2(devnull, 1)
        try:
            book, note = xlrd_verdict(path)
            theirs = xlrd_reading(book) if book else None
        finally:
            os.dup2(saved, 1)
            os.close(saved)
            os.close(devnull)
        if book is not None:
            try:
                problems = compare_readings(tool_reading(tool, path), theirs)
            except RuntimeError as error:
                problems = [str(error)]
            verdict = "reads as xlrd does" if not problems else "DIFFERS from xlrd"
            verdict += " (%s)" % note if note else ""
        else:
            problems = check_refused(tool, path)
            verdict = ("refused (%s)" % note) if not problems else "NOT REFUSED PROPERLY (%s)" % note
        print("%-55s %s" % (name, verdict))
        for p in problems:
            print("    " + p)
        failures += bool(problems)
    print("%d of %d corpus files fail" % (failures, len(paths)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
