#!/usr/bin/python3
"""Writes the parameter workbooks the whole-session scenarios run on into tests/scenarios/fixtures/.
Each is a CSV named after its sheet ("Parameters") converted by LibreOffice into an Excel 97 workbook.
Run it again after changing a table; it checks every result with xlrd.
"""
import os
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "fixtures")
HEADER = ["Parameter", "MagTrain", "Auto", "SuccDisc", "SimDisc"]
NAMES = ["TotalTrials", "SessionDuration", "HeadDetect", "StimulusTotalCount", "Instrumental", "Pavlovian",
         "HopperDuration", "ResponseITI", "NoResponseITI", "FIDuration"]

# Short sessions: MagTrain waits for head entries, Auto feeds at the end of the stimulus (Pavlovian).
MAIN = [
    [3, 4, 12, 12],
    [5, 5, 10, 10],
    [1, 0, 0, 0],
    [5, 5, 5, 5],
    [0, 1, 1, 1],
    [0, 1, 0, 0],
    [3, 3, 3, 3],
    [4, 4, 4, 4],
    [6, 6, 6, 6],
    [1000, 1000, 1000, 1000],
]
# MagTrain times food from the rise, Auto without Pavlovian feeding, SuccDisc Pavlovian with 9 trials,
# SimDisc with 15 trials (two blocks, 12 rows).
ALT = [
    [3, 4, 9, 15],
    [5, 5, 10, 10],
    [0, 1, 0, 0],
    [5, 5, 5, 5],
    [0, 1, 1, 1],
    [0, 0, 1, 0],
    [3, 3, 3, 3],
    [4, 4, 4, 4],
    [6, 6, 6, 6],
    [1000, 1000, 1000, 1000],
]
# Trial counts at and over the schedule's 200 rows.
LIMITS = [row[:] for row in MAIN]
LIMITS[0] = [201, 200, 204, 200]


def convert(name, columns):
    work = tempfile.mkdtemp(prefix="veltrum-scenario-")
    try:
        source = os.path.join(work, "Parameters.csv")
        with open(source, "w", newline="") as f:
            f.write(",".join(HEADER) + "\n")
            for r, values in enumerate(columns):
                f.write(",".join([NAMES[r]] + [str(v) for v in values]) + "\n")
        profile = "file://" + os.path.join(work, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--infilter=CSV:44,34,76,1,,1033,true,false", "--convert-to", "xls:MS Excel 97",
                        "--outdir", work, source], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.move(os.path.join(work, "Parameters.xls"), os.path.join(OUT, name + ".xls"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    import xlrd
    table = xlrd.open_workbook(os.path.join(OUT, name + ".xls")).sheet_by_name("Parameters")
    assert table.nrows == 11 and table.ncols == 5, name


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, columns in (("params_main", MAIN), ("params_alt", ALT), ("params_limits", LIMITS)):
        convert(name, columns)


if __name__ == "__main__":
    main()
