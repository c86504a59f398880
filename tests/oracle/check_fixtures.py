#!/usr/bin/python3
"""Reads every fixture workbook with veltrum-xls and checks it cell by cell against another reader.

Usage: check_fixtures.py VELTRUM_XLS FOLDER xlrd|libreoffice   (every .xls under FOLDER)
  xlrd         `veltrum-xls dump` against python3-xlrd, kinds and values exactly.
  libreoffice  `veltrum-xls cat` of every sheet against the CSV LibreOffice exported from the same
               file (committed in FOLDER/csv by make_fixtures.py, so no LibreOffice runs here).
"""

import csv
import glob
import io
import os
import re
import sys

from oracle_common import open_with_xlrd, run_tool, tool_reading, xlrd_reading, compare_readings

US_DATE = re.compile(r"^(\d\d)/(\d\d)/(\d{4})$")
US_TIME = re.compile(r"^(\d\d):(\d\d):(\d\d)(\.\d+)? (AM|PM)$")
US_DATETIME = re.compile(r"^(\d\d)/(\d\d)/(\d{4}) (\d\d:\d\d:\d\d(?:\.\d+)?)( AM| PM)?$")


def check_xlrd(tool, path):
    return compare_readings(tool_reading(tool, path), xlrd_reading(open_with_xlrd(path)))


def clock_24(hours, minutes, seconds, fraction, half):
    h = int(hours) % 12 + (12 if half == "PM" else 0)
    return "%02d:%s:%s%s" % (h, minutes, seconds, fraction or "")


def normalise_libreoffice(field, kind):
    """LibreOffice's raw-value CSV text of a cell in the form veltrum-xls prints, given the cell's kind.

    Each rewrite undoes one habit of LibreOffice's export, nothing else:
    - numbers: at most 15 significant digits, exponents as E+015, a percent format kept as "25%";
      the tool's shortest round-trip text is therefore compared after rounding to 15 digits;
    - booleans: written as 1 and 0;
    - dates and times: kept as written when the cell's format is ISO 8601, otherwise in the en-US
      defaults MM/DD/YYYY and hh:mm:ss AM/PM.
    """
    if kind == "number":
        if field.endswith("%"):
            return repr(float(field[:-1]) / 100)
        return repr(float(field))
    if kind == "boolean":
        return {"1": "TRUE", "0": "FALSE"}.get(field, field)
    if kind in ("date", "time", "datetime"):
        m = US_DATE.match(field)
        if m:
            return "%s-%s-%s" % (m.group(3), m.group(1), m.group(2))
        m = US_TIME.match(field)
        if m:
            return clock_24(*m.groups())
        m = US_DATETIME.match(field)
        if m:
            clock = m.group(4)
            if m.group(5):
                hours, minutes, rest = clock.split(":", 2)
                seconds, _, fraction = rest.partition(".")
                clock = clock_24(hours, minutes, seconds, "." + fraction if fraction else "",
                                 m.group(5).strip())
            return "%s-%s-%s %s" % (m.group(3), m.group(1), m.group(2), clock)
    return field


def normalise_tool(field, kind):
    if kind == "number":
        return repr(float("%.15g" % float(field)))
    return field


def trimmed(rows):
    """Rows without trailing empty fields and without trailing empty rows: LibreOffice pads every
    row to the sheet's widest, which says nothing about the cells."""
    rows = [list(row) for row in rows]
    for row in rows:
        while row and row[-1] == "":
            row.pop()
    while rows and not rows[-1]:
        rows.pop()
    return rows


def check_libreoffice(tool, path, csv_dir):
    problems = []
    stem = os.path.splitext(os.path.basename(path))[0]
    reading = tool_reading(tool, path)
    exports = glob.glob(os.path.join(csv_dir, stem + "-*.csv"))
    exported = sorted(os.path.basename(p)[len(stem) + 1:-len(".csv")] for p in exports)
    if exported != sorted(reading["sheets"]):
        problems.append("sheets %r, LibreOffice exported %r" % (reading["sheets"], exported))
    for sheet in reading["sheets"]:
        expected_path = os.path.join(csv_dir, "%s-%s.csv" % (stem, sheet))
        if not os.path.exists(expected_path):
            problems.append("%s: no LibreOffice export %s" % (sheet, expected_path))
            continue
        with open(expected_path, encoding="utf-8", newline="") as f:
            expected = trimmed(csv.reader(f))
        status, out, err = run_tool(tool, "cat", path, sheet)
        if status != 0:
            problems.append("%s: veltrum-xls cat exited with %s: %s" % (sheet, status, err.strip()))
            continue
        actual = trimmed(csv.reader(io.StringIO(out, newline="")))
        kinds = {position: kind for position, (kind, _) in reading[sheet]["cells"].items()}
        for r in range(max(len(expected), len(actual))):
            want = expected[r] if r < len(expected) else []
            got = actual[r] if r < len(actual) else []
            for c in range(max(len(want), len(got))):
                kind = kinds.get((r, c), "no cell")
                w = want[c] if c < len(want) else ""
                g = got[c] if c < len(got) else ""
                try:
                    same = normalise_tool(g, kind) == normalise_libreoffice(w, kind)
                except ValueError:
                    same = False
                if not same:
                    problems.append("%s!R%dC%d (%s): veltrum-xls %r, LibreOffice %r" %
                                    (sheet, r + 1, c + 1, kind, g, w))
    return problems


def main():
    tool, fixtures, oracle = sys.argv[1:4]
    paths = sorted(glob.glob(os.path.join(fixtures, "**", "*.xls"), recursive=True))
    if not paths:
        print("no fixtures in %s" % fixtures)
        return 1
    failures = 0
    for path in paths:
        try:
            if oracle == "xlrd":
                problems = check_xlrd(tool, path)
            else:
                problems = check_libreoffice(tool, path, os.path.join(fixtures, "csv"))
        except Exception as error:  # a failing reader must fail the check, not stop the others
            problems = ["%s: %s" % (type(error).__name__, error)]
        name = os.path.relpath(path, fixtures)
        print("%-32s %s" % (name, "agrees with " + oracle if not problems else "DIFFERS"))
        for p in problems[:30]:
            print("    " + p)
        failures += bool(problems)
    print("%d of %d fixtures differ" % (failures, len(paths)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
