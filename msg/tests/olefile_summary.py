"""A .msg file read with olefile, independently of the C++ reader: its objects' properties, the
code pages of their 8-bit strings and its named-property map. import/tests/compare_import.py
judges the import by it."""
import struct


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


ANSI_OF_LANGUAGE = {0x11: 932, 0x12: 949, 0x08: 1253, 0x1F: 1254, 0x0D: 1255, 0x2A: 1258, 0x1E: 874,
                    **dict.fromkeys((0x02, 0x19, 0x22, 0x23, 0x2F, 0x3F), 1251),
                    **dict.fromkeys((0x05, 0x0E, 0x15, 0x18, 0x1A, 0x1B, 0x1C, 0x24), 1250),
                    **dict.fromkeys((0x01, 0x20, 0x29), 1256), **dict.fromkeys((0x25, 0x26, 0x27), 1257)}


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


def children(ole, path, prefix):
    found = set()
    for entry in ole.listdir(streams=True, storages=True):
        if len(entry) > len(path) and entry[:len(path)] == path and entry[len(path)].startswith(prefix):
            found.add(entry[len(path)])
    return sorted(found, key=lambda n: int(n[len(prefix):], 16))


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

