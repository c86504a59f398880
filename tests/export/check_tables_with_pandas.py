#!/usr/bin/python3
"""The exported tables as an analyst loads them: pandas reads both CSV files and both SQLite tables with
the right column types, and every row of every workbook and recovery file (an independent reader, xlrd,
counts and reads them) is there once, with its values.

Usage: check_tables_with_pandas.py EXPORT_FIXTURE VELTRUM_EXPORT"""
import csv
import datetime
import os
import sqlite3
import subprocess
import sys
import tempfile

import pandas as pd
import xlrd

fixture, tool = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="veltrum-export-pandas-")
data, out = os.path.join(work, "Veltrum"), os.path.join(work, "tables")
database = os.path.join(work, "tables.sqlite")
subprocess.run([fixture, "make", data], check=True)
run = subprocess.run([tool, "--data", data, "--out", out, "--sqlite", database], capture_output=True, text=True)
assert run.returncode == 0, run.stderr
print(run.stdout, end="")

INTEGER = ["session", "row", "phase", "trial_type", "trial", "ordinal", "goal", "response", "correction_trial"]
REAL = ["session_time", "trial_time"]
TEXT = ["subject", "date", "phase_name", "outcome", "source_file", "source_kind"]


def check_types(frame, integer, real, text, what):
    for column in integer:
        assert frame[column].dtype == "int64", (what, column, frame[column].dtype)
    for column in real:
        assert frame[column].dtype == "float64", (what, column, frame[column].dtype)
    for column in text:
        assert frame[column].dtype == object, (what, column, frame[column].dtype)


trials = pd.read_csv(os.path.join(out, "trials.csv"), encoding="utf-8")
check_types(trials, INTEGER, REAL, TEXT, "trials.csv")
pd.to_datetime(trials["date"], format="%Y-%m-%d")  # every date is ISO 8601

# What an independent reader finds, file by file: the workbooks' rows and the recovery files' records.
expected = {}
results = os.path.join(data, "Results")
for name in sorted(os.listdir(results)):
    path = os.path.join(results, name)
    if name.endswith(".xls") and name not in ("Session_Template.xls", "Results_Summary.xls"):
        sheet = xlrd.open_workbook(path).sheet_by_name("Data")
        header = sheet.row_values(0)
        rows = []
        for r in range(1, sheet.nrows):
            values = dict(zip(header, sheet.row_values(r)))
            values["Date"] = datetime.date(*xlrd.xldate_as_tuple(values["Date"], 0)[:3]).isoformat()
            rows.append(values)
        expected["Results/" + name] = rows
for folder, prefix in ((results, "Results/"), (data, "")):
    for name in os.listdir(folder):
        if ".rows-not-in-workbook" in name:
            with open(os.path.join(folder, name), newline="", encoding="utf-8") as f:
                expected[prefix + name] = list(csv.DictReader(f))

kinds = dict(trials.groupby("source_file")["source_kind"].first())
assert kinds["Results/S001.2.not-saved.xls"] == "not-saved", kinds
assert kinds["Results/S001.4.discarded.xls"] == "discarded", kinds
assert kinds["Results/S001.3.rows-not-in-workbook.csv"] == "recovery", kinds
assert kinds["S001.3.rows-not-in-workbook-2.csv"] == "recovery", kinds
counts = trials.groupby("source_file").size().to_dict()
assert counts == {f: len(rows) for f, rows in expected.items()}, (counts, expected.keys())
for source, group in trials.groupby("source_file"):
    for (_, line), values in zip(group.sort_values("row").iterrows(), expected[source]):
        assert line["session_time"] == float(values["SessionTime"]), (source, line, values)
        assert line["trial_time"] == float(values["TrialTime"]), (source, line, values)
        assert line["outcome"] == values["Outcome"] and line["date"] == values["Date"], (source, line, values)
        assert line["trial"] == int(float(values["Trial"])), (source, line, values)
print(f"trials.csv: {len(trials)} rows from {len(expected)} files, as xlrd and csv read them")

sessions = pd.read_csv(os.path.join(out, "sessions.csv"), encoding="utf-8")
check_types(sessions, ["session", "row", "box", "phase", "trials", "duration", "target", "screen", "timeouts",
                       "tt", "sed", "hasp", "haes", "ihhd", "hd", "iti", "titi", "sd"],
            ["hop_pc", "trial_pc", "target_dr", "target_rate", "pre_target_dr"],
            ["subject", "date", "time", "phase_name", "program_version", "shaping_keys"], "sessions.csv")
summary = xlrd.open_workbook(os.path.join(results, "Results_Summary.xls")).sheet_by_name("All")
assert len(sessions) == summary.nrows - 1, (len(sessions), summary.nrows)
quoted = sessions[sessions["subject"] == 'P,Q "x"'].iloc[0]
assert quoted["comments"] == 'SHAPING KEYS USED. a comment, with "quotes"', quoted
print(f"sessions.csv: {len(sessions)} sessions, as in the summary")

with sqlite3.connect(database) as db:
    from_db = pd.read_sql("SELECT * FROM trials", db)
    check_types(from_db, INTEGER, REAL, TEXT, "trials table")
    assert len(from_db) == len(trials)
    sessions_db = pd.read_sql("SELECT * FROM sessions", db)
    assert len(sessions_db) == len(sessions) and sessions_db["hop_pc"].dtype == "float64"
    plan = " ".join(str(row) for row in db.execute(
        "EXPLAIN QUERY PLAN SELECT * FROM trials WHERE subject = 'S001' AND session = 2"))
    assert "SEARCH" in plan and "PRIMARY KEY" in plan, plan
    plan = " ".join(str(row) for row in db.execute(
        "EXPLAIN QUERY PLAN SELECT * FROM sessions WHERE subject = 'S001' AND session = 2"))
    assert "SEARCH" in plan and "sessions_by_session" in plan, plan
print("SQLite: both tables, typed, a subject's session found through the keys")

subprocess.run(["rm", "-rf", work], check=True)
