#!/usr/bin/python3
"""Judges a store converted from mutated message files with independent readers: olefile
reads each source file (a copy kept aside), pypff the store. Each item is matched to its
source by the source identity kept on the item (a 24-byte value, listed in the map file as
upper-case hex). Prints, per matched item whose file holds top-level properties the item lacks,
"MISSING <file> <ids>"; per file olefile cannot read, "UNJUDGED <file>"; then
"JUDGED <n> UNMATCHED <m>".

Usage: mutation_judge.py STORE MAP.tsv   (MAP: digest-hex TAB kept-copy-path per line)
"""
import os
import struct
import sys

import olefile
import pypff

# What the store owns or computes for an item, never copied from the file: the import's judge's list.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "import", "tests"))
from compare_import import STORE_OWNED as IMPORT_OWNED  # noqa: E402

STORE_OWNED = IMPORT_OWNED | set(range(0x0E30, 0x0E3E))
FIXED_TYPES = {0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x000A, 0x000B, 0x0014, 0x0040}


def file_ids(path):
    """The top-level property ids below 0x8000 that the file holds a value for."""
    ole = olefile.OleFileIO(path)
    try:
        ids = set()
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) != 1:
                continue
            name = entry[0]
            if name.startswith("__substg1.0_"):
                ids.add(int(name[12:16], 16))
            elif name == "__properties_version1.0":
                data = ole.openstream(entry).read()
                for at in range(32, len(data) - 15, 16):
                    tag, = struct.unpack_from("<I", data, at)
                    if tag & 0xFFFF in FIXED_TYPES:
                        ids.add(tag >> 16)
        return {i for i in ids if i < 0x8000 and i not in STORE_OWNED}
    finally:
        ole.close()


def items(folder):
    for i in range(folder.number_of_sub_messages):
        yield folder.get_sub_message(i)
    for i in range(folder.number_of_sub_folders):
        yield from items(folder.get_sub_folder(i))


def main(store, map_path):
    sources = {}
    with open(map_path, encoding="utf-8") as lines:
        for line in lines:
            digest, path = line.rstrip("\n").split("\t", 1)
            sources[digest] = path
    pst = pypff.file()
    pst.open(store)
    judged = unmatched = 0
    for item in items(pst.get_root_folder()):
        held, source = set(), None
        for r in range(item.number_of_record_sets):
            record_set = item.get_record_set(r)
            for e in range(record_set.number_of_entries):
                entry = record_set.get_entry(e)
                held.add(entry.entry_type)
                data = entry.data
                if data is not None and len(data) == 24 and data.hex().upper() in sources:
                    source = sources[data.hex().upper()]
        if source is None:
            unmatched += 1
            continue
        try:
            expected = file_ids(source)
        except Exception as failure:  # olefile refuses what it cannot parse
            print("UNJUDGED %s %s" % (source, failure))
            continue
        judged += 1
        missing = sorted(expected - held)
        if missing:
            print("MISSING %s %s" % (source, " ".join("%04X" % i for i in missing)))
    print("JUDGED %d UNMATCHED %d" % (judged, unmatched))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
