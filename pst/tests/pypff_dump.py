"""pypff's view of a store, in the lines readers.h describes; imported, its folder walk serves the
other pypff judges. Usage: pypff_dump.py STORE
"""
import sys
import zlib

import pypff


def folders(folder, path=""):
    """(path, folder) for `folder` and every folder below it, parents first."""
    yield path, folder
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        yield from folders(sub, path + "/" + (sub.name or ""))


def attachments(m):
    out = []
    for i in range(m.number_of_attachments):
        a = m.get_attachment(i)
        names = {e.entry_type: e.data_as_string for e in a.record_sets[0].entries if e.entry_type in (0x3707, 0x3704)}
        data = a.read_buffer(a.size) if a.size else b""
        name = names[0x3707] if 0x3707 in names else names.get(0x3704)
        out.append("%s:%d:%08X" % (name or "", a.size, zlib.crc32(data or b"")))
    return ",".join(out)


def main(store):
    pst = pypff.file()
    pst.open(store)
    for path, folder in folders(pst.get_root_folder()):
        print("F %s items=%d subfolders=%d" % (path, folder.number_of_sub_messages, folder.number_of_sub_folders))
        for i in range(folder.number_of_sub_messages):
            m = folder.get_sub_message(i)
            body = m.plain_text_body
            print("M %s | %s | %s | attachments=%s | body=%d" % (path, m.subject, m.sender_name, attachments(m),
                                                                 len(body) if body else 0))


if __name__ == "__main__":
    main(sys.argv[1])
