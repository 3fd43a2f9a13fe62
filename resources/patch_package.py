"""Writes patch packages (layout in docs/package-format.md) from a list of entries. Used
at build time for the program's default package and by the end-to-end tests; it runs on
the build machine, so a cross build needs nothing built for the host.

An entry is a dict: name, old_digest, new_digest (digest texts or ""), and blocks, a list
of ("package", bytes) and ("local", offset, size) tuples in table order. Package blocks
get their offsets here, tiling the entry's data area as every valid package must.
"""

import hashlib
import io
import struct
import zipfile

RECORD_SIZE = 1100
BLOCK_SIZE = 12


def _fixed(text, width):
    raw = text.encode("latin-1")
    if len(raw) >= width:
        raise ValueError("text too long for a %d-byte field: %r" % (width, text))
    return raw.ljust(width, b"\0")


def _record(entry, data_size):
    return (_fixed(entry["name"], 1024) + _fixed(entry.get("old_digest", ""), 33) +
            _fixed(entry.get("new_digest", ""), 33) + b"\xe5\x00" +
            struct.pack("<II", data_size, len(entry["blocks"])))


def build_package(entries):
    """Returns the package as bytes."""
    out = io.BytesIO()
    out.write(struct.pack("<I", len(entries)))
    for entry in entries:
        blocks = entry["blocks"]
        if not blocks or blocks[0][0] != "package":
            raise ValueError("block 0 of %r must be a package block" % entry["name"])
        data = [b[1] for b in blocks if b[0] == "package"]
        data_size = sum(len(d) for d in data)
        out.write(_record(entry, data_size))
        at = out.tell() + BLOCK_SIZE * len(blocks)
        for block in blocks:
            if block[0] == "package":
                out.write(struct.pack("<B3xII", 1, at, len(block[1])))
                at += len(block[1])
            else:
                _, offset, size = block
                out.write(struct.pack("<B3xII", 0, offset, size))
        for d in data:
            out.write(d)
    package = out.getvalue()
    if len(package) > 0x7FFFFFFF:
        raise ValueError("a package must stay below 2 GiB")
    return package


def zip_one(name, content):
    """A zip archive holding `content` deflated under `name`: a whole-file entry's data."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression=zipfile.ZIP_DEFLATED) as archive:
        info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, content)
    return buffer.getvalue()


def whole_file_entry(name, content):
    return {"name": name, "old_digest": hashlib.md5(content).hexdigest(), "new_digest": "",
            "blocks": [("package", zip_one(name, content))]}
