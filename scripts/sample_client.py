#!/usr/bin/env python3
"""Generates a deterministic sample game client in two versions, old/ and new/.

The client holds ".pkg" archives in the game's archive layout, an ".exe", a ".dll" and a
text file. An archive is

    [32-byte header: magic, version, member count, ..., u32 index offset at byte 20]
    [member data, back to back]
    [index: u32 0, u32 record count, u32 index length; then per member
            u32 record length + record (u32 data offset, u32 data size, name)]

and the index ends at the archive's last byte. The new version of an archive keeps most
members, replaces some with new data of another size, drops some and appends new ones, and
rewrites the header and the index; the other files change or stay as they are.

Because the generator makes the edits itself, it knows the smallest block-copy delta for
each archive: the bytes that no stretch of the old archive can supply (new header, new
member data, new index) plus a 12-byte block header for each run of kept members and each
run of new bytes, plus the 1100-byte entry record. It prints that figure per archive and in
total (--summary), so a package builder can be measured against it.

Usage:
    sample_client.py OUT [--seed N] [--archives N] [--archive-size BYTES]
                         [--member-size BYTES] [--edit-fraction F] [--summary FILE]
Everything is a pure function of the arguments: the same arguments give the same bytes.
"""

import argparse
import os
import random
import struct
import sys

HEADER_SIZE = 32
ENTRY_RECORD = 1100
BLOCK_HEADER = 12


def member_bytes(seed, key, size):
    """Content of one member: random bytes, or for some members a text-like run."""
    rng = random.Random(f"{seed}/{key}")
    if rng.random() < 0.2:
        words = [b"alpha", b"beta", b"gamma", b"delta", b"mesh", b"bone", b"skin", b"quad"]
        out = bytearray()
        while len(out) < size:
            out += rng.choice(words) + b" "
        return bytes(out[:size])
    return rng.randbytes(size)


def plan_members(rng, archive_size, member_size):
    sizes = []
    total = HEADER_SIZE
    while total < archive_size:
        size = max(16, int(rng.expovariate(1.0 / member_size)))
        sizes.append(size)
        total += size
    return sizes


def write_archive(path, members, seed, version, content=member_bytes):
    """members: list of (key, size); content(seed, key, size) gives a member's bytes.
    Returns the index bytes' length."""
    records = []
    offset = HEADER_SIZE
    for key, size in members:
        name = f"data/{key}.bin".encode()
        records.append(struct.pack("<II", offset, size) + name)
        offset += size
    index_offset = offset
    body = b"".join(struct.pack("<I", len(r)) + r for r in records)
    index = struct.pack("<III", 0, len(records), 12 + len(body)) + body
    header = bytearray(HEADER_SIZE)
    header[0:4] = b"MRPA"
    struct.pack_into("<III", header, 4, version, len(members), 0)
    struct.pack_into("<I", header, 20, index_offset)
    with open(path, "wb") as f:
        f.write(header)
        for key, size in members:
            f.write(content(seed, key, size))
        f.write(index)
    return len(index)


def archive_versions(rng, name, archive_size, member_size, edit_fraction):
    sizes = plan_members(rng, archive_size, member_size)
    old = [(f"{name}-m{i}", s) for i, s in enumerate(sizes)]
    new = []
    for i, (key, size) in enumerate(old):
        roll = rng.random()
        if roll < edit_fraction / 3:
            continue  # dropped
        if roll < edit_fraction:
            new.append((key + "-v2", max(16, int(size * rng.uniform(0.5, 1.5)))))
        else:
            new.append((key, size))
    for j in range(max(1, int(len(old) * edit_fraction / 3))):
        new.append((f"{name}-n{j}", max(16, int(rng.expovariate(1.0 / member_size)))))
    return old, new


