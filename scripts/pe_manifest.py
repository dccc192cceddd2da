#!/usr/bin/env python3
"""Prints the application manifest (resource type 24, id 1) of a Windows
program, read from its resource section; exits 1 when it has none."""
import struct
import sys

RT_MANIFEST = 24
MANIFEST_ID = 1


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    for i in range(count):
        name, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        yield name.rstrip(b"\0"), vaddr, max(vsize, rsize), raw


def entries(data, base, offset):
    named, ids = struct.unpack_from("<12xHH", data, base + offset)
    for i in range(named + ids):
        key, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
        yield key, target


def manifest(data):
    for name, vaddr, size, raw in sections(data):
        if name != b".rsrc":
            continue
        for type_id, type_dir in entries(data, raw, 0):
            if type_id != RT_MANIFEST or not type_dir & 0x80000000:
                continue
            for res_id, lang_dir in entries(data, raw, type_dir & 0x7FFFFFFF):
                if res_id != MANIFEST_ID or not lang_dir & 0x80000000:
                    continue
                for _, leaf in entries(data, raw, lang_dir & 0x7FFFFFFF):
                    rva, length = struct.unpack_from("<II", data, raw + leaf)
                    start = raw + rva - vaddr
                    return data[start:start + length].decode("utf-8", "replace")
    return None


if __name__ == "__main__":
    text = manifest(open(sys.argv[1], "rb").read())
    if text is None:
        sys.exit(1)
    sys.stdout.write(text)
