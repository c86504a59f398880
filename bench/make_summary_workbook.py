#!/usr/bin/python3
"""Writes a summary workbook of many sessions (sheet "All", the 29 summary columns) with LibreOffice.

Usage: make_summary_workbook.py OUT.xls ROWS [--comments]   (run with /usr/bin/python3; needs python3-uno)

--comments gives every session a long operator comment of its own (about 380 characters, some of them
outside Latin-1, so stored as UTF-16), as a lab's ten-year summary holds: that is what makes such a
workbook large.
"""

import datetime
import random
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # keeps __pycache__ out of the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))

from layouts import (DATE_FORMAT, SUMMARY_COLUMNS, TIME_FORMAT, number_format, serial,  # noqa: E402
                     summary_row, use_sheet)
from libreoffice import LibreOffice  # noqa: E402

SUBJECTS = 40
PARAMETERS = [60, 50, 0, 10, 1, 0, 3, 30, 45, 2000]


def long_comment(i):
    """A comment of its own for session i, filling "Comments" and part of "Comments2"."""
    words = ("calm", "pecked steadily", "slow start", "hopper checked", "light flickered", "weighed %d g",
             "keys stiff", "good session", "re-seated", "cleaned screen", "late by %d min", "fed %d pellets")
    pick = random.Random(i)
    text = "Session %d \u2013 " % i
    while len(text) < 380:
        word = pick.choice(words)
        text += (word % pick.randint(1, 500) if "%d" in word else word) + "; "
    return text[:380]


def rows(count, comments=False):
    """Sessions of SUBJECTS subjects in turn, one day apart per round, phases rising every 20 sessions."""
    first_day = datetime.date(2020, 1, 6)
    for i in range(count):
        subject, round_number = i % SUBJECTS, i // SUBJECTS
        session = round_number + 1
        row = summary_row("P%03d" % (100 + subject), first_day + datetime.timedelta(days=round_number),
                          datetime.time(8 + subject % 10, (7 * i) % 60, (13 * i) % 60), 12345 + subject % 4,
                          session, min(4, 1 + round_number // 20), 60, 0.5 + (i % 7) / 10, 0.75, 0.6,
                          0.25, 50, 30 + i % 9, 40 + i % 11, i % 5, PARAMETERS,
                          ("SHAPING KEYS USED. " if i % 50 == 0 else "") + (long_comment(i) if comments else ""))
        values = []
        for name in SUMMARY_COLUMNS:
            value = row[name]
            if name in ("Date", "Time"):
                value = serial(value)
            elif value is None:
                value = ""
            elif not isinstance(value, str):
                value = float(value)
            values.append(value)
        yield tuple(values)


def main():
    out, count = sys.argv[1], int(sys.argv[2])
    comments = "--comments" in sys.argv[3:]
    with LibreOffice() as lo:
        doc = lo.new_spreadsheet()
        sheet = use_sheet(doc, 0, "All")
        last_column = len(SUMMARY_COLUMNS) - 1
        sheet.getCellRangeByPosition(0, 0, last_column, 0).setDataArray((tuple(SUMMARY_COLUMNS),))
        sheet.getCellRangeByPosition(0, 1, last_column, count).setDataArray(tuple(rows(count, comments)))
        sheet.Columns.getByIndex(SUMMARY_COLUMNS.index("Date")).NumberFormat = number_format(doc, DATE_FORMAT)
        sheet.Columns.getByIndex(SUMMARY_COLUMNS.index("Time")).NumberFormat = number_format(doc, TIME_FORMAT)
        lo.store_xls(doc, out)
        doc.close(True)


if __name__ == "__main__":
    main()
