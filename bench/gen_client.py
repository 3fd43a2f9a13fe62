#!/usr/bin/env python3
"""Generates the benchmark's installed client and its update, in OUT/old and OUT/new.

The client looks like a game install after a typical update:

    data/world.pkg    the largest archive, SIZE MiB; a few % of its members changed
                      (same size or resized), dropped or added; the index rewritten
    data/chars.pkg    SIZE/4 MiB, edited the same way with a larger share of edits
    data/sound.pkg    SIZE/8 MiB, unchanged
    data/patch01.pkg  SIZE/64 MiB, an archive only the new version has
    client.exe        8 MiB of code-like bytes with a few stretches rewritten
    bin/render.dll    2 MiB, its tail rewritten
    readme.txt        release notes with a new paragraph
    config.ini        unchanged

Archives use the layout of scripts/sample_client.py (its writer and its oracle are used
here). Member sizes are drawn log-uniformly from 1 KiB to 4 MiB; most members are random
bytes (already-compressed game data), one in five is compressible text.

Because the generator makes the edits itself, it knows the smallest block-copy delta for
every archive: the bytes no stretch of the old archive can supply plus one block header per
run, plus the entry record. OUT/summary.json records it per archive and in total, with the
lists of changed, added and unchanged files.

Usage: gen_client.py OUT [--size-mb N] [--seed S]
The same arguments always give the same bytes.
"""

import argparse
import json
import math
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import sample_client  # noqa: E402

MIN_MEMBER = 1 << 10
MAX_MEMBER = 4 << 20
WORDS = [b"alpha", b"beta", b"gamma", b"delta", b"mesh", b"bone", b"skin", b"quad",
         b"vertex", b"normal", b"texture", b"anim", b"frame", b"light", b"shadow"]


def member_content(seed, key, size):
    """Random bytes, or for one member in five a text-like run (compressible)."""
    rng = random.Random(f"{seed}/{key}")
    if rng.random() < 0.2:
        text = b" ".join(rng.choices(WORDS, k=size // 4 + 1))
        return text[:size]
    return rng.randbytes(size)


def draw_size(rng, largest):
    return int(math.exp(rng.uniform(math.log(MIN_MEMBER), math.log(largest))))


def plan(rng, archive_size):
    largest = max(MIN_MEMBER * 2, min(MAX_MEMBER, archive_size // 16))
    sizes = []
    total = sample_client.HEADER_SIZE
    while total < archive_size:
        size = min(draw_size(rng, largest), archive_size - total)
        sizes.append(max(size, 16))
        total += size
    return sizes, largest


def versions(rng, name, archive_size, edit_fraction):
    """Old and new member lists: (key, size). Keys name the content."""
    sizes, largest = plan(rng, archive_size)
    old = [(f"{name}-m{i}", s) for i, s in enumerate(sizes)]
    new = []
    for key, size in old:
        roll = rng.random()
        if roll < edit_fraction / 4:
            continue  # dropped
        if roll < edit_fraction / 2:
            new.append((key + "-v2", size))  # changed in place, same size
        elif roll < edit_fraction:
            new.append((key + "-v2", max(16, int(size * rng.uniform(0.5, 1.5)))))  # resized
        else:
            new.append((key, size))
    for j in range(max(1, int(len(old) * edit_fraction / 4))):
        new.append((f"{name}-n{j}", draw_size(rng, largest)))
    return old, new


write = sample_client.write_file


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--size-mb", type=int, default=1024)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.size_mb < 1 or args.size_mb > 4000:
        parser.error("--size-mb must be between 1 and 4000")

    seed = args.seed
    rng = random.Random(f"bench/{seed}")
    old_dir = os.path.join(args.out, "old")
    new_dir = os.path.join(args.out, "new")
    size = args.size_mb << 20
    summary = {"seed": seed, "size_mb": args.size_mb, "archives": [],
               "changed": [], "added": [], "unchanged": []}

    edited = [("data/world.pkg", size, 0.04), ("data/chars.pkg", size // 4, 0.08)]
    total_oracle = 0
    for relative, archive_size, fraction in edited:
        old, new = versions(rng, relative, archive_size, fraction)
        for d in (old_dir, new_dir):
            os.makedirs(os.path.dirname(os.path.join(d, relative)), exist_ok=True)
        sample_client.write_archive(os.path.join(old_dir, relative), old, seed, 1,
                                    member_content)
        index_length = sample_client.write_archive(os.path.join(new_dir, relative), new,
                                                   seed, 2, member_content)
        oracle, new_bytes = sample_client.oracle(old, new, index_length)
        total_oracle += oracle
        summary["archives"].append({
            "name": relative, "kind": "changed",
            "old_size": os.path.getsize(os.path.join(old_dir, relative)),
            "new_size": os.path.getsize(os.path.join(new_dir, relative)),
            "members": len(old), "new_bytes": new_bytes, "oracle_entry": oracle})
        summary["changed"].append(relative)

    sound, _ = plan(rng, size // 8)
    sound = [(f"sound-m{i}", s) for i, s in enumerate(sound)]
    for d in (old_dir, new_dir):
        sample_client.write_archive(os.path.join(d, "data/sound.pkg"), sound, seed, 1,
                                    member_content)
    summary["unchanged"].append("data/sound.pkg")

    added, _ = plan(rng, max(size // 64, 64 << 10))
    added = [(f"patch01-m{i}", s) for i, s in enumerate(added)]
    index_length = sample_client.write_archive(os.path.join(new_dir, "data/patch01.pkg"),
                                               added, seed, 1, member_content)
    oracle, new_bytes = sample_client.oracle([], added, index_length)
    total_oracle += oracle
    summary["archives"].append({
        "name": "data/patch01.pkg", "kind": "added", "old_size": 0,
        "new_size": os.path.getsize(os.path.join(new_dir, "data/patch01.pkg")),
        "members": 0, "new_bytes": new_bytes, "oracle_entry": oracle})
    summary["added"].append("data/patch01.pkg")

    frng = random.Random(f"bench/{seed}/files")
    exe_old = frng.randbytes(8 << 20)
    exe_new = bytearray(exe_old)
    for _ in range(12):  # rewritten functions, a few KiB each
        at = frng.randrange(len(exe_new) - (16 << 10))
        n = frng.randrange(1 << 10, 16 << 10)
        exe_new[at:at + n] = frng.randbytes(n)
    write(os.path.join(old_dir, "client.exe"), exe_old)
    write(os.path.join(new_dir, "client.exe"), bytes(exe_new))
    dll = frng.randbytes(2 << 20)
    write(os.path.join(old_dir, "bin/render.dll"), dll)
    write(os.path.join(new_dir, "bin/render.dll"), dll[:-(64 << 10)] + frng.randbytes(64 << 10))
    notes = b"".join(b"line %d of the release notes\r\n" % i for i in range(400))
    write(os.path.join(old_dir, "readme.txt"), notes)
    write(os.path.join(new_dir, "readme.txt"), notes + b"new in this version: faster patching\r\n")
    config = b"[client]\r\nlanguage=1042\r\n"
    write(os.path.join(old_dir, "config.ini"), config)
    write(os.path.join(new_dir, "config.ini"), config)
    summary["changed"] += ["bin/render.dll", "client.exe", "readme.txt"]
    summary["unchanged"].append("config.ini")

    summary["oracle_archives_total"] = total_oracle
    for key in ("changed", "added", "unchanged"):
        summary[key].sort()
    with open(os.path.join(args.out, "summary.json"), "w") as f:
        json.dump(summary, f, indent=1)
        f.write("\n")


if __name__ == "__main__":
    main()
