#!/usr/bin/env python3
"""Writes small ".pkg" archives as seeds for fuzz_digest: a 32-byte header whose u32 at
byte 20 is the index offset, member bytes, then the index (head: 0, record count, index
length; records: u32 length + bytes)."""
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                         "corpus", "fuzz_digest")
os.makedirs(out, exist_ok=True)


def archive(records, members=b"member data " * 8):
    body = b"".join(struct.pack("<I", len(r)) + r for r in records)
    index = struct.pack("<III", 0, len(records), 12 + len(body)) + body
    offset = 32 + len(members)
    header = b"HDR0" + bytes(16) + struct.pack("<I", offset) + bytes(8)
    return header + members + index


seeds = {
    "three-records.pkg": archive([b"char/a.tex", b"", b"x" * 40]),
    "no-records.pkg": archive([]),
    "one-record.pkg": archive([b"map/77.dat" * 3], members=b""),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
