#!/usr/bin/python3
"""Writes the summary and parameter workbooks the session tests read into tests/session/fixtures/.

Each workbook is written as a CSV named after its sheet ("All", "Parameters") and converted by
LibreOffice into an Excel 97 workbook. Quoted CSV fields stay text, so "12" below is a text cell.
Run it again after changing a table; it checks every result with xlrd.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "fixtures")

SUMMARY_HEADER = ["Subject", "Box", "Session", "Phase", "Trials"]
PARAM_HEADER = ["Parameter", "MagTrain", "Auto", "SuccDisc", "SimDisc"]
PARAM_NAMES = ["TotalTrials", "SessionDuration", "HeadDetect", "StimulusTotalCount", "Instrumental",
               "Pavlovian", "HopperDuration", "ResponseITI", "NoResponseITI", "FIDuration"]

# Summary rows: B1 in ascending session order; C7 in phase 3; a row with a blank subject; a subject
# stored as the number 12; rows that only fail when their subject is loaded.
SUMMARY_MAIN = [
    ["B1", 1, 1, 1, 40],
    ["C7", 1, 1, 3, 40],
    ["B1", 1, 2, 1, 40],
    [None, 1, 9, 4, 40],
    ["B1", 1, 3, 2, 40],
    [12, 1, 5, 2, 40],
    ["P0", 1, 1, 0, 40],
    ["P5", 1, 1, 5, 40],
    ["BadSession", 1, "x", 1, 40],
    ["BlankPhase", 1, 1, None, 40],
]
# B1 in the order 3, 1, 2, one row written in lower case.
SUMMARY_SHUFFLED = [
    ["B1", 1, 3, 2, 40],
    ["b1", 1, 1, 1, 40],
    ["B1", 1, 2, 1, 40],
]

# One column per phase, values told apart by phase.
PARAMS_STANDARD = [
    [10, 20, 30, 40],
    [31, 32, 33, 34],
    [1, 0, 2, 1],
    [5, 6, 7, 8],
    [0, 1, 1, 1],
    [1, 0, 0, 0],
    [3, 4, 5, 6],
    [11, 12, 13, 14],
    [21, 22, 23, 24],
    [0, 500, 1000, 1500],
]
# MagTrain: conversions that succeed; Auto, SuccDisc, SimDisc: one failing cell each.
PARAMS_CONVERSIONS = [
    [1.5, 10, 10, 10],
    [2.5, 30, 30, 30],
    [2, 1, 1, 1],
    ["12", 5, 5, 5],
    ["1", 1, 1, 1],
    [None, 0, 0, 0],
    [32, 33, 4, 4],
    [-0.5, 3, 3, "ten"],
    [3.5, 3, 40000, 3],
    [32767, 0, 0, 0],
]

# Auto: a blank count; SuccDisc: a negative duration; SimDisc: a flag that is not a number (reads as 0).
PARAMS_FAULTS = [row[:] for row in PARAMS_STANDARD]
PARAMS_FAULTS[0][1] = None
PARAMS_FAULTS[1][2] = -5
PARAMS_FAULTS[2][3] = "x"


def write_csv(path, header, rows):
    with open(path, "w", newline="") as f:
        f.write(",".join(header) + "\n")
        for row in rows:
            # Quoted fields become text cells; numbers are written bare, blanks as nothing.
            cells = []
            for value in row:
                if value is None:
                    cells.append("")
                elif isinstance(value, str):
                    cells.append('"' + value + '"')
                else:
                    cells.append(repr(value))
            f.write(",".join(cells) + "\n")


def convert(name, sheet, header, rows):
    work = tempfile.mkdtemp(prefix="veltrum-fixture-")
    try:
        source = os.path.join(work, sheet + ".csv")
        write_csv(source, header, rows)
        profile = "file://" + os.path.join(work, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--infilter=CSV:44,34,76,1,,1033,true,false", "--convert-to", "xls:MS Excel 97",
                        "--outdir", work, source], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.move(os.path.join(work, sheet + ".xls"), os.path.join(OUT, name + ".xls"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def params_rows(columns):
    return [[PARAM_NAMES[r]] + columns[r] for r in range(len(columns))]


def check(name, sheet, expected_rows):
    import xlrd
    book = xlrd.open_workbook(os.path.join(OUT, name + ".xls"))
    table = book.sheet_by_name(sheet)
    assert table.nrows == expected_rows + 1, (name, table.nrows)
    for r in range(1, table.nrows):
        for c, cell in enumerate(table.row(r)):
            if cell.ctype == xlrd.XL_CELL_TEXT and cell.value.strip() == "":
                sys.exit(name + ": an empty text cell at row %d column %d" % (r + 1, c + 1))


def main():
    os.makedirs(OUT, exist_ok=True)
    files = [
        ("summary_main", "All", SUMMARY_HEADER, SUMMARY_MAIN),
        ("summary_shuffled", "All", SUMMARY_HEADER, SUMMARY_SHUFFLED),
        ("summary_header_only", "All", SUMMARY_HEADER, []),
        ("summary_without_phase", "All", ["Subject", "Session"], [["B1", 1]]),
        ("params_standard", "Parameters", PARAM_HEADER, params_rows(PARAMS_STANDARD)),
        ("params_conversions", "Parameters", PARAM_HEADER, params_rows(PARAMS_CONVERSIONS)),
        ("params_faults", "Parameters", PARAM_HEADER, params_rows(PARAMS_FAULTS)),
        ("params_nine_rows", "Parameters", PARAM_HEADER, params_rows(PARAMS_STANDARD[:9])),
        ("params_four_columns", "Parameters", PARAM_HEADER[:4],
         [[PARAM_NAMES[r]] + PARAMS_STANDARD[r][:3] for r in range(10)]),
    ]
    for name, sheet, header, rows in files:
        convert(name, sheet, header, rows)
        check(name, sheet, len(rows))
    # A workbook whose only sheet is not the parameter sheet.
    convert("params_wrong_sheet", "Sheet1", PARAM_HEADER, params_rows(PARAMS_STANDARD))


if __name__ == "__main__":
    main()
