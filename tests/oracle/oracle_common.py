"""What veltrum-xls and python3-xlrd make of a workbook, in one shape, and the cell-by-cell comparison.

A reading is {"sheets": [names in order], sheet name: {"rows": R, "cols": C, "cells": {(r, c): (kind, value)}}}
with kind one of blank, number, text, boolean, error, date, time, datetime; dates as days since 1899-12-30.
"""

import contextlib
import json
import math
import re
import subprocess

import xlrd
import xlrd.book
import xlrd.compdoc

DATE_KINDS = ("date", "time", "datetime")
# Longest a single tool run may take; a reader stuck in a loop fails the test instead of hanging it.
TOOL_TIMEOUT_SECONDS = 120


def run_tool(tool, *arguments):
    """Runs veltrum-xls; returns (exit status, stdout text, stderr text). A timeout counts as status None."""
    try:
        done = subprocess.run([tool, *arguments], capture_output=True, timeout=TOOL_TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired:
        return None, "", "timed out after %d s" % TOOL_TIMEOUT_SECONDS
    return (done.returncode, done.stdout.decode("utf-8", "surrogateescape"),
            done.stderr.decode("utf-8", "surrogateescape"))


def tool_reading(tool, path):
    """veltrum-xls dump FILE as a reading; raises RuntimeError with the tool's message on failure."""
    status, out, err = run_tool(tool, "dump", path)
    if status != 0:
        raise RuntimeError("veltrum-xls dump exited with %s: %s" % (status, err.strip()))
    reading = {"sheets": []}
    for line in out.splitlines():
        # parse_int=float makes every number a double, as the cells hold them.
        record = json.loads(line, parse_int=float)
        name = record["sheet"]
        if "kind" not in record:
            reading["sheets"].append(name)
            reading[name] = {"rows": int(record["rows"]), "cols": int(record["cols"]), "cells": {}}
            continue
        kind, value = record["kind"], record["value"]
        if kind == "error":
            value = int(value)
        reading[name]["cells"][(int(record["row"]), int(record["col"]))] = (kind, value)
    return reading


def open_with_xlrd(path):
    """The workbook as xlrd opens it, with formatting so that blank cells are kept."""
    return xlrd.open_workbook(path, formatting_info=True)


@contextlib.contextmanager
def relaxed_xlrd():
    """xlrd 1.2 without one refusal that concerns no cell: it crashes on a defined name whose formula
    it cannot evaluate. (Its refusal of a file whose sector chains run into each other stands: such a
    file is damaged, and veltrum-xls refuses it too.)"""
    original = xlrd.book.Book.names_epilogue
    xlrd.book.Book.names_epilogue = lambda self: None
    try:
        yield
    finally:
        xlrd.book.Book.names_epilogue = original


def format_kind(book, xf_index):
    """Which of date, time, datetime a date-formatted cell is, judged from the format string;
    None where the format names neither days nor clock parts (month or era only)."""
    text = book.format_map[book.xf_list[xf_index].format_key].format_str
    text = re.sub(r'"[^"]*"|\[[^\]]*\]|\\.|_.|\*.', "", text).lower()
    has_date = "y" in text or "d" in text or "e" in text
    has_time = "h" in text or "s" in text
    if has_date and has_time:
        return "datetime"
    if has_date:
        return "date"
    if has_time:
        return "time"
    return None


def xlrd_reading(book):
    reading = {"sheets": [], "date_kinds": {}}
    shift = 1462.0 if book.datemode == 1 else 0.0
    for sheet in book.sheets():
        cells = {}
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                cell = sheet.cell(r, c)
                t = cell.ctype
                if t == xlrd.XL_CELL_EMPTY:
                    continue
                if t == xlrd.XL_CELL_BLANK:
                    cells[(r, c)] = ("blank", None)
                elif t == xlrd.XL_CELL_TEXT:
                    cells[(r, c)] = ("text", cell.value)
                elif t == xlrd.XL_CELL_NUMBER:
                    cells[(r, c)] = ("number", float(cell.value))
                elif t == xlrd.XL_CELL_DATE:
                    kind = format_kind(book, cell.xf_index)
                    # A time of day or a duration is not an instant: it keeps its value in either system.
                    cells[(r, c)] = ("date", float(cell.value) + (0.0 if kind == "time" else shift))
                    reading["date_kinds"][(sheet.name, r, c)] = kind
                elif t == xlrd.XL_CELL_BOOLEAN:
                    cells[(r, c)] = ("boolean", bool(cell.value))
                elif t == xlrd.XL_CELL_ERROR:
                    cells[(r, c)] = ("error", int(cell.value))
        reading["sheets"].append(sheet.name)
        # The extent of the cell records: xlrd's own nrows and ncols also cover merged areas.
        rows = max((r + 1 for r, _ in cells), default=0)
        cols = max((c + 1 for _, c in cells), default=0)
        reading[sheet.name] = {"rows": rows, "cols": cols, "cells": cells}
    return reading


def same_double(a, b):
    """Bit-exact equality of two doubles, except that the sign of zero is not told apart (the tool
    writes -0 as 0, a value no spreadsheet shows differently)."""
    if isinstance(a, float) and isinstance(b, float):
        if math.isnan(a) or math.isnan(b):
            return math.isnan(a) and math.isnan(b)
        return a == b
    return False


def compare_readings(ours, theirs, limit=20):
    """Differences between the tool's reading and xlrd's, as messages (at most `limit`)."""
    problems = []
    if ours["sheets"] != theirs["sheets"]:
        return ["sheets %r, xlrd has %r" % (ours["sheets"], theirs["sheets"])]
    for name in ours["sheets"]:
        a, b = ours[name], theirs[name]
        if (a["rows"], a["cols"]) != (b["rows"], b["cols"]):
            problems.append("%s: %d rows x %d cols, xlrd has %d x %d" %
                            (name, a["rows"], a["cols"], b["rows"], b["cols"]))
        for position in sorted(set(a["cells"]) | set(b["cells"])):
            mine = a["cells"].get(position, ("no cell", None))
            other = b["cells"].get(position, ("no cell", None))
            where = "%s!R%dC%d" % (name, position[0] + 1, position[1] + 1)
            if not cells_agree(mine, other, theirs["date_kinds"].get((name,) + position)):
                problems.append("%s: %r, xlrd has %r" % (where, mine, other))
            if len(problems) >= limit:
                return problems + ["... (stopped after %d differences)" % limit]
    return problems


def cells_agree(mine, other, date_kind):
    kind, value = mine
    other_kind, other_value = other
    if kind in DATE_KINDS:
        if other_kind != "date" or (date_kind is not None and kind != date_kind):
            return False
        return same_double(value, other_value)
    if kind != other_kind:
        return False
    if kind == "number":
        return same_double(value, other_value)
    return value == other_value
