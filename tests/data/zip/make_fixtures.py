#!/usr/bin/env python3
"""Writes the hand-built ZIP fixtures of this folder.

Records are written field by field (APPNOTE layouts) so that headers which
ordinary tools never produce can be tested: Zip64 sub-fields on small
entries, Unicode path extra fields, OEM names, bad signatures, junk before or
after the archive, end records inside comments. Deterministic: run it again
and the files come out byte-identical.
"""
import os
import struct
import sys
import zlib

OUT = os.path.dirname(os.path.abspath(__file__))
DOS_TIME = (12 << 11) | (34 << 5) | (56 // 2)   # 12:34:56
DOS_DATE = ((2021 - 1980) << 9) | (3 << 5) | 14  # 2021-03-14


class Entry:
    def __init__(self, name, data=b"", method=0, flags=0, made_by=(3 << 8) | 30, ext_attr=0o100644 << 16,
                 crc=None, usize=None, csize=None, central_extra=b"", local_extra=b"", time=DOS_TIME,
                 date=DOS_DATE, local_sig=0x04034B50, central_sig=0x02014B50, offset_field=None,
                 disk_field=0, version_needed=20, comment=b""):
        self.name = name if isinstance(name, bytes) else name.encode("ascii")
        self.data = data
        self.method = method
        self.flags = flags
        self.made_by = made_by
        self.ext_attr = ext_attr
        self.crc = zlib.crc32(data) if crc is None else crc
        self.usize = len(data) if usize is None else usize
        self.csize = len(data) if csize is None else csize
        self.central_extra = central_extra
        self.local_extra = local_extra
        self.time, self.date = time, date
        self.local_sig, self.central_sig = local_sig, central_sig
        self.offset_field = offset_field
        self.disk_field = disk_field
        self.version_needed = version_needed
        self.comment = comment


def extra(field_id, payload):
    return struct.pack("<HH", field_id, len(payload)) + payload


def build(entries, comment=b"", prefix=b"", suffix=b"", zip64=False, eocd_override=None):
    out = bytearray(prefix)
    offsets = []
    for e in entries:
        offsets.append(len(out))
        out += struct.pack("<IHHHHHIIIHH", e.local_sig, e.version_needed, e.flags, e.method, e.time, e.date,
                           e.crc, min(e.csize, 0xFFFFFFFF), min(e.usize, 0xFFFFFFFF), len(e.name),
                           len(e.local_extra))
        out += e.name + e.local_extra + e.data
    cd_start = len(out)
    for e, off in zip(entries, offsets):
        off_field = off if e.offset_field is None else e.offset_field
        out += struct.pack("<IHHHHHHIIIHHHHHII", e.central_sig, e.made_by, e.version_needed, e.flags, e.method,
                           e.time, e.date, e.crc, e.csize if e.csize <= 0xFFFFFFFF else 0xFFFFFFFF,
                           e.usize if e.usize <= 0xFFFFFFFF else 0xFFFFFFFF, len(e.name), len(e.central_extra),
                           len(e.comment), e.disk_field, 0, e.ext_attr, off_field)
        out += e.name + e.central_extra + e.comment
    cd_size = len(out) - cd_start
    count = len(entries)
    if zip64:
        z64 = len(out)
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, cd_size, cd_start)
        out += struct.pack("<IIQI", 0x07064B50, 0, z64, 1)
        fields = (0, 0, 0xFFFF, 0xFFFF, cd_size, cd_start)
    else:
        fields = (0, 0, count, count, cd_size, cd_start)
    if eocd_override:
        fields = eocd_override(fields)
    out += struct.pack("<IHHHHIIH", 0x06054B50, *fields, len(comment)) + comment
    out += suffix
    return bytes(out)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    # Names: bit 11, UTF-8 without bit 11, ANSI, OEM from a DOS host, and the
    # two Unicode extra fields.
    ansi_name = "Ger\u00e4t.txt".encode("cp1252")
    up = b"\x01" + struct.pack("<I", zlib.crc32(ansi_name)) + "Ger\u00e4t \u2603.txt".encode("utf-8")
    un_text = "\u2603 snow.txt"
    un = struct.pack("<II", 0x5843554E, len(un_text)) + un_text.encode("utf-16-le")
    write("names.zip", build([
        Entry("caf\u00e9-flag.txt".encode("utf-8"), b"1", flags=0x800),
        Entry("caf\u00e9-noflag.txt".encode("utf-8"), b"2"),
        Entry("caf\u00e9-ansi.txt".encode("cp1252"), b"3"),
        Entry(b"\x81ber-oem.txt", b"4", made_by=(0 << 8) | 20, ext_attr=0x20),
        Entry(ansi_name, b"5", central_extra=extra(0x7075, up)),
        Entry(b"snow.txt", b"6", central_extra=extra(0x554E, un)),
        Entry(ansi_name, b"7", central_extra=extra(0x7075, b"\x01\0\0\0\0stale.txt")),
    ]))

    # Zip64: small entries whose central sizes or offset hold the escape
    # value, with the real values in the 0x0001 sub-field; the end record
    # escapes only its entry counts.
    data_a, data_b = b"zip64 sizes\n", b"zip64 offset\n"
    entries = [
        Entry("sizes.txt", data_a, central_extra=extra(1, struct.pack("<QQ", len(data_a), len(data_a)))),
        Entry("offset.txt", data_b, central_extra=extra(1, struct.pack("<Q", 30 + 9 + len(data_a)))),
    ]
    entries[0].csize_field = entries[0].usize_field = 0xFFFFFFFF
    entries[1].offset_field = 0xFFFFFFFF
    write("zip64fields.zip", build_with_escapes(entries))

    # Junk around the archive, a stub in front (offsets count from the file
    # start, as self-extractors write them), long and tricky comments.
    plain = [Entry("inner.txt", b"inside\n")]
    write("trailing-junk.zip", build(plain, suffix=b"J" * 3000))
    write("stub.exe", stub_archive(plain))
    write("comment-max.zip", build(plain, comment=b"C" * 65535))
    fake = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 9, 9, 0, 0, 60000)
    write("comment-fake-record.zip", build(plain, comment=b"see " + fake + b" end"))

    # Broken signatures.
    write("bad-central.zip", build([Entry("x.txt", b"x", central_sig=0x02014B51)]))
    write("bad-local.zip", build([Entry("x.txt", b"x", local_sig=0x04034B51), Entry("y.txt", b"y\n")]))
    write("newer-version.zip", build([Entry("v.txt", b"v", version_needed=64), Entry("w.txt", b"w\n")]))

    # Extraction cases: flattened names, folders, masks, sizes, failures.
    write("extract-cases.zip", build([
        Entry("bin/app.exe", b"first app\n"),
        Entry("doc/app.exe", b"second app\n"),
        Entry("data/", b"", ext_attr=(0o40755 << 16) | 0x10),
        Entry("data/file.txt", b"in data\n"),
        Entry("../../tool.dll", b"tool\n"),
        Entry("C:/x/tool2.dll", b"tool2\n"),
        Entry("", b"nameless\n"),
        Entry("README", b"readme\n"),
        Entry("zero.txt", b"", crc=0x12345678),
        Entry("method99.bin", b"xyz", method=99),
        Entry("badcrc.txt", b"bad crc\n", crc=0xDEADBEEF),
        Entry("dosdate0.txt", b"no date\n", date=0, time=0),
        Entry("readonly.txt", b"read only\n", made_by=(0 << 8) | 20, ext_attr=0x21),
        Entry("unixro.txt", b"unix read only\n", ext_attr=0o100444 << 16),
    ]))

    # Deflated entries that lie: more output than declared, an invalid
    # stream (block type 3), and a stored block cut short.
    def deflate(data):
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        return c.compress(data) + c.flush()
    zeros = b"\0" * 1000000
    packed = deflate(zeros)
    text = b"deflated text\n" * 50
    write("deflate-cases.zip", build([
        Entry("bomb.bin", packed, method=8, usize=1000, crc=zlib.crc32(zeros[:1000])),
        Entry("blocktype3.bin", b"\x07\x00\x00", method=8, usize=10, crc=0),
        Entry("cut.bin", b"\x01" + struct.pack("<HH", len(text), len(text) ^ 0xFFFF) + text[:100], method=8,
              usize=len(text), crc=zlib.crc32(text)),
        Entry("good.txt", deflate(text), method=8, usize=len(text), crc=zlib.crc32(text)),
    ]))

    # A name that is only "..", then a plain one, then one the path check refuses.
    write("odd-names.zip", build([
        Entry("a/..", b"dots\n"),
        Entry("ok.txt", b"ok\n"),
        Entry("bad|name.txt", b"bar\n"),
    ]))

    write("empty-archive.zip", build([]))
    write("html-page.zip", b"<html><body>404 Not Found</body></html>\n")
    write("short.zip", b"PK\x05\x06short")
    # A directory that claims more entries than it holds.
    write("truncated-directory.zip", build([Entry("a.txt", b"a")], eocd_override=lambda f: (0, 0, 2, 2, f[4], f[5])))


def build_with_escapes(entries):
    """Like build(), but central headers may carry 0xFFFFFFFF size fields."""
    out = bytearray()
    offsets = []
    for e in entries:
        offsets.append(len(out))
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, e.time, e.date, e.crc, e.csize, e.usize,
                           len(e.name), 0)
        out += e.name + e.data
    cd_start = len(out)
    for e, off in zip(entries, offsets):
        cs = getattr(e, "csize_field", e.csize)
        us = getattr(e, "usize_field", e.usize)
        of = off if e.offset_field is None else e.offset_field
        out += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.made_by, 45, 0, 0, e.time, e.date, e.crc, cs, us,
                           len(e.name), len(e.central_extra), 0, 0, 0, e.ext_attr, of)
        out += e.name + e.central_extra
    cd_size = len(out) - cd_start
    z64 = len(out)
    out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(entries), len(entries), cd_size, cd_start)
    out += struct.pack("<IIQI", 0x07064B50, 0, z64, 1)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, cd_size, cd_start, 0)
    return bytes(out)


def stub_archive(entries):
    # Offsets in the records count from the file start, stub included.
    return build(entries, prefix=b"MZ" + b"\0" * 510)


if __name__ == "__main__":
    sys.exit(main())
