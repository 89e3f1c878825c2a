"""Compares .msg files (read by olefile) with the store items imported from them (read by pypff
and pffexport). Usage: compare_import.py STORE.pst MSG...  (in the order of the Inbox's items).
Prints one line per difference and exits 1 if there is any.

Every property of each message and attachment is compared (fixed types, strings as text in the
file's code page, binaries), named ones by their name; recipients and embedded messages' subjects
through pffexport (pypff reaches neither; pffexport passes over post items). The store's own:
what STORE_OWNED and ATTACHMENT_OWNED name, the subject's prefix marker, PR_MESSAGE_FLAGS (read,
has-attachments exactly when there are attachments, the file's unsent flag) and the default class.
An HTML body is PR_HTML bytes: an 8-bit one as in the file, a Unicode one encoded into
PR_INTERNET_CPID (65001 when the file names none). An OLE attachment's storage is a compound file
of its own with the same streams and class id.

With --sources MAP (digest-hex TAB kept-copy-path per line: the mutation proof's), each item is
matched to its file by the source identity kept on it (24 bytes) and only checked to hold every
top-level property the file holds: prints "MISSING <file> <ids>" per item lacking some,
"UNJUDGED <file>" per file olefile cannot read, then "JUDGED <n>".
"""
import io
import os
import struct
import subprocess
import sys
import tempfile
import uuid

import olefile
import pypff

# The store tests' pypff folder walk, imported without leaving compiled files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "pst", "tests"))
from pypff_dump import folders  # noqa: E402

# The files, read with olefile independently of the C++ reader.
PS_MAPI = "{00020328-0000-0000-C000-000000000046}"
PS_PUBLIC_STRINGS = "{00020329-0000-0000-C000-000000000046}"
CODECS = {65001: "utf-8", 20127: "ascii", 50220: "iso2022_jp", 50221: "iso2022_jp", 50222: "iso2022_jp",
          51932: "euc_jp", 51936: "gb2312", 51949: "euc_kr", 54936: "gb18030", 20866: "koi8_r",
          21866: "koi8_u", 936: "gbk", 10000: "mac_roman"}


def codec(cp):
    return CODECS.get(cp, "iso8859_%d" % (cp - 28590) if 28591 <= cp <= 28606 else "cp%d" % cp)


def usable(cp):
    try:
        return cp not in (0, 1200, 1201, 12000, 12001) and "".encode(codec(cp)) == b""
    except LookupError:
        return False


ANSI_OF_LANGUAGE = {0x11: 932, 0x12: 949, 0x08: 1253, 0x1F: 1254, 0x0D: 1255, 0x2A: 1258, 0x1E: 874,
                    **dict.fromkeys((0x02, 0x19, 0x22, 0x23, 0x2F, 0x3F), 1251),
                    **dict.fromkeys((0x05, 0x0E, 0x15, 0x18, 0x1A, 0x1B, 0x1C, 0x24), 1250),
                    **dict.fromkeys((0x01, 0x20, 0x29), 1256), **dict.fromkeys((0x25, 0x26, 0x27), 1257)}


def ansi_of_locale(lcid):
    if lcid & 0x3FF == 0x04:
        return 950 if lcid in (0x0404, 0x0C04, 0x1404) else 936
    return ANSI_OF_LANGUAGE.get(lcid & 0x3FF, 1252)


def choose_code_page(m):
    """(code page of 8-bit strings, code page of 8-bit bodies)."""
    cp, locale = m.int32(0x3FFD), m.int32(0x3FF1)
    if cp is None or not usable(cp):
        cp = ansi_of_locale(locale & 0xFFFFFFFF) if locale is not None else 1252
    internet = m.int32(0x3FDE)
    return cp, (internet if internet is not None and usable(internet) else cp)


