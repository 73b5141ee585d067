# Builds a version 4 compound file (4,096-byte sectors, 64-bit stream sizes),
# which none of the tools at hand write: one stream of up to 1 MiB, in the mini
# stream below 4,096 bytes. olefile checks the result before the tests use it.
#   make_cfb_v4.py FILE NAME DATA
import struct
import sys

SECTOR = 4096
END, FREE, FATSECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFF


def entry(name, kind, child, start, size):
    encoded = name.encode("utf-16-le")
    return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded) + 2, kind, 1)
            + struct.pack("<III", NOSTREAM, NOSTREAM, child) + bytes(16 + 4 + 16)
            + struct.pack("<IQ", start, size))


def unused():
    return bytes(68) + struct.pack("<III", NOSTREAM, NOSTREAM, NOSTREAM) + bytes(48)


def main():
    path, name, data_path = sys.argv[1:4]
    with open(data_path, "rb") as f:
        data = f.read()
    assert len(data) <= 1 << 20
    mini = len(data) < 4096
    mini_sectors = (len(data) + 63) // 64 if mini else 0
    body = data.ljust(mini_sectors * 64, b"\0") if mini else data
    data_sectors = (len(body) + SECTOR - 1) // SECTOR
    mini_fat = 1 if mini_sectors else 0
    directory = data_sectors + mini_fat
    fat_at = directory + 1
    fat = [END if i == data_sectors - 1 else i + 1 for i in range(data_sectors)]
    fat += [END] * mini_fat + [END, FATSECT]
    fat += [FREE] * (SECTOR // 4 - len(fat))

    header = bytearray(SECTOR)
    header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", header, 24, 0x3E, 4, 0xFFFE, 12, 6)
    struct.pack_into("<IIIIIIIII", header, 40, 1, 1, directory, 0, 4096,
                     data_sectors if mini_fat else END, mini_fat, END, 0)
    struct.pack_into("<109I", header, 76, fat_at, *([FREE] * 108))

    out = bytes(header) + body.ljust(data_sectors * SECTOR, b"\0")
    if mini_fat:
        chain = [END if i == mini_sectors - 1 else i + 1 for i in range(mini_sectors)]
        out += struct.pack("<1024I", *(chain + [FREE] * (1024 - mini_sectors)))
    root_start = 0 if mini_sectors else END
    entries = entry("Root Entry", 5, 1, root_start, mini_sectors * 64)
    entries += entry(name, 2, NOSTREAM, 0 if data else END, len(data))
    out += entries + unused() * (SECTOR // 128 - 2)
    out += struct.pack("<1024I", *fat)
    with open(path, "wb") as f:
        f.write(out)


main()
