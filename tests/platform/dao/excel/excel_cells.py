"""Prints what xlrd reads from a .xls workbook, one line per sheet and per
non-empty cell, for the workbook tests to compare:
  S <name as JSON> <rows> <columns>
  <row>,<column> n <number as repr> <format> | s <text as JSON> | b <0 or 1>
  | d <y-m-d h:m:s, or #serial before 1900-03-01> <format>
"""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for sheet in book.sheets():
    print("S", json.dumps(sheet.name, ensure_ascii=False), sheet.nrows, sheet.ncols)
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            kind = cell.ctype
            if kind in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            where = "%d,%d" % (r, c)
            if kind == xlrd.XL_CELL_TEXT:
                print(where, "s", json.dumps(cell.value, ensure_ascii=False))
            elif kind == xlrd.XL_CELL_BOOLEAN:
                print(where, "b", int(cell.value))
            elif kind == xlrd.XL_CELL_DATE:
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                if 1 <= cell.value < 61:  # xlrd refuses the days around 1900-02-29
                    print(where, "d", "#%r" % cell.value, fmt)
                    continue
                y, mo, d, h, mi, s = xlrd.xldate_as_tuple(cell.value, book.datemode)
                print(where, "d", "%04d-%02d-%02d %02d:%02d:%02d" % (y, mo, d, h, mi, s), fmt)
            elif kind == xlrd.XL_CELL_NUMBER:
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                print(where, "n", repr(cell.value), fmt)
            else:
                print(where, "?", kind, cell.value)
