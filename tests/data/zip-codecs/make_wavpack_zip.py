#!/usr/bin/env python3
"""Writes a ZIP archive of method 97 (WavPack) entries.

    make_wavpack_zip.py [--into BASE.zip] OUT.zip WV_DIR WAV_DIR

Each NAME-SETTING.wv (or NAME.wv) of WV_DIR becomes the entry NAME-SETTING.wav
(NAME.wav): its data is the .wv file as it stands, its CRC-32 and uncompressed
size are those of WAV_DIR/NAME.wav, the file that wavpack made it from. With
--into, the entries follow those of BASE.zip (no comment, no Zip64). Records
are written by hand: Python's zipfile refuses methods it cannot compress."""
import os
import struct
import sys
import zlib

METHOD_WAVPACK = 97
DOS_TIME, DOS_DATE = 0, (2024 - 1980) << 9 | 1 << 5 | 1


def read_base(path):
    data = open(path, "rb").read()
    end = data[-22:]
    assert end[:4] == b"PK\5\6", "the base archive must end in an end record without comment"
    count = struct.unpack("<H", end[10:12])[0]
    size, offset = struct.unpack("<II", end[12:20])
    return bytearray(data[:offset]), bytearray(data[offset:offset + size]), count


def main(args):
    local, central, count = bytearray(), bytearray(), 0
    if args[0] == "--into":
        local, central, count = read_base(args[1])
        args = args[2:]
    out, wv_dir, wav_dir = args
    for name in sorted(n for n in os.listdir(wv_dir) if n.endswith(".wv")):
        stem = name[:-3]
        data = open(os.path.join(wv_dir, name), "rb").read()
        wav = open(os.path.join(wav_dir, stem.rsplit("-", 1)[0] + ".wav"), "rb").read()
        entry = stem.encode() + b".wav"
        crc = zlib.crc32(wav)
        fields = struct.pack("<HHHHHIIIHH", 20, 0, METHOD_WAVPACK, DOS_TIME, DOS_DATE, crc,
                             len(data), len(wav), len(entry), 0)
        central += b"PK\1\2" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, len(local)) + entry
        local += b"PK\3\4" + fields + entry + data
        count += 1
    end = b"PK\5\6" + struct.pack("<HHHHIIH", 0, 0, count, count, len(central), len(local), 0)
    open(out, "wb").write(bytes(local + central + end))


if __name__ == "__main__":
    main(sys.argv[1:])
