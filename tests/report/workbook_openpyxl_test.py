#!/usr/bin/env python3
"""vornix7-report's workbook as openpyxl reads it: the cell types (the time a
date-time in yyyy-mm-dd hh:mm:ss, the device name text and never a formula,
each reading a number, no reading an empty cell, the status text), the
frozen header with its filter, and the summary sheet's figures.
Usage: workbook_openpyxl_test.py REPORT_TOOL WORK_DIR"""
import datetime
import os
import subprocess
import sys
import tempfile

import openpyxl

tool, work = sys.argv[1], sys.argv[2]
failures = []
os.makedirs(work, exist_ok=True)


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: {got!r}, expected {expected!r}")


with tempfile.TemporaryDirectory(dir=work) as d:
    log = f"{d}/log.txt"
    lines = [
        b"2026-12-07 10:00:00,'=SUM(1+1),21.5,-3.25,OK",
        b"2026-12-07 10:00:05,'=SUM(1+1),-2048000.,-2048000.,ERROR",
        b"not a line",
        b'2026-12-07 10:00:10,"Lab, \xc2\xb0C",22.,0.125,OK',
        b"2026-12-07 10:00:15,-x,20.,OK",
    ]
    with open(log, "wb") as f:
        f.write(b"\r\n".join(lines) + b"\r\n2026-12-07 10:00:20,Lab,2")
    book = f"{d}/book.xlsx"
    run = subprocess.run([tool, log, "--xlsx", book], capture_output=True, text=True, timeout=60)
    check("exit status", run.returncode, 3)
    check("the unreadable line named", f"{log}:3: " in run.stderr, True)

    wb = openpyxl.load_workbook(book)
    check("sheets", wb.sheetnames, ["Summary", "Polls"])
    ws = wb["Polls"]
    check("header", [c.value for c in ws[1]], ["Time", "Device", "t0", "t1", "Status"])
    check("frozen", ws.freeze_panes, "A2")
    check("filter", ws.auto_filter.ref, "A1:E5")
    check("rows", ws.max_row, 5)
    t = datetime.datetime(2026, 12, 7, 10, 0, 0)
    expected = [
        (t, "=SUM(1+1)", 21.5, -3.25, "OK"),
        (t + datetime.timedelta(seconds=5), "=SUM(1+1)", None, None, "ERROR"),
        (t + datetime.timedelta(seconds=10), "Lab, \u00b0C", 22.0, 0.125, "OK"),
        (t + datetime.timedelta(seconds=15), "-x", 20.0, None, "OK"),
    ]
    for r, row in enumerate(expected, start=2):
        cells = ws[r]
        time, name = cells[0], cells[1]
        check(f"A{r} is a date-time", (time.is_date, time.value), (True, row[0]))
        check(f"A{r} format", time.number_format, "yyyy-mm-dd hh:mm:ss")
        check(f"B{r} is text", (name.data_type, name.value), ("s", row[1]))
        for c in (2, 3):
            cell = cells[c]
            want = ("n", row[c]) if row[c] is not None else ("n", None)
            check(f"{cell.coordinate}", (cell.data_type, cell.value), want)
            if row[c] is not None:
                check(f"{cell.coordinate} is a number", isinstance(cell.value, (int, float)), True)
        check(f"E{r} is text", (cells[4].data_type, cells[4].value), ("s", row[4]))
    check("Time column wide enough", ws.column_dimensions["A"].width >= 19, True)

    s = wb["Summary"]
    figures = {row[0].value: row[1].value for row in s.iter_rows(min_row=1, max_col=2) if row[0].value}
    check("polls", figures.get("Polls"), 4)
    check("OK", figures.get("OK"), 3)
    check("ERROR", figures.get("ERROR (device offline)"), 1)
    check("offline spells", figures.get("Offline spells"), 1)
    check("longest", figures.get("Longest offline spell"), datetime.timedelta(seconds=5))
    check("first poll", figures.get("First poll"), t)
    check("lines not read", figures.get("Lines not read"), 1)
    sensors = {
        row[0].value: [c.value for c in row[1:5]] for row in s.iter_rows(max_col=5) if str(row[0].value)[:1] == "t"
    }
    # The mean as written with 16 significant digits.
    for name, want in (("t0", [3, 20, 22, (21.5 + 22 + 20) / 3]), ("t1", [2, -3.25, 0.125, (-3.25 + 0.125) / 2])):
        got = sensors.get(name) or [None] * 4
        check(name, got[:3], want[:3])
        check(f"{name} mean", got[3] is not None and abs(got[3] - want[3]) < 1e-12, True)

if failures:
    print("\n".join("FAILED: " + f for f in failures), file=sys.stderr)
    sys.exit(1)
print("openpyxl: every cell of the known log as expected")
