"""What the workbook checkers (tests/xlsx/check_cells.py, tests/qvtbatch/check_xls.py)
share: the expected grid as the reader's grid is compared with it, and the report
of the differences. Imported by path; it writes no bytecode into the tree."""


def trimmed(rows):
    """The grid without trailing empty rows and columns."""
    grid = [list(r) for r in rows]
    while grid and all(v is None for v in grid[-1]):
        grid.pop()
    width = 0
    for r in grid:
        for i, v in enumerate(r):
            if v is not None:
                width = max(width, i + 1)
    return [(r + [None] * width)[:width] for r in grid]


def short(value):
    """repr of a value, cut for a report line."""
    text = repr(value)
    return text if len(text) <= 80 else text[:60] + "...(%d chars)" % len(text)


def report(problems):
    """Prints the first 50 differences; the checker's exit status."""
    for p in problems[:50]:
        print(p)
    return 1 if problems else 0
