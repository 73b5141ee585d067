#!/usr/bin/python3
"""Prints an XML file as parsed, one element a line, indented two spaces a
level: the name, its namespace declarations, its attributes in document order
and its text after " = ". Names carry the usual prefix of their namespace (c:,
a:, xdr:, r:; none for SpreadsheetML and package relationships), chosen from
the namespace URI and not from the file's own prefixes, so a wrong binding
shows as a full {uri}name. Well-known URIs are shortened to <chart>, <main>,
<rel:drawing> and so on, here and in attribute values.

xml_outline.py FILE [PATH]: with PATH (an ElementTree path with those
prefixes, e.g. ".//c:ser"), every matching element is printed from depth 0,
each followed by a line "--", and nothing at all when none matches. A parse
error ends with status 1.

xml_outline.py --serve: reads requests "FILE<TAB>PATH" (PATH may be empty), one
a line, and answers each with what the command above prints, then a line
"@@end STATUS", so that one process serves a whole test."""

import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True

OOXML = "http://schemas.openxmlformats.org/"
PREFIXES = {
    OOXML + "drawingml/2006/chart": "c",
    OOXML + "drawingml/2006/main": "a",
    OOXML + "drawingml/2006/spreadsheetDrawing": "xdr",
    OOXML + "officeDocument/2006/relationships": "r",
    OOXML + "spreadsheetml/2006/main": "",
    OOXML + "package/2006/relationships": "",
}
SHORT = {
    OOXML + "drawingml/2006/chart": "<chart>",
    OOXML + "drawingml/2006/main": "<main>",
    OOXML + "drawingml/2006/spreadsheetDrawing": "<spreadsheetDrawing>",
    OOXML + "officeDocument/2006/relationships": "<officeRels>",
    OOXML + "spreadsheetml/2006/main": "<spreadsheet>",
    OOXML + "package/2006/relationships": "<packageRels>",
    OOXML + "officeDocument/2006/relationships/drawing": "<rel:drawing>",
    OOXML + "officeDocument/2006/relationships/chart": "<rel:chart>",
}


def name(qualified):
    if qualified.startswith("{"):
        uri, local = qualified[1:].split("}", 1)
        if uri in PREFIXES:
            prefix = PREFIXES[uri]
            return prefix + ":" + local if prefix else local
    return qualified


def parse(path):
    """The root, and the namespace declarations of each element."""
    declarations = {}
    pending = []
    root = None
    for event, item in ET.iterparse(path, events=("start-ns", "start")):
        if event == "start-ns":
            pending.append(item)
        else:
            root = root if root is not None else item
            declarations[item] = pending
            pending = []
    return root, declarations


def lines(element, declarations, depth, out):
    words = [name(element.tag)]
    for prefix, uri in declarations.get(element, []):
        words.append("xmlns%s=%s" % (":" + prefix if prefix else "", SHORT.get(uri, uri)))
    for key, value in element.attrib.items():
        words.append("%s=%s" % (name(key), SHORT.get(value, value)))
    line = "  " * depth + " ".join(words)
    if element.text:
        line += " = " + element.text
    out.append(line)
    for child in element:
        lines(child, declarations, depth + 1, out)


def outline(file, path):
    """What the script prints for FILE [PATH], and its exit status."""
    try:
        root, declarations = parse(file)
    except ET.ParseError as error:
        return "not well-formed: %s\n" % error, 1
    out = []
    if path:
        ns = {p: uri for uri, p in PREFIXES.items() if p}
        for match in root.findall(path, ns):
            lines(match, declarations, 0, out)
            out.append("--")
    else:
        lines(root, declarations, 0, out)
    return "".join(line + "\n" for line in out), 0


def serve():
    for request in sys.stdin:
        file, _, path = request.rstrip("\n").partition("\t")
        try:
            text, status = outline(file, path)
        except Exception as error:  # a missing file, a bad path: the test reports it
            text, status = "%s: %s\n" % (type(error).__name__, error), 1
        sys.stdout.write(text + "@@end %d\n" % status)
        sys.stdout.flush()
    return 0


def main():
    if sys.argv[1:] == ["--serve"]:
        return serve()
    text, status = outline(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "")
    sys.stdout.write(text)
    return status


if __name__ == "__main__":
    sys.exit(main())
