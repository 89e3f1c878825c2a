"""Summarises a .msg file with olefile, independently of the C++ reader, in the line format
that msg/tests/summary.cpp writes; the tests compare the two. Imported, it gives its readers
(Obj, children, choose_code_page, file_names, parse_names, guid) to other scripts."""
import struct
import sys

import olefile

PS_MAPI = "{00020328-0000-0000-C000-000000000046}"
PS_PUBLIC_STRINGS = "{00020329-0000-0000-C000-000000000046}"
CODECS = {65001: "utf-8", 20127: "ascii", 50220: "iso2022_jp", 50221: "iso2022_jp", 50222: "iso2022_jp",
          51932: "euc_jp", 51936: "gb2312", 51949: "euc_kr", 54936: "gb18030", 20866: "koi8_r",
          21866: "koi8_u", 936: "gbk", 10000: "mac_roman"}


def codec(cp):
    if cp in CODECS:
        return CODECS[cp]
    if 28591 <= cp <= 28606:
        return "iso8859_%d" % (cp - 28590)
    return "cp%d" % cp


def usable(cp):
    if cp in (0, 1200, 1201, 12000, 12001):
        return False
    try:
        "".encode(codec(cp))
        return True
    except LookupError:
        return False


ANSI_OF_LANGUAGE = {0x11: 932, 0x12: 949, 0x08: 1253, 0x1F: 1254, 0x0D: 1255, 0x2A: 1258, 0x1E: 874}
for lang in (0x02, 0x19, 0x22, 0x23, 0x2F, 0x3F):
    ANSI_OF_LANGUAGE[lang] = 1251
for lang in (0x05, 0x0E, 0x15, 0x18, 0x1A, 0x1B, 0x1C, 0x24):
    ANSI_OF_LANGUAGE[lang] = 1250
for lang in (0x01, 0x20, 0x29):
    ANSI_OF_LANGUAGE[lang] = 1256
for lang in (0x25, 0x26, 0x27):
    ANSI_OF_LANGUAGE[lang] = 1257


def ansi_of_locale(lcid):
    if lcid & 0x3FF == 0x04:
        return 950 if lcid in (0x0404, 0x0C04, 0x1404) else 936
    return ANSI_OF_LANGUAGE.get(lcid & 0x3FF, 1252)


def choose_code_page(m, parent):
    """(code page of 8-bit strings, code page of 8-bit bodies)."""
    cp, locale = m.int32(0x3FFD), m.int32(0x3FF1)
    if cp is None or not usable(cp):
        cp = ansi_of_locale(locale & 0xFFFFFFFF) if locale is not None else parent[0] if parent else 1252
    internet = m.int32(0x3FDE)
    return cp, (internet if internet is not None and usable(internet) else cp)


