#!/usr/bin/env python3
"""Writes a ZIP archive of method 97 (WavPack) entries.

    make_wavpack_zip.py OUT.zip WV_DIR WAV_DIR

Each NAME-SETTING.wv of WV_DIR becomes the entry NAME-SETTING.wav: its data is
the .wv file as it stands, its CRC-32 and uncompressed size are those of
WAV_DIR/NAME.wav, the file that wavpack made it from. Records are written by
hand (Python's zipfile refuses methods it cannot compress)."""
import os
import struct
import sys
import zlib

METHOD_WAVPACK = 97
DOS_TIME, DOS_DATE = 0, (2024 - 1980) << 9 | 1 << 5 | 1


def main(out, wv_dir, wav_dir):
    local, central = bytearray(), bytearray()
    count = 0
    for name in sorted(os.listdir(wv_dir)):
        data = open(os.path.join(wv_dir, name), "rb").read()
        wav = open(os.path.join(wav_dir, name.rsplit("-", 1)[0] + ".wav"), "rb").read()
        entry = name[:-3].encode() + b".wav"
        crc = zlib.crc32(wav)
        fields = struct.pack("<HHHHHIIIHH", 20, 0, METHOD_WAVPACK, DOS_TIME, DOS_DATE, crc,
                             len(data), len(wav), len(entry), 0)
        central += b"PK\1\2" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, len(local)) + entry
        local += b"PK\3\4" + fields + entry + data
        count += 1
    end = b"PK\5\6" + struct.pack("<HHHHIIH", 0, 0, count, count, len(central), len(local), 0)
    open(out, "wb").write(bytes(local + central + end))


if __name__ == "__main__":
    main(*sys.argv[1:])
