#!/usr/bin/python3
"""Reads the cell comments of an .xlsx workbook with openpyxl, then converts the
workbook to .ods with LibreOffice headless and reads the annotations there.
Usage: check_comments.py WORKBOOK WORKDIR EXPECTED.json PROFILE, where the JSON
is {"author": "...", "notes": [[sheet title, cell, text], ...]}, every sheet must
hold exactly the notes listed for it, and PROFILE is LibreOffice's
-env:UserInstallation value. Prints each difference; exits 1 on any."""

import json
import os
import re
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET

import openpyxl

TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"


def decode_escapes(text):
    """Spreadsheet text escapes a literal _xHHHH_ by writing its "_" as _x005F_;
    Excel and LibreOffice decode that in comments, openpyxl leaves it as written."""
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def column_letters(index):
    letters = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def paragraph_text(element):
    """The text of an ODF paragraph, with its space, tab and break elements."""
    out = element.text or ""
    for child in element:
        if child.tag == TEXT + "s":
            out += " " * int(child.get(TEXT + "c", "1"))
        elif child.tag == TEXT + "tab":
            out += "\t"
        elif child.tag == TEXT + "line-break":
            out += "\n"
        else:
            out += paragraph_text(child)
        out += child.tail or ""
    return out


def ods_annotations(path):
    """{(sheet, cell): text} of every annotation in the document."""
    found = {}
    with zipfile.ZipFile(path) as ods:
        root = ET.fromstring(ods.read("content.xml"))
    for table in root.iter(TABLE + "table"):
        name = table.get(TABLE + "name")
        row = 0
        for row_element in table.iter(TABLE + "table-row"):
            rows = int(row_element.get(TABLE + "number-rows-repeated", "1"))
            column = 0
            for cell in row_element:
                if cell.tag not in (TABLE + "table-cell", TABLE + "covered-table-cell"):
                    continue
                columns = int(cell.get(TABLE + "number-columns-repeated", "1"))
                note = cell.find(OFFICE + "annotation")
                if note is not None:
                    lines = [paragraph_text(p) for p in note.findall(TEXT + "p")]
                    found[(name, column_letters(column) + str(row + 1))] = "\n".join(lines)
                column += columns
            row += rows
    return found


def main():
    workbook, workdir, expected_path, profile = sys.argv[1:5]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    wanted = {(sheet, cell): text for sheet, cell, text in expected["notes"]}
    problems = []

    book = openpyxl.load_workbook(workbook)
    seen = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if cell.comment is not None:
                    seen[(sheet.title, cell.coordinate)] = cell.comment
    for key, text in wanted.items():
        comment = seen.get(key)
        if comment is None:
            problems.append("openpyxl: no comment at %s!%s" % key)
            continue
        if decode_escapes(comment.text) != text:
            problems.append("openpyxl: %s!%s reads %r, not %r" % (key + (comment.text, text)))
        if comment.author != expected["author"]:
            problems.append("openpyxl: %s!%s author %r" % (key + (comment.author,)))
    for key in seen.keys() - wanted.keys():
        problems.append("openpyxl: unexpected comment at %s!%s" % key)

    outdir = os.path.join(workdir, "ods")
    env = dict(os.environ, HOME=workdir)
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                    "--convert-to", "ods", "--outdir", outdir, workbook],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    ods = os.path.join(outdir, os.path.splitext(os.path.basename(workbook))[0] + ".ods")
    if not os.path.exists(ods):
        problems.append("LibreOffice did not convert the workbook")
    else:
        notes = ods_annotations(ods)
        for key, text in wanted.items():
            if key not in notes:
                problems.append("LibreOffice: no annotation at %s!%s" % key)
            elif notes[key] != text:
                problems.append("LibreOffice: %s!%s reads %r, not %r" % (key + (notes[key], text)))
        for key in notes.keys() - wanted.keys():
            problems.append("LibreOffice: unexpected annotation at %s!%s" % key)

    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
