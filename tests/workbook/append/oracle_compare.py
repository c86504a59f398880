"""Compares workbooks before and after an append through independent readers (run with /usr/bin/python3).

Usage: oracle_compare.py [--libreoffice] BEFORE AFTER SHEET ADDED [BEFORE AFTER SHEET ADDED ...]
Checks with xlrd that every other sheet reads the same, that the target sheet keeps its old rows and
gained ADDED rows; with --libreoffice also that LibreOffice's CSV export of every other sheet is the same.
Prints each difference and exits 1 when there is any.
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

import xlrd


def cells(sheet):
    return [[(c.ctype, c.value) for c in sheet.row(r)] for r in range(sheet.nrows)]


def check_xlrd(before, after, target, added, problems):
    a = xlrd.open_workbook(before, formatting_info=False)
    b = xlrd.open_workbook(after, formatting_info=False)
    if a.sheet_names() != b.sheet_names():
        problems.append("%s: sheet names differ" % after)
        return
    for name in a.sheet_names():
        old, new = a.sheet_by_name(name), b.sheet_by_name(name)
        if name != target:
            if cells(old) != cells(new):
                problems.append("%s: xlrd reads sheet %r differently" % (after, name))
            continue
        if new.nrows != old.nrows + added:
            problems.append("%s: xlrd sees %d rows in %r, expected %d" % (after, new.nrows, name, old.nrows + added))
        for r in range(old.nrows):
            if cells(old)[r] != cells(new)[r][:old.ncols]:
                problems.append("%s: xlrd reads old row %d of %r differently" % (after, r, name))
                break


def export_csv(files, folder):
    profile = tempfile.mkdtemp(prefix="lo-profile-append-")
    try:
        subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--convert-to",
                        "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1",
                        "--outdir", folder] + files,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600, check=False)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def check_libreoffice(jobs, problems):
    work = tempfile.mkdtemp(prefix="append-oracle-")
    try:
        inputs = []
        for index, (before, after, target, added) in enumerate(jobs):
            for tag, path in (("before", before), ("after", after)):
                copy = os.path.join(work, "%s%d.xls" % (tag, index))
                shutil.copyfile(path, copy)
                inputs.append(copy)
        out = os.path.join(work, "csv")
        export_csv(inputs, out)
        for index, (before, after, target, added) in enumerate(jobs):
            old = sorted(glob.glob(os.path.join(out, "before%d-*.csv" % index)))
            if not old:
                problems.append("%s: LibreOffice exported nothing" % before)
                continue
            for path in old:
                sheet = os.path.basename(path)[len("before%d-" % index):-4]
                other = os.path.join(out, "after%d-%s.csv" % (index, sheet))
                if not os.path.exists(other):
                    problems.append("%s: LibreOffice lost sheet %r" % (after, sheet))
                    continue
                old_text = open(path, encoding="utf-8", errors="replace").read()
                new_text = open(other, encoding="utf-8", errors="replace").read()
                if sheet == target:
                    if not new_text.startswith(old_text.rstrip("\n")):
                        problems.append("%s: LibreOffice reads the old rows of %r differently" % (after, sheet))
                    elif new_text.count("\n") != old_text.count("\n") + added:
                        problems.append("%s: LibreOffice sees the wrong number of rows in %r" % (after, sheet))
                elif old_text != new_text:
                    problems.append("%s: LibreOffice reads sheet %r differently" % (after, sheet))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    libreoffice = "--libreoffice" in argv
    args = [a for a in argv if a != "--libreoffice"]
    jobs = [(args[i], args[i + 1], args[i + 2], int(args[i + 3])) for i in range(0, len(args), 4)]
    problems = []
    for job in jobs:
        check_xlrd(*job, problems=problems)
    if libreoffice:
        check_libreoffice(jobs, problems)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
