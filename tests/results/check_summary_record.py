"""Appends two summary records with write_summary_records and reads them back with xlrd: every column
must hold the kind of cell the next start-up and the operator's spreadsheet expect."""
import shutil
import subprocess
import sys
import tempfile

import xlrd

writer, demo_summary = sys.argv[1], sys.argv[2]
NUMBER, TEXT, DATE, EMPTY = xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_TEXT, xlrd.XL_CELL_DATE, xlrd.XL_CELL_EMPTY

with tempfile.TemporaryDirectory() as folder:
    path = folder + "/Results_Summary.xls"
    shutil.copy(demo_summary, path)
    before = xlrd.open_workbook(path).sheet_by_name("All").nrows
    subprocess.run([writer, path], check=True)
    book = xlrd.open_workbook(path, formatting_info=False)
    sheet = book.sheet_by_name("All")
    assert sheet.nrows == before + 2, sheet.nrows
    header = [c.value for c in sheet.row(0)]

    def row(index):
        return {name: sheet.cell(index, header.index(name)) for name in header}

    def expect(cells, name, kind, value):
        cell = cells[name]
        assert (cell.ctype, cell.value) == (kind, value), (name, cell.ctype, cell.value)

    counted, nothing = row(before), row(before + 1)
    expect(counted, "Subject", TEXT, "P101")
    date = xlrd.xldate_as_tuple(counted["Date"].value, book.datemode)
    assert counted["Date"].ctype == DATE and date == (2026, 1, 5, 0, 0, 0), date
    assert counted["Time"].ctype == DATE and counted["Time"].value < 1.0, counted["Time"]
    assert xlrd.xldate_as_tuple(counted["Time"].value, book.datemode)[3:] == (10, 20, 30)
    expect(counted, "Box", NUMBER, 12345.0)
    expect(counted, "Session", NUMBER, 4.0)
    expect(counted, "ProgramVersion", TEXT, "Version 6.1")
    expect(counted, "HopPC", TEXT, "0.75")
    expect(counted, "TrialPC", TEXT, "0.50")
    expect(counted, "TargetDR", TEXT, "0.70")
    expect(counted, "TargetRate", TEXT, "0.10")
    expect(counted, "PreTargetDR", TEXT, "0.50")
    expect(counted, "Duration", TEXT, "12")
    expect(counted, "Screen", TEXT, "8")
    expect(counted, "TT", NUMBER, 40.0)
    expect(counted, "ShapingKeys", TEXT, "Yes")
    assert len(counted["Comments"].value) == 255 and len(counted["Comments2"].value) == 45

    expect(nothing, "HopPC", NUMBER, 0.0)
    expect(nothing, "TrialPC", NUMBER, 0.0)
    expect(nothing, "TargetDR", NUMBER, 0.0)
    expect(nothing, "TargetRate", NUMBER, 0.0)
    expect(nothing, "Screen", TEXT, "0")
    expect(nothing, "ShapingKeys", TEXT, "No")
    expect(nothing, "Comments", EMPTY, "")
print("summary records read back with the expected kinds")
