"""Installed clients and patches for the end-to-end tests: game archives in the client's
".pkg" layout (a 32-byte header whose u32 at byte 20 is the index offset; the index is a
12-byte head whose second u32 is the record count, then records of a u32 length and that
many bytes), the archive index digest, and packages that turn one version into another
the way the packer does: unchanged members are copied from the installed archive, new
bytes come from the package.
"""

import hashlib
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "resources"))
import patch_package  # noqa: E402

HEADER_SIZE = 32


def random_bytes(seed, size):
    return random.Random(seed).getrandbits(8 * size).to_bytes(size, "little") if size else b""


class Archive:
    """A game archive: named members in order, laid out header, members, index."""

    def __init__(self, members):
        self.members = list(members)  # [(name, bytes)]
        self.offsets = {}
        at = HEADER_SIZE
        for name, data in self.members:
            self.offsets[name] = (at, len(data))
            at += len(data)
        records = b""
        for name, data in self.members:
            offset, size = self.offsets[name]
            record = name.encode() + b"\0" + struct.pack("<II", offset, size)
            records += struct.pack("<I", len(record)) + record
        index_size = 12 + len(records)
        self.index = struct.pack("<III", 0, len(self.members), index_size) + records
        self.index_offset = at
        self.header = (b"MRARCHIVE".ljust(20, b"\0") + struct.pack("<I", at) +
                       struct.pack("<II", len(self.members), 1))
        assert len(self.header) == HEADER_SIZE

    def bytes(self):
        return self.header + b"".join(d for _, d in self.members) + self.index

    def digest(self):
        """The archive index digest: MD5 of the index head and records."""
        return hashlib.md5(self.index).hexdigest()


def archive_entry(name, old, new):
    """A package entry that rebuilds `new` from an installed `old` archive."""
    blocks = [("package", new.header)]
    old_by_content = {}
    for member_name, data in old.members:
        old_by_content.setdefault(data, old.offsets[member_name][0])
    pending = b""
    for _, data in new.members:
        if data in old_by_content:
            if pending:
                blocks.append(("package", pending))
                pending = b""
            blocks.append(("local", old_by_content[data], len(data)))
        else:
            pending += data
    blocks.append(("package", pending + new.index))
    return {"name": name, "old_digest": old.digest(), "new_digest": new.digest(),
            "blocks": blocks}


def slow_archive_entry(name, seed, pairs):
    """An old archive of one member and a new one whose member interleaves 4-byte stretches
    of the old member with 4 new bytes: 2 x `pairs` small blocks, slow to apply on purpose.
    Returns (old, new, entry)."""
    old_member = random_bytes(seed, 4 * pairs)
    fresh = random_bytes(seed + 1, 4 * pairs)
    new_member = b"".join(old_member[4 * i:4 * i + 4] + fresh[4 * i:4 * i + 4]
                          for i in range(pairs))
    old, new = Archive([("slow", old_member)]), Archive([("slow", new_member)])
    start = old.offsets["slow"][0]
    blocks = [("package", new.header)]
    for i in range(pairs):
        blocks.append(("local", start + 4 * i, 4))
        blocks.append(("package", fresh[4 * i:4 * i + 4]))
    blocks.append(("package", new.index))
    entry = {"name": name, "old_digest": old.digest(), "new_digest": new.digest(),
             "blocks": blocks}
    return old, new, entry


def version_pair(seed, count, size, changed=(), removed=(), added=0):
    """An old archive of `count` random members and a new one with some members
    changed, some removed and `added` new ones at the end."""
    old = [("m%02d" % i, random_bytes(seed * 1000 + i, size)) for i in range(count)]
    new = []
    for i, (name, data) in enumerate(old):
        if i in removed:
            continue
        new.append((name, random_bytes(seed * 1000 + 500 + i, size) if i in changed else data))
    for j in range(added):
        new.append(("n%02d" % j, random_bytes(seed * 1000 + 900 + j, size)))
    return Archive(old), Archive(new)


class Client:
    """An installed client (old files) and the patch that brings it to the new files."""

    def __init__(self):
        self.old = {}      # name -> bytes installed now (absent: not installed)
        self.new = {}      # name -> bytes after the patch
        self.entries = []  # package entries in order

    def add_archive(self, name, old, new):
        self.old[name] = old.bytes()
        self.new[name] = new.bytes()
        self.entries.append(archive_entry(name, old, new))

    def add_entry(self, name, old, new, entry):
        self.old[name] = old
        self.new[name] = new
        self.entries.append(entry)

    def add_whole_file(self, name, new, old=None):
        if old is not None:
            self.old[name] = old
        self.new[name] = new
        self.entries.append(patch_package.whole_file_entry(name, new))

    def package(self):
        return patch_package.build_package(self.entries)

    def install(self, folder):
        os.makedirs(folder, exist_ok=True)
        for name, data in self.old.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        # What the install location in the registry names: a file in the client's folder.
        with open(os.path.join(folder, "Start.exe"), "wb") as f:
            f.write(b"MZ not a real program")


def standard_client():
    """Two archives with changed, removed and added members, a replaced whole file and an
    added one: every kind of change a patch makes."""
    client = Client()
    client.add_archive("char1.pkg", *version_pair(1, 12, 48 * 1024, changed={3, 7}, added=2))
    client.add_archive("map7.pkg", *version_pair(2, 9, 64 * 1024, changed={0}, removed={4}))
    client.add_whole_file("client.dat", random_bytes(3, 300 * 1024) + b"\0" * 200000,
                          old=random_bytes(4, 200 * 1024))
    client.add_whole_file("notes.txt", b"Patch notes\r\n" * 500)
    return client