def oracle(old, new, index_length):
    """Smallest block-copy delta: new bytes plus block headers plus the entry record."""
    old_keys = {key: i for i, (key, _) in enumerate(old)}
    new_bytes = HEADER_SIZE + index_length
    blocks = 1  # the header
    previous = None  # ("old", index) or ("new",)
    for key, size in new:
        if key in old_keys:
            i = old_keys[key]
            if not (previous and previous[0] == "old" and previous[1] == i - 1):
                blocks += 1
            previous = ("old", i)
        else:
            new_bytes += size
            if not (previous and previous[0] == "new"):
                blocks += 1
            previous = ("new",)
    if not (previous and previous[0] == "new"):
        blocks += 1  # the index
    return new_bytes + BLOCK_HEADER * blocks + ENTRY_RECORD, new_bytes


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--archives", type=int, default=3)
    parser.add_argument("--archive-size", type=int, default=2 << 20)
    parser.add_argument("--member-size", type=int, default=24 << 10)
    parser.add_argument("--edit-fraction", type=float, default=0.05)
    parser.add_argument("--summary")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    old_dir = os.path.join(args.out, "old")
    new_dir = os.path.join(args.out, "new")
    for d in (old_dir, new_dir):
        os.makedirs(d, exist_ok=True)

    lines = []
    total_oracle = 0
    for a in range(args.archives):
        name = f"char{a + 1}.pkg" if a % 2 == 0 else f"map{a + 1}.pkg"
        relative = name if a < 2 else os.path.join("data", name)
        old, new = archive_versions(rng, f"{args.seed}-{a}", args.archive_size,
                                    args.member_size, args.edit_fraction)
        os.makedirs(os.path.dirname(os.path.join(old_dir, relative)), exist_ok=True)
        os.makedirs(os.path.dirname(os.path.join(new_dir, relative)), exist_ok=True)
        write_archive(os.path.join(old_dir, relative), old, args.seed, 1)
        index_length = write_archive(os.path.join(new_dir, relative), new, args.seed, 2)
        size, new_bytes = oracle(old, new, index_length)
        total_oracle += size
        new_size = os.path.getsize(os.path.join(new_dir, relative))
        lines.append(f"archive {relative} new_size {new_size} new_bytes {new_bytes} "
                     f"oracle_entry {size}")

    # An archive that stays as it is, and one that only the new version has.
    same = [(f"{args.seed}-same-m{i}", 4096 + 97 * i) for i in range(8)]
    write_archive(os.path.join(old_dir, "sound.pkg"), same, args.seed, 1)
    write_archive(os.path.join(new_dir, "sound.pkg"), same, args.seed, 1)
    added = [(f"{args.seed}-added-m{i}", 3000 + 11 * i) for i in range(5)]
    write_archive(os.path.join(new_dir, "extra.pkg"), added, args.seed, 1)

    frng = random.Random(f"{args.seed}/files")
    exe_old = frng.randbytes(300 << 10)
    exe_new = exe_old[: 100 << 10] + frng.randbytes(7000) + exe_old[(100 << 10) + 5000:]
    write_file(os.path.join(old_dir, "client.exe"), exe_old)
    write_file(os.path.join(new_dir, "client.exe"), exe_new)
    dll = member_bytes(args.seed, "dll", 120 << 10)
    write_file(os.path.join(old_dir, "bin", "render.dll"), dll)
    write_file(os.path.join(new_dir, "bin", "render.dll"), dll[:-64] + frng.randbytes(64))
    notes_old = b"".join(b"line %d of the release notes\r\n" % i for i in range(200))
    notes_new = notes_old + b"new in this version: the sample client\r\n"
    write_file(os.path.join(old_dir, "readme.txt"), notes_old)
    write_file(os.path.join(new_dir, "readme.txt"), notes_new)
    write_file(os.path.join(old_dir, "config.ini"), b"[client]\r\nlanguage=1042\r\n")
    write_file(os.path.join(new_dir, "config.ini"), b"[client]\r\nlanguage=1042\r\n")

    lines.append(f"oracle_archives_total {total_oracle}")
    text = "\n".join(lines) + "\n"
    if args.summary:
        with open(args.summary, "w") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
