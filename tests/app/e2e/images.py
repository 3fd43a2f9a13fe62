"""Pixels of screenshots and of expected pictures, read through ImageMagick as PPM."""

import subprocess

from wine_env import Failure, convert_tool


class Image:
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def region(self, left, top, right, bottom):
        rows = []
        for y in range(top, bottom):
            i = (y * self.width + left) * 3
            rows.append(self.data[i:(y * self.width + right) * 3])
        return Image(right - left, bottom - top, b"".join(rows))


def load(path, crop=None):
    """Loads an image file; `crop` is (left, top, width, height)."""
    args = [convert_tool(), path]
    if crop:
        args += ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"]
    args += ["-depth", "8", "ppm:-"]
    out = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=60)
    if out.returncode != 0:
        raise Failure("cannot read %s: %s" % (path, out.stderr.decode(errors="replace")))
    return parse_ppm(out.stdout)


def parse_ppm(raw):
    fields = []
    pos = 0
    while len(fields) < 4:
        while raw[pos:pos + 1].isspace():
            pos += 1
        if raw[pos:pos + 1] == b"#":
            pos = raw.index(b"\n", pos) + 1
            continue
        end = pos
        while not raw[end:end + 1].isspace():
            end += 1
        fields.append(raw[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure("unexpected picture format")
    width, height = int(fields[1]), int(fields[2])
    data = raw[pos + 1:pos + 1 + width * height * 3]
    if len(data) != width * height * 3:
        raise Failure("truncated picture")
    return Image(width, height, data)


def differences(a, b, ignore=()):
    """Pixels in which `a` and `b` differ, outside the `ignore` rectangles
    (left, top, right, bottom). Returns (count, bounding box or None)."""
    if (a.width, a.height) != (b.width, b.height):
        raise Failure("pictures of different sizes: %dx%d and %dx%d" %
                      (a.width, a.height, b.width, b.height))
    count = 0
    box = None
    for y in range(a.height):
        row = y * a.width * 3
        if a.data[row:row + a.width * 3] == b.data[row:row + a.width * 3]:
            continue
        for x in range(a.width):
            i = row + x * 3
            if a.data[i:i + 3] == b.data[i:i + 3]:
                continue
            if any(l <= x < r and t <= y < btm for l, t, r, btm in ignore):
                continue
            count += 1
            box = (x, y, x + 1, y + 1) if box is None else (
                min(box[0], x), min(box[1], y), max(box[2], x + 1), max(box[3], y + 1))
    return count, box