BODIES = {0x1000, 0x1013}
FIXED = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x000B, 0x0014, 0x0040}
VARIABLE = {0x001E, 0x001F, 0x0102, 0x0048, 0x00FB, 0x00FD, 0x00FE}
MV_FIXED = {0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1014, 0x1040, 0x1048}
MV_VARIABLE = {0x101E, 0x101F, 0x1102}


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

    def present(self):
        """Tags whose values can be read: entries with their streams, errors left out."""
        names = {e[len(self.path)].upper() for e in self.ole.listdir(streams=True, storages=True)
                 if len(e) > len(self.path) and e[:len(self.path)] == self.path}
        out = []
        for tag in self.props:
            t = tag & 0xFFFF
            stream = "__SUBSTG1.0_%08X" % tag
            if t in FIXED or t == 0x000D:
                out.append(tag)
            elif t in VARIABLE or t in MV_FIXED:
                if stream in names:
                    out.append(tag)
            elif t in MV_VARIABLE:
                if stream in names or stream + "-00000000" in names:
                    out.append(tag)
        return " ".join("%08X" % t for t in sorted(out))

    def int32(self, pid):
        v = self.props.get((pid << 16) | 0x0003)
        return None if v is None else struct.unpack_from("<i", v)[0]

    def stream(self, tag):
        p = self.path + ["__substg1.0_%08X" % tag]
        return self.ole.openstream(p).read() if self.ole.exists("/".join(p)) else None

    def text(self, pid, cp):
        if (pid << 16) | 0x001F in self.props:
            raw = self.stream((pid << 16) | 0x001F)
            if raw is not None:
                return raw[:len(raw) // 2 * 2].decode("utf-16-le", "replace").rstrip("\0")
        if (pid << 16) | 0x001E in self.props:
            raw = self.stream((pid << 16) | 0x001E)
            if raw is not None:
                if pid in BODIES:
                    try:
                        return raw.decode(codec(cp[1])).rstrip("\0")
                    except UnicodeDecodeError:
                        pass
                return raw.decode(codec(cp[0]), "replace").rstrip("\0")
        return ""


def fnv(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return "%016X" % h


def blob(raw):
    return "-" if raw is None else "%d %s" % (len(raw), fnv(raw))


def children(ole, path, prefix):
    found = set()
    for entry in ole.listdir(streams=True, storages=True):
        if len(entry) > len(path) and entry[:len(path)] == path and entry[len(path)].startswith(prefix):
            found.add(entry[len(path)])
    return sorted(found, key=lambda n: int(n[len(prefix):], 16))


def message(ole, path, header, parent_cp, indent, out):
    m = Obj(ole, path, header)
    cp = choose_code_page(m, parent_cp)
    out.append("%sclass: %s" % (indent, m.text(0x001A, cp)))
    out.append("%sproperties: %s" % (indent, m.present()))
    out.append("%ssubject: %s" % (indent, m.text(0x0037, cp)))
    out.append("%ssender: %s" % (indent, m.text(0x0C1A, cp)))
    for pid, label in ((0x0039, "submitted"), (0x0E06, "delivered")):
        v = m.props.get((pid << 16) | 0x0040)
        out.append("%s%s: %s" % (indent, label, "-" if v is None else struct.unpack_from("<Q", v)[0]))
    out.append("%sbody: %s" % (indent, fnv(m.text(0x1000, cp).encode("utf-8"))))
    out.append("%shtml: %s" % (indent, blob(m.stream(0x10130102) if 0x10130102 in m.props else None)))
    out.append("%srtf: %s" % (indent, blob(m.stream(0x10090102) if 0x10090102 in m.props else None)))
    recipients = children(ole, path, "__recip_version1.0_#")
    out.append("%srecipients: %d" % (indent, len(recipients)))
    for i, name in enumerate(recipients):
        r = Obj(ole, path + [name], 8)
        out.append("%srecipient %d: %s | %s | %s | %s" % (indent, i, r.int32(0x0C15), r.text(0x3001, cp),
                                                        r.text(0x3002, cp), r.text(0x3003, cp)))
        out.append("%s  properties: %s" % (indent, r.present()))
    for i, name in enumerate(children(ole, path, "__attach_version1.0_#")):
        a = Obj(ole, path + [name], 8)
        label = a.text(0x3707, cp) or a.text(0x3704, cp) or a.text(0x3001, cp)
        data = a.stream(0x37010102)
        method = a.int32(0x3705) or 0
        out.append("%sattachment %d: %s | %s | method %d" % (indent, i, label, blob(data), method))
        out.append("%s  properties: %s" % (indent, a.present()))
        inner = path + [name, "__substg1.0_3701000D"]
        if method == 5 and ole.exists("/".join(inner)):
            message(ole, inner, 24, cp, indent + "  ", out)


def guid(b):
    d1, d2, d3 = struct.unpack_from("<IHH", b)
    return "{%08X-%04X-%04X-%s-%s}" % (d1, d2, d3, b[8:10].hex().upper(), b[10:16].hex().upper())


def file_names(ole):
    """local id -> (property set, "lid" or "name", number or name)"""
    base = "__nameid_version1.0/__substg1.0_000%d0102"
    if not ole.exists("__nameid_version1.0"):
        return {}
    read = lambda n: ole.openstream(base % n).read() if ole.exists(base % n) else b""
    return parse_names(read(2), read(3), read(4))


def parse_names(guids, entries, strings):
    """The name map's GUID, entry and string streams read as file_names says."""
    out = {}
    for off in range(0, len(entries) - 7, 8):
        value, word, index = struct.unpack_from("<IHH", entries, off)
        gi = word >> 1
        if gi == 1:
            g = PS_MAPI
        elif gi == 2:
            g = PS_PUBLIC_STRINGS
        elif gi >= 3 and (gi - 3) * 16 + 16 <= len(guids):
            g = guid(guids[(gi - 3) * 16:(gi - 2) * 16])
        else:
            continue
        if word & 1:
            n, = struct.unpack_from("<I", strings, value)
            out.setdefault(0x8000 + index, (g, "name", strings[value + 4:value + 4 + n].decode("utf-16-le", "replace")))
        else:
            out.setdefault(0x8000 + index, (g, "lid", value))
    return out


if __name__ == "__main__":
    ole = olefile.OleFileIO(sys.argv[1])
    out = []
    message(ole, [], 32, None, "", out)
    for pid, (g, kind, value) in sorted(file_names(ole).items()):
        out.append("named %04X: %s %s" % (pid, g, 'name "%s"' % value if kind == "name" else "lid 0x%04X" % value))
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))