class Obj:
    def __init__(self, ole, path, header):
        self.ole, self.path = ole, path
        self.props = {}
        data = ole.openstream(path + ["__properties_version1.0"]).read()
        if header != 8 and (len(data) - header) % 16 != 0:
            other = 24 if header == 32 else 32
            if len(data) >= other and (len(data) - other) % 16 == 0:
                header = other
        for off in range(header, len(data) - 15, 16):
            tag, = struct.unpack_from("<I", data, off)
            if tag and tag not in self.props:
                self.props[tag] = data[off + 8:off + 16]

    def int32(self, pid):
        v = self.props.get((pid << 16) | 0x0003)
        return None if v is None else struct.unpack_from("<i", v)[0]

    def stream(self, tag):
        p = self.path + ["__substg1.0_%08X" % tag]
        return self.ole.openstream(p).read() if self.ole.exists("/".join(p)) else None

    def text(self, pid, cp):
        wide, narrow = (self.stream(pid << 16 | t) if pid << 16 | t in self.props else None for t in (0x001F, 0x001E))
        if wide is not None:
            return wide[:len(wide) // 2 * 2].decode("utf-16-le", "replace").rstrip("\0")
        if narrow is None:
            return ""
        if pid in (0x1000, 0x1013):  # the bodies, in the Internet code page where they decode there
            try:
                return narrow.decode(codec(cp[1])).rstrip("\0")
            except UnicodeDecodeError:
                pass
        return narrow.decode(codec(cp[0]), "replace").rstrip("\0")


def children(ole, path, prefix):
    found = {e[len(path)] for e in ole.listdir(streams=True, storages=True)
             if len(e) > len(path) and e[:len(path)] == path and e[len(path)].startswith(prefix)}
    return sorted(found, key=lambda n: int(n[len(prefix):], 16))


def file_names(ole):
    """local id -> (property set, "lid" or "name", number or name)"""
    base = "__nameid_version1.0/__substg1.0_000%d0102"
    return parse_names(*(ole.openstream(base % n).read() if ole.exists(base % n) else b"" for n in (2, 3, 4)))


def parse_names(guids, entries, strings):
    """A name map's GUID, entry and string streams, in a file or a store, read as file_names says."""
    out = {}
    for off in range(0, len(entries) - 7, 8):
        value, word, index = struct.unpack_from("<IHH", entries, off)
        gi = word >> 1
        if gi == 1:
            g = PS_MAPI
        elif gi == 2:
            g = PS_PUBLIC_STRINGS
        elif gi >= 3 and (gi - 3) * 16 + 16 <= len(guids):
            g = "{%s}" % str(uuid.UUID(bytes_le=guids[(gi - 3) * 16:(gi - 2) * 16])).upper()
        else:
            continue
        if word & 1:
            n, = struct.unpack_from("<I", strings, value)
            out.setdefault(0x8000 + index, (g, "name", strings[value + 4:value + 4 + n].decode("utf-16-le", "replace")))
        else:
            out.setdefault(0x8000 + index, (g, "lid", value))
    return out



RECIPIENT_TYPES = {1: "To", 2: "CC", 3: "BCC"}
# Ids the store owns (ids, keys, sizes, counts, derived flags), with the range 0x0E30-0x0E3D.
STORE_OWNED = {0x0E07, 0x0E08, 0x0E17, 0x0E1B, 0x0E1D, 0x003D, 0x0FFF, 0x0FF9, 0x0FFE, 0x0E09, 0x0FFB, 0x0FFA,
               0x340D, 0x340F, 0x0FF8, 0x0FF6, 0x0FF4, 0x0FF7, 0x0E12, 0x0E13, 0x0E21, 0x3000, 0x65E0, 0x65E1}
ATTACHMENT_OWNED = {0x0E20, 0x0E21, 0x0FFF, 0x3000, 0x0FF6, 0x0FFB, 0x0FFA, 0x0E09, 0x340D, 0x340F,
                    0x0FF8, 0x0FF4, 0x0FF7, 0x65E0, 0x65E1, 0x0FF9, 0x0FFE, 0x0E27}
FIXED_SIZES = {0x0002: 2, 0x0003: 4, 0x0004: 4, 0x0005: 8, 0x0006: 8, 0x0007: 8, 0x000B: 1, 0x0014: 8, 0x0040: 8}
STRINGS = (0x001E, 0x001F)


def owned(pid, ids):
    return pid in ids or 0x0E30 <= pid <= 0x0E3D


def brief(v):
    return v if v is None or len(v) < 40 else len(v)


def unmarked(subject):
    """A subject without the marker of its prefix's length, which the store adds."""
    return subject[2:] if isinstance(subject, str) and subject[:1] == "\x01" else subject


def stored(item):
    """A store object's properties through pypff, by id: (type, raw bytes)."""
    return {e.entry_type: (e.value_type, e.data or b"") for e in item.record_sets[0].entries}


def value(props, pid, t):
    """As a file's value of type t reads; None where the object lacks it."""
    data = props.get(pid, (None, None))[1]
    return data.decode("utf-16-le", "replace") if data is not None and t in STRINGS else data


def number(props, pid):
    data = value(props, pid, 0x0003)
    return None if data is None else int.from_bytes(data, "little", signed=True)


def compare_props(obj, props, cp, ids, store_id, say):
    """Every property of a file object against the store's (named ones through store_id: the
    store's id, or None when the file does not name it), but those the store owns."""
    for tag in sorted(obj.props):
        t = tag & 0xFFFF
        pid = tag >> 16 if tag >> 16 < 0x8000 else store_id(tag >> 16)
        if pid is None or owned(pid, ids) or t not in FIXED_SIZES and t not in STRINGS + (0x0102,):
            continue
        if t == 0x001E and (tag | 1) in obj.props and obj.stream(tag | 1):
            continue  # the Unicode twin is the one kept
        expected = obj.text(tag >> 16, cp) if t in STRINGS else \
            obj.props[tag][:FIXED_SIZES[t]] if t in FIXED_SIZES else obj.stream(tag)
        found = value(props, pid, t)
        if pid == 0x0037:
            expected, found = unmarked(expected), unmarked(found)
        if t == 0x0102 and expected is None and found is not None:
            expected = b""
        if expected != found and not (t in STRINGS and expected == "" and found is None):
            say("property 0x%08X" % tag, brief(expected), brief(found))


def object_storage(ole, path):
    """The class id of storage `path` and every stream below it, by its path under it."""
    streams = {"/".join(e[len(path):]): ole.openstream(e).read()
               for e in ole.listdir(streams=True, storages=False) if e[:len(path)] == path}
    return ole.getclsid("/".join(path)) if path else ole.root.clsid, streams


def exported(folder, name):
    """The blocks of "Field: value" lines of pffexport's file `name` in `folder`."""
    path = os.path.join(folder, name)
    text = open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else ""
    blocks = [dict(map(str.strip, line.split(":", 1)) for line in b.splitlines() if ":" in line) for b in text.split("\n\n")]
    return [b for b in blocks if b]


def compare(msg_path, item, folder, names_in_store, report):
    props = stored(item)
    ole = olefile.OleFileIO(msg_path)
    m = Obj(ole, [], 32)
    cp = choose_code_page(m)
    say = lambda what, expected, found: report("%s: %s: file %r, store %r" % (os.path.basename(msg_path), what,
                                                                             expected, found))
    if not m.text(0x001A, cp) and value(props, 0x001A, 0x001F) != "IPM.Note":
        say("default class", None, value(props, 0x001A, 0x001F))
    html = m.stream(0x10130102)
    if html is None and m.stream(0x1013001E) is not None:
        html = m.stream(0x1013001E).rstrip(b"\0")
    if html is None and m.stream(0x1013001F) is not None:
        if number(props, 0x3FDE) is None:
            say("Internet code page of the Unicode HTML body", "set", None)
        html = m.text(0x1013, cp).encode(codec(number(props, 0x3FDE) or 65001))
    if html is not None and html != value(props, 0x1013, 0x0102):
        say("HTML body", len(html), brief(value(props, 0x1013, 0x0102)))

    attachments = children(ole, [], "__attach_version1.0_#")
    flags, unsent = number(props, 0x0E07), (m.int32(0x0E07) or 0) & 0x08
    if flags != (0x11 if attachments else 0x01) | unsent:
        say("flags", "read" + (" + has attachments" if attachments else "") + (" + unsent" if unsent else ""), flags)
    recipients = []
    for name in children(ole, [], "__recip_version1.0_#"):
        r = Obj(ole, [name], 8)
        recipients.append((r.text(0x3001, cp), r.text(0x3003, cp), RECIPIENT_TYPES.get(r.int32(0x0C15) or 0, "")))
    found = [(r.get("Display name", ""), r.get("Email address", ""), r.get("Recipient type", ""))
             for r in exported(folder, "Recipients.txt")] if folder else recipients
    if recipients != found:
        say("recipients", recipients[:3], found[:3])

    names_in_file = file_names(ole)

    def store_id(pid):
        key = names_in_file.get(pid)
        if key is None:
            return None  # a name the file does not define: left out
        return key[2] if key[0] == PS_MAPI and key[1] == "lid" and key[2] < 0x8000 else names_in_store.get(key, -1)

    compare_props(m, props, cp, STORE_OWNED | {0x1013}, store_id, say)
    if len(attachments) != item.number_of_attachments:
        return say("attachments", len(attachments), item.number_of_attachments)
    for i, name in enumerate(attachments):
        a, attachment = Obj(ole, [name], 8), item.get_attachment(i)
        compare_props(a, stored(attachment), cp, ATTACHMENT_OWNED, store_id,
                      lambda w, e, f: say("attachment %d %s" % (i, w), e, f))
        inner = [name, "__substg1.0_3701000D"]
        method = (a.int32(0x3705) or 0) if ole.exists("/".join(inner)) else 0
        if method == 6:  # an OLE object: its storage as a compound file of its own
            data = attachment.read_buffer(attachment.size) if attachment.size else b""
            found = object_storage(olefile.OleFileIO(io.BytesIO(data)), []) if olefile.isOleFile(io.BytesIO(data)) else None
            kind = stored(attachment).get(0x3701, (None,))[0]
            if object_storage(ole, inner) != found or kind != 0x000D:
                say("attachment %d object (type, streams)" % i, (0x000D, sorted(object_storage(ole, inner)[1])),
                    (kind, found and sorted(found[1])))
        if method == 5 and folder:
            expected = Obj(ole, inner, 24).text(0x0037, cp)
            headers = exported(os.path.join(folder, "Attachments", "Attachment%05d" % (i + 1), "Message00001"),
                               "OutlookHeaders.txt")
            found = next((h["Subject"] for h in headers if "Subject" in h), None)
            # pffexport drops the first character of a subject that starts outside ASCII
            # (readpst shows it whole): accepted here as that reader's reading.
            if expected != found and not (expected[:1] > "\x7f" and found == expected[1:]):
                say("embedded message %d subject" % i, expected, found)


def file_ids(path):
    """The top-level property ids below 0x8000, not the store's own, that the file holds a value for."""
    with olefile.OleFileIO(path) as ole:
        ids = set()
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) == 1 and entry[0].startswith("__substg1.0_"):
                ids.add(int(entry[0][12:16], 16))
            elif entry == ["__properties_version1.0"]:
                data = ole.openstream(entry).read()
                tags = (struct.unpack_from("<I", data, at)[0] for at in range(32, len(data) - 15, 16))
                ids |= {tag >> 16 for tag in tags if tag & 0xFFFF in FIXED_SIZES.keys() | {0x000A}}
        return {i for i in ids if i < 0x8000 and not owned(i, STORE_OWNED)}


