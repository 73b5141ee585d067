"""The opponent of xls_write_bench: xlwt (Debian python3-xlwt) writing the same
generated rows. Usage: xls_write_bench_xlwt.py DESTINATION ROWS
The generator must stay value for value equal to make_row in xls_write_bench.cpp."""
import sys

import xlwt

NAMES = ["id", "amount", "day", "stamp", "ratio", "customer", "note", "small", "code", "flag"]


def make_row(i):
    return [
        i * 7 - 1000,
        (i * 37 % 100000) / 100,
        ("date", 40000 + i % 3000),
        ("stamp", 40000 + i % 5000 + (i % 86400) / 86400.0),
        i * 1.25 / 3,
        "customer %d" % (i % 100),
        "line one\nline two %d" % (i % 1000),
        None if i % 3 == 0 else i % 50,
        "id-%d" % i,
        i % 2 == 1,
    ]


def main():
    destination, rows = sys.argv[1], int(sys.argv[2])
    book = xlwt.Workbook()
    sheet = book.add_sheet("bench")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    stamp = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    for c, name in enumerate(NAMES):
        sheet.write(0, c, name)
    for i in range(1, rows + 1):
        row = sheet.row(i)
        for c, v in enumerate(make_row(i)):
            if v is None:
                continue
            if isinstance(v, tuple):
                row.write(c, v[1], date if v[0] == "date" else stamp)
            else:
                row.write(c, v)
        if i % 1000 == 0:
            sheet.flush_row_data()
    book.save(destination)


main()
