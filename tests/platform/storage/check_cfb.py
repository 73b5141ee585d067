# Independent reader for the compound-file tests, through olefile (strict: any
# structure olefile finds incorrect is a failure).
#   check_cfb.py verify FILE NAME EXPECTED   the file holds exactly stream NAME, bytes as EXPECTED
#   check_cfb.py dump FILE NAME OUT          writes stream NAME's bytes to OUT
#   check_cfb.py rewrite FILE NAME DATA      overwrites stream NAME in place with DATA (same size)
import sys

import olefile


def open_strict(path, write=False):
    ole = olefile.OleFileIO(path, write_mode=write, raise_defects=olefile.DEFECT_INCORRECT)
    if ole.parsing_issues:
        raise SystemExit("olefile found: %r" % (ole.parsing_issues,))
    return ole


def main():
    command, path, name, other = sys.argv[1:5]
    if command == "verify":
        ole = open_strict(path)
        if ole.listdir() != [[name]]:
            raise SystemExit("entries: %r" % (ole.listdir(),))
        got = ole.openstream(name).read()
        with open(other, "rb") as f:
            want = f.read()
        if got != want:
            first = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
            raise SystemExit("stream differs: %d bytes read, %d expected, first difference at %d"
                             % (len(got), len(want), first))
    elif command == "dump":
        with open(other, "wb") as f:
            f.write(open_strict(path).openstream(name).read())
    elif command == "rewrite":
        with open(other, "rb") as f:
            data = f.read()
        ole = open_strict(path, write=True)
        ole.write_stream(name, data)
        ole.close()
    else:
        raise SystemExit("unknown command " + command)


main()
