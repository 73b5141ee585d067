#!/usr/bin/python3
"""Reads an .xls workbook with xlrd (formatting_info on) and compares it with
the expected workbook given as JSON:
{"sheets": [{"title": "...", "rows": [[null | number | "text", ...], ...]}],
 "header_bold": true | false | null, "wrap": true | false | null}.
An expected text "=date Y-M-D h:m:s[.micro]" is a date cell holding that
moment (a time of day has the day 0000-00-00); any other text must be a text cell. With header_bold the header row's font must be
bold (and the data rows' not); with wrap every data cell but a date must wrap
(or none).
Prints one line per difference and exits 1 when there is any."""

import datetime
import json
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import xlrd
from expected_grid import report, short, trimmed


def value(book, cell):
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return None
    if cell.ctype == xlrd.XL_CELL_DATE:
        # The day by xlrd, the time to the microsecond from the serial itself
        # (xlrd rounds to the second).
        micro_per_day = 86400 * 10**6
        days, micro = divmod(int(round(cell.value * micro_per_day)), micro_per_day)
        day = "0000-00-00"
        if days > 0:
            # Serials before 61 count from 1899-12-31: Excel's 1900 has a 29 February.
            base = datetime.date(1899, 12, 31) if days < 61 else datetime.date(1899, 12, 30)
            day = (base + datetime.timedelta(days)).isoformat()
        seconds, fraction = divmod(micro, 10**6)
        text = "=date %s %02d:%02d:%02d" % (day, seconds // 3600, seconds // 60 % 60, seconds % 60)
        return text + (".%06d" % fraction if fraction else "")
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return ("text", cell.value)
    return cell.value


def same(actual, expected):
    if expected is None:
        return actual is None
    if isinstance(expected, str):
        if expected.startswith("=date "):
            return actual == expected
        return isinstance(actual, tuple) and actual[1] == expected
    if isinstance(actual, (tuple, str)) or actual is None:
        return False
    return float(actual) == float(expected)


def shown(v):
    return short(v[1] if isinstance(v, tuple) else v)


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    book = xlrd.open_workbook(path, formatting_info=True)
    problems = []
    titles = [s.name for s in book.sheets()]
    want_titles = [s["title"] for s in expected["sheets"]]
    if titles != want_titles:
        problems.append("titles %r, expected %r" % (titles, want_titles))
    bold_wanted = expected.get("header_bold")
    wrap_wanted = expected.get("wrap")
    for sheet, want in zip(book.sheets(), expected["sheets"]):
        got = trimmed([[value(book, sheet.cell(r, c)) for c in range(sheet.row_len(r))]
                       for r in range(sheet.nrows)])
        want_grid = trimmed(want["rows"])
        if len(got) != len(want_grid):
            problems.append("%r: %d rows, expected %d" % (sheet.name, len(got), len(want_grid)))
        for r, (got_row, want_row) in enumerate(zip(got, want_grid)):
            if len(got_row) != len(want_row):
                problems.append("%r row %d: %d columns, expected %d"
                                % (sheet.name, r + 1, len(got_row), len(want_row)))
            for c, (g, w) in enumerate(zip(got_row, want_row)):
                if not same(g, w):
                    problems.append("%r row %d column %d: %s, expected %s"
                                    % (sheet.name, r + 1, c + 1, shown(g), shown(w)))
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                if sheet.cell(r, c).ctype == xlrd.XL_CELL_EMPTY:
                    continue
                xf = book.xf_list[sheet.cell_xf_index(r, c)]
                if bold_wanted is not None:
                    bold = book.font_list[xf.font_index].bold
                    if bold != (bold_wanted and r == 0):
                        problems.append("%r row %d column %d: bold %r" % (sheet.name, r + 1, c + 1, bold))
                # Date cells keep the date formats of their own, which the
                # restyling leaves as they are.
                if wrap_wanted is not None and r > 0 and sheet.cell(r, c).ctype != xlrd.XL_CELL_DATE:
                    wrap = bool(xf.alignment.text_wrapped)
                    if wrap != wrap_wanted:
                        problems.append("%r row %d column %d: wrap %r" % (sheet.name, r + 1, c + 1, wrap))
    return report(problems)


if __name__ == "__main__":
    sys.exit(main())