def judge_sources(pst, map_path):
    with open(map_path, encoding="utf-8") as lines:
        sources = dict(line.rstrip("\n").split("\t", 1) for line in lines)
    judged = 0
    for _, folder in folders(pst.get_root_folder()):
        for i in range(folder.number_of_sub_messages):
            item = folder.get_sub_message(i)
            entries = [e for r in range(item.number_of_record_sets) for e in item.get_record_set(r).entries]
            keys = [e.data.hex().upper() for e in entries if e.data is not None and len(e.data) == 24]
            source = next((sources[k] for k in keys if k in sources), None)
            if source is None:
                continue
            try:
                expected = file_ids(source)
            except Exception as failure:  # olefile refuses what it cannot parse
                print("UNJUDGED %s %s" % (source, failure))
                continue
            judged += 1
            missing = sorted(expected - {e.entry_type for e in entries})
            if missing:
                print("MISSING %s %s" % (source, " ".join("%04X" % i for i in missing)))
    print("JUDGED %d" % judged)


def main():
    pst = pypff.file()
    if sys.argv[1] == "--sources":
        pst.open(sys.argv[3])
        return judge_sources(pst, sys.argv[2])
    pst_path, msg_paths = sys.argv[1], sys.argv[2:]
    pst.open(pst_path)
    inbox = next(f for path, f in folders(pst.get_root_folder()) if path == "/Top of Personal Folders/Inbox")
    differences = []
    if inbox.number_of_sub_messages != len(msg_paths):
        differences.append("items: %d files, %d in the store" % (len(msg_paths), inbox.number_of_sub_messages))
    entries = {e.entry_type: e.data for e in pst.name_to_id_map.record_sets[0].entries}
    names_in_store = {key: pid for pid, key in parse_names(*(entries.get(n, b"") for n in (2, 3, 4))).items()}
    with tempfile.TemporaryDirectory() as workdir:
        subprocess.run(["pffexport", "-q", "-t", os.path.join(workdir, "out"), pst_path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        inbox_folder = os.path.join(workdir, "out.export", "Top of Personal Folders", "Inbox")
        exported_items = {int(name[-5:]) - 1: os.path.join(inbox_folder, name) for name in os.listdir(inbox_folder)}
        for i, path in enumerate(msg_paths[:inbox.number_of_sub_messages]):
            item = inbox.get_sub_message(i)
            # pffexport passes over post items; their recipients and embedded messages go unchecked.
            if i not in exported_items and not (value(stored(item), 0x001A, 0x001F) or "").startswith("IPM.Post"):
                differences.append("%s: pffexport wrote no item %d" % (os.path.basename(path), i + 1))
                continue
            compare(path, item, exported_items.get(i), names_in_store, differences.append)
    print("".join(line + "\n" for line in differences), end="")
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
