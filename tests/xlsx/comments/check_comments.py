#!/usr/bin/python3
"""Reads the cell comments of an .xlsx workbook with openpyxl, then converts the
workbook to .ods with LibreOffice headless and reads the annotations there, with
the boxes that show them.
Usage: check_comments.py WORKBOOK WORKDIR EXPECTED.json PROFILE, where the JSON
is {"author": "...", "notes": [[sheet title, cell, text, box], ...]}, every sheet
must hold exactly the notes listed for it, and PROFILE is LibreOffice's
-env:UserInstallation value. A box [left, top, width, height] in points must be
where LibreOffice draws the note; a null box must be a readable one (at least
1.2 by 0.6 inches) that begins just right of its cell or ends just left of it,
level with the cell or the row above (at the grid's last rows: ending level
with the cell). Prints each difference; exits 1 on any."""

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
STYLE = "{urn:oasis:names:tc:opendocument:xmlns:style:1.0}"
SVG = "{urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0}"


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


def inches(length):
    """An ODF length ("0.8299in", "2.1cm") in inches."""
    number, unit = re.fullmatch(r"(-?[0-9.]+)([a-z]+)", length).groups()
    return float(number) / {"in": 1, "cm": 2.54, "mm": 25.4, "pt": 72}[unit]


class Edges:
    """Where the columns or rows of a table begin, in inches, from their runs
    of repeated sizes."""

    def __init__(self):
        self.runs = []  # (first index, count, size)

    def add(self, count, size):
        first = self.runs[-1][0] + self.runs[-1][1] if self.runs else 0
        self.runs.append((first, count, size))

    def start(self, index):
        at = 0.0
        for first, count, size in self.runs:
            if index < first + count:
                return at + (index - first) * size
            at += count * size
        return at

    def size(self, index):
        for first, count, size in self.runs:
            if index < first + count:
                return size
        return 0.0


def ods_annotations(path):
    """{(sheet, cell): (text, box, cell box)} of every annotation in the
    document; each box is (x, y, width, height) in inches."""
    found = {}
    with zipfile.ZipFile(path) as ods:
        root = ET.fromstring(ods.read("content.xml"))
    sizes = {}
    for style in root.iter(STYLE + "style"):
        for props, key in ((STYLE + "table-column-properties", STYLE + "column-width"),
                           (STYLE + "table-row-properties", STYLE + "row-height")):
            element = style.find(props)
            if element is not None and element.get(key):
                # LibreOffice keeps sizes in twips and writes them rounded to
                # 1/10000 in; summed over 16,000 columns the rounded widths
                # would drift more than half an inch from where it draws.
                twips = round(inches(element.get(key)) * 1440)
                sizes[style.get(STYLE + "name")] = twips / 1440
    for table in root.iter(TABLE + "table"):
        name = table.get(TABLE + "name")
        columns, rows = Edges(), Edges()
        for column_element in table.iter(TABLE + "table-column"):
            columns.add(int(column_element.get(TABLE + "number-columns-repeated", "1")),
                        sizes.get(column_element.get(TABLE + "style-name"), 0.0))
        for row_element in table.iter(TABLE + "table-row"):
            rows.add(int(row_element.get(TABLE + "number-rows-repeated", "1")),
                     sizes.get(row_element.get(TABLE + "style-name"), 0.0))
        row = 0
        for row_element in table.iter(TABLE + "table-row"):
            column = 0
            for cell in row_element:
                if cell.tag not in (TABLE + "table-cell", TABLE + "covered-table-cell"):
                    continue
                note = cell.find(OFFICE + "annotation")
                if note is not None:
                    lines = [paragraph_text(p) for p in note.findall(TEXT + "p")]
                    box = tuple(inches(note.get(SVG + key, "0in"))
                                for key in ("x", "y", "width", "height"))
                    cell_box = (columns.start(column), rows.start(row), columns.size(column),
                                rows.size(row))
                    found[(name, column_letters(column) + str(row + 1))] = (
                        "\n".join(lines), box, cell_box)
                column += int(cell.get(TABLE + "number-columns-repeated", "1"))
            row += int(row_element.get(TABLE + "number-rows-repeated", "1"))
    return found


def box_problem(box, cell_box, wanted):
    """Why the note's box is not the one wanted, or None."""
    x, y, width, height = box
    if wanted is not None:
        points = tuple(value / 72 for value in wanted)
        if any(abs(a - b) > 0.02 for a, b in zip(box, points)):
            return "box %s, not %s" % (show(box), show(points))
        return None
    left, top, cell_width, row_height = cell_box
    if width < 1.2 or height < 0.6:
        return "box %s is too small to read" % show(box)
    right_of = left + cell_width - 0.01 <= x <= left + cell_width + 0.5
    left_of = left - 0.5 <= x + width <= left + 0.01
    # Level with the cell or the row above, or at the grid's last rows ending
    # level with the cell.
    level = (top - row_height - 0.5 <= y <= top + 0.5
             or top <= y + height <= top + row_height + 0.5)
    if not (right_of or left_of) or not level:
        return "box %s is not beside the cell at %s" % (show(box), show(cell_box))
    return None


def show(box):
    return "(" + ", ".join("%.3fin" % value for value in box) + ")"


def main():
    workbook, workdir, expected_path, profile = sys.argv[1:5]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    wanted = {(sheet, cell): text for sheet, cell, text, _ in expected["notes"]}
    boxes = {(sheet, cell): box for sheet, cell, _, box in expected["notes"]}
    problems = []

    book = openpyxl.load_workbook(workbook)
    seen = {}
    for sheet in book.worksheets:
        # The cells the sheet holds, not every cell up to its last one: a note
        # on the grid's last cell would make that a walk over the whole grid.
        for cell in sheet._cells.values():
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
                continue
            found, box, cell_box = notes[key]
            if found != text:
                problems.append("LibreOffice: %s!%s reads %r, not %r" % (key + (found, text)))
            problem = box_problem(box, cell_box, boxes[key])
            if problem:
                problems.append("LibreOffice: %s!%s: %s" % (key + (problem,)))
        for key in notes.keys() - wanted.keys():
            problems.append("LibreOffice: unexpected annotation at %s!%s" % key)

    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
