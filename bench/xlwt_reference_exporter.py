#!/usr/bin/python3
"""The reference exporter of the .xls benchmark: reads one SELECT from MySQL
with PyMySQL's streaming cursor (SSCursor, one row at a time) and writes it with
xlwt into one BIFF8 sheet, header row first, dates as date cells.
  xlwt_reference_exporter.py HOST PORT USER PASSWORD DATABASE SELECT SHEET OUT.xls"""
import datetime
import decimal
import sys

import pymysql
import pymysql.cursors
import xlwt


def main():
    host, port, user, password, database, select, sheet_name, out = sys.argv[1:9]
    connection = pymysql.connect(host=host, port=int(port), user=user, password=password,
                                 database=database, charset="utf8mb4",
                                 cursorclass=pymysql.cursors.SSCursor)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet(sheet_name)
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    moment_style = xlwt.easyxf(num_format_str="YYYY-MM-DD HH:MM:SS")
    with connection.cursor() as cursor:
        cursor.execute(select)
        for c, column in enumerate(cursor.description):
            sheet.write(0, c, column[0])
        r = 1
        for row in cursor:
            write = sheet.row(r).write
            for c, v in enumerate(row):
                if v is None:
                    continue
                if isinstance(v, datetime.datetime):
                    write(c, v, moment_style)
                elif isinstance(v, datetime.date):
                    write(c, v, date_style)
                elif isinstance(v, decimal.Decimal):
                    write(c, float(v))
                elif isinstance(v, (bytes, bytearray)):
                    write(c, "<Binary Field>")
                else:
                    write(c, v)
            r += 1
            if r % 1000 == 0:
                sheet.flush_row_data()
    connection.close()
    book.save(out)


if __name__ == "__main__":
    main()
