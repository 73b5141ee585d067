#!/usr/bin/python3
"""Reads an .xlsx workbook with openpyxl, in normal and in read-only mode, and
compares every cell with the expected workbook given as JSON:
{"sheets": [{"title": "...", "rows": [[null | number | "text", ...], ...]}]}.
Read-only mode trusts the sheet's dimension, so it also proves that element.
Prints one line per difference and exits 1 when there is any."""

import json
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import openpyxl
from expected_grid import report, short, trimmed


def same(actual, expected):
    if expected is None:
        return actual is None
    if isinstance(expected, str):
        return isinstance(actual, str) and actual == expected
    if isinstance(actual, bool) or not isinstance(actual, (int, float)):
        return False
    return float(actual) == float(expected)


def check(path, expected, read_only):
    mode = "read-only" if read_only else "normal"
    problems = []
    book = openpyxl.load_workbook(path, read_only=read_only, data_only=True)
    want_titles = [s["title"] for s in expected["sheets"]]
    if book.sheetnames != want_titles:
        problems.append("%s: titles %r, expected %r" % (mode, book.sheetnames, want_titles))
    for sheet, want in zip(book.worksheets, expected["sheets"]):
        want_grid = trimmed(want["rows"])
        got_grid = trimmed(sheet.iter_rows(values_only=True))
        if read_only and want_grid:
            dims = (sheet.max_row, sheet.max_column)
            want_dims = (len(want_grid), len(want_grid[0]))
            if dims != want_dims:
                problems.append("%s %r: dimension %r, expected %r"
                                % (mode, sheet.title, dims, want_dims))
        if len(got_grid) != len(want_grid):
            problems.append("%s %r: %d rows, expected %d"
                            % (mode, sheet.title, len(got_grid), len(want_grid)))
        for r, (got_row, want_row) in enumerate(zip(got_grid, want_grid), start=1):
            if len(got_row) != len(want_row):
                problems.append("%s %r row %d: %d columns, expected %d"
                                % (mode, sheet.title, r, len(got_row), len(want_row)))
            for c, (got, wanted) in enumerate(zip(got_row, want_row), start=1):
                if not same(got, wanted):
                    problems.append("%s %r row %d column %d: %s, expected %s"
                                    % (mode, sheet.title, r, c, short(got), short(wanted)))
    if read_only:
        book.close()
    return problems


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    problems = check(path, expected, False) + check(path, expected, True)
    return report(problems)


if __name__ == "__main__":
    sys.exit(main())
