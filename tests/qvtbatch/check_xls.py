#!/usr/bin/python3
"""Reads an .xls workbook with xlrd (formatting_info on) and compares it with
the expected workbook given as JSON:
{"sheets": [{"title": "...", "rows": [[null | number | "text", ...], ...]}],
 "header_bold": true | false | null, "wrap": true | false | null}.
An expected text "=date Y-M-D h:m:s[.micro]" is a date cell holding that
moment (a time of day has the day 0000-00-00) as closely as its double can,
that is within one step of the serial; any other text must be a text cell.
Every date cell's number format shows what its value holds: a time of day a
time, a whole day a date, any other value a date and a time. With header_bold
the header row's font must be bold (and the data rows' not); with wrap every
data cell but a date must wrap (or none).
Prints one line per difference and exits 1 when there is any."""

import datetime
import json
import math
import os
import sys
from fractions import Fraction

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import xlrd
from expected_grid import report, short, trimmed


MICRO_PER_DAY = 86400 * 10**6


class DateCell:
    """A date cell: its serial exactly, in microseconds, and how far from it the
    written moment may lie (one step of the double), with the moment as text."""

    def __init__(self, serial):
        self.micro = Fraction(serial) * MICRO_PER_DAY
        self.step = Fraction(math.ulp(serial)) * MICRO_PER_DAY
        days, micro = divmod(int(round(self.micro)), MICRO_PER_DAY)
        seconds, fraction = divmod(micro, 10**6)
        self.text = "=date %s %02d:%02d:%02d" % (day_text(days), seconds // 3600,
                                                 seconds // 60 % 60, seconds % 60)
        self.text += ".%06d" % fraction if fraction else ""


def day_text(days):
    if days <= 0:
        return "0000-00-00"
    # Serials before 61 count from 1899-12-31: Excel's 1900 has a 29 February.
    base = datetime.date(1899, 12, 31) if days < 61 else datetime.date(1899, 12, 30)
    if days >= 2958466:
        return "past 9999-12-31"
    return (base + datetime.timedelta(days)).isoformat()


def serial_micro(moment):
    """The exact serial, in microseconds, of "Y-M-D h:m:s[.micro]"."""
    day, time = moment.split(" ")
    days = 0
    if day != "0000-00-00":
        date = datetime.date.fromisoformat(day)
        base = datetime.date(1899, 12, 31) if date < datetime.date(1900, 3, 1) else datetime.date(1899, 12, 30)
        days = (date - base).days
    hms, _, fraction = time.partition(".")
    h, m, sec = (int(x) for x in hms.split(":"))
    return days * MICRO_PER_DAY + ((h * 60 + m) * 60 + sec) * 10**6 + int(fraction.ljust(6, "0") or 0)


def value(book, cell):
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return None
    if cell.ctype == xlrd.XL_CELL_DATE:
        return DateCell(cell.value)
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return ("text", cell.value)
    return cell.value


def same(actual, expected):
    if expected is None:
        return actual is None
    if isinstance(expected, str):
        if expected.startswith("=date "):
            return isinstance(actual, DateCell) and \
                abs(actual.micro - serial_micro(expected[len("=date "):])) <= actual.step
        return isinstance(actual, tuple) and actual[1] == expected
    if isinstance(actual, (tuple, str, DateCell)) or actual is None:
        return False
    return float(actual) == float(expected)


def format_problem(serial, format_str):
    """What is wrong with a date cell's number format for its value, or None."""
    code = format_str.lower()
    shows_day, shows_time = "y" in code or "d" in code, "h" in code or "s" in code
    if serial < 1:
        wanted = (False, True)
    elif serial == int(serial):
        wanted = (True, False)
    else:
        wanted = (True, True)
    if (shows_day, shows_time) == wanted:
        return None
    return "format %r for the serial %r" % (format_str, serial)


def shown(v):
    if isinstance(v, DateCell):
        return v.text
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
                if sheet.cell(r, c).ctype == xlrd.XL_CELL_DATE:
                    problem = format_problem(sheet.cell(r, c).value, book.format_map[xf.format_key].format_str)
                    if problem:
                        problems.append("%r row %d column %d: %s" % (sheet.name, r + 1, c + 1, problem))
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
