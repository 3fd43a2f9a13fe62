"""Makes a resource of a Windows program unfindable, for tests of a program that lacks
it: the resource directory entry is renamed in place (type "DAT" becomes "DAX", an
identifier N becomes another), so lookups by the original name or number find nothing.
Entries stay sorted, as the loader's binary search needs."""

import struct

from wine_env import Failure


def _u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def _u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def _resource_root(data):
    """File offset of the resource directory."""
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise Failure("not a PE file")
    sections = _u16(data, pe + 6)
    optional = pe + 24
    optional_size = _u16(data, pe + 20)
    directories = optional + (112 if _u16(data, optional) == 0x20B else 96)
    rva = _u32(data, directories + 2 * 8)  # entry 2: resources
    for i in range(sections):
        s = optional + optional_size + 40 * i
        size, address, raw = _u32(data, s + 8), _u32(data, s + 12), _u32(data, s + 20)
        if address <= rva < address + max(size, _u32(data, s + 16)):
            return raw + rva - address
    raise Failure("no resource section")


def _entries(data, root, directory):
    named, numbered = _u16(data, directory + 12), _u16(data, directory + 14)
    for i in range(named + numbered):
        at = directory + 16 + 8 * i
        yield at, _u32(data, at), _u32(data, at + 4)


def _name(data, root, name_field):
    at = root + (name_field & 0x7FFFFFFF)
    length = _u16(data, at)
    return at, data[at + 2:at + 2 + 2 * length].decode("utf-16-le")


def hide_type(path, type_name, new_name):
    """Renames a named resource type (same length)."""
    data = bytearray(open(path, "rb").read())
    root = _resource_root(data)
    for _, name, _ in _entries(data, root, root):
        if name & 0x80000000:
            at, text = _name(data, root, name)
            if text == type_name:
                data[at + 2:at + 2 + 2 * len(new_name)] = new_name.encode("utf-16-le")
                open(path, "wb").write(data)
                return
    raise Failure("no resource type %s in %s" % (type_name, path))


def renumber(path, type_id, resource_id, new_id):
    """Gives resource `resource_id` of the numbered type `type_id` another number."""
    data = bytearray(open(path, "rb").read())
    root = _resource_root(data)
    for _, name, target in _entries(data, root, root):
        if name == type_id and target & 0x80000000:
            directory = root + (target & 0x7FFFFFFF)
            for at, entry_name, _ in _entries(data, root, directory):
                if entry_name == resource_id:
                    struct.pack_into("<I", data, at, new_id)
                    open(path, "wb").write(data)
                    return
    raise Failure("no resource %d of type %d in %s" % (resource_id, type_id, path))
