#!/usr/bin/python3
"""Fixtures and benchmark inputs for the PPMd (method 98) decoder.

  make_ppmd_fixtures.py fixtures DIR     the small archives committed beside this script
  make_ppmd_fixtures.py large DIR        archives that fill the model's memory many times (made at test time)
  make_ppmd_fixtures.py text BYTES FILE  BYTES of generated text (the benchmark's input)
  make_ppmd_fixtures.py cutoff ORDER MIB FILE ARCHIVE
                                          FILE as one method-98 entry made by python3-ppmd with cut-off restoration

Archives come from 7-Zip (`7zz a -tzip -mm=PPMd:...`; level 9 makes it choose cut-off restoration) and from
python3-ppmd's variant I encoder, whose raw stream is wrapped here in a ZIP entry of method 98. 7-Zip tests
every archive made (`7zz t`), so each one is checked by a decoder that is not ours. Everything is
deterministic: the inputs come from a fixed linear congruential generator.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib


class Lcg:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0xFFFFFFFF
        return (self.state >> 8) % bound


def make_text(size, seed=1):
    """Prose-like text over a vocabulary of 3,000 made-up words with a skewed choice of words, so that high-order
    contexts keep appearing and the model's memory fills."""
    rng = Lcg(seed)
    syllables = ["ka", "lo", "mi", "ten", "ver", "sa", "do", "rin", "el", "ou", "qua", "zi", "pe", "str", "an",
                 "ho", "ul", "ny", "gra", "be", "wo", "fi", "ch", "ix"]
    words = []
    for _ in range(3000):
        words.append("".join(syllables[rng.next(len(syllables))] for _ in range(1 + rng.next(4))))
    out = bytearray()
    line = 0
    while len(out) < size:
        # A product of two draws favours the first words, roughly like a natural language.
        word = words[rng.next(3000) * rng.next(3000) // 3000]
        if rng.next(12) == 0:
            word = word.capitalize()
        out += word.encode()
        line += len(word) + 1
        r = rng.next(40)
        if r == 0:
            out += b". "
        elif r == 1:
            out += b", "
        elif r == 2:
            out += b" %d " % rng.next(100000)
        elif line > 70:
            out += b"\n"
            line = 0
        else:
            out += b" "
    return bytes(out[:size])


def make_binary(size, seed=7):
    """Bytes of a skewed distribution with short repeats: compressible, but every order keeps meeting new
    contexts."""
    rng = Lcg(seed)
    out = bytearray()
    while len(out) < size:
        if len(out) > 16 and rng.next(4) == 0:
            start = len(out) - 1 - rng.next(min(len(out) - 1, 4000))
            out += out[start:start + 3 + rng.next(12)]
        else:
            out.append(rng.next(256) if rng.next(3) == 0 else rng.next(16) * rng.next(16))
    return bytes(out[:size])


def ppmd_stream(data, order, mib, restoration):
    """The raw method-98 data: the 16-bit header, then python3-ppmd's variant I stream with its end mark."""
    import ppmd
    import io
    sink = io.BytesIO()
    encoder = ppmd.Ppmd8Encoder(sink, order, mib << 20, restoration)
    encoder.encode(data)
    encoder.flush()
    encoder.close()
    header = (order - 1) | (mib - 1) << 4 | restoration << 12
    return struct.pack("<H", header) + sink.getvalue()


def zip_raw_entries(path, entries):
    """A ZIP archive whose entries are (name, method, raw data, uncompressed bytes), dated 1980-01-01."""
    local = bytearray()
    central = bytearray()
    for name, method, raw, plain in entries:
        crc = zlib.crc32(plain)
        fields = struct.pack("<HHHHHIIIHH", 63, 0, method, 0, 0x21, crc, len(raw), len(plain),
                             len(name), 0)
        central += b"PK\x01\x02" + struct.pack("<H", 63) + fields + struct.pack("<HHHII", 0, 0, 0, 0,
                                                                                len(local)) + name.encode()
        local += b"PK\x03\x04" + fields + name.encode() + raw
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(entries), len(entries), len(central), len(local), 0)
    with open(path, "wb") as f:
        f.write(local + central + end)


def check(archive):
    subprocess.run(["7zz", "t", archive], check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(archive) as z:
        methods = {i.compress_type for i in z.infolist() if i.file_size > 0}
    if methods != {98}:
        sys.exit("%s: entries not all PPMd: %s" % (archive, methods))


def fixtures(out_dir):
    inputs = {"text.txt": make_text(60000), "binary.bin": make_binary(40000), "empty.txt": b"",
              "fill.bin": make_binary(120000, seed=9),
              "one.txt": b"A", "small.txt": make_text(3000, seed=5)}
    seven = [("7z-o2-mem1m.zip", ["binary.bin", "text.txt"], "-mm=PPMd:o=2:mem=1m"),
             ("7z-o6.zip", ["text.txt", "small.txt"], "-mm=PPMd:o=6"),
             ("7z-o8-mem16m.zip", ["text.txt"], "-mm=PPMd:o=8:mem=16m"),
             ("7z-o16-mem256m.zip", ["small.txt"], "-mm=PPMd:o=16:mem=256m"),
             ("7z-o16-mem1m.zip", ["fill.bin", "text.txt"], "-mm=PPMd:o=16:mem=1m"),
             ("7z-mx9-cutoff.zip", ["fill.bin", "text.txt"], "-mm=PPMd:o=16:mem=1m -mx=9")]
    # The last two: the largest model 7-Zip would shrink for so small an input, restart and cut-off.
    cutoff = [("py-ppmd.zip", [("fill.bin", 16, 1, 1), ("text.txt", 6, 1, 1), ("small.txt", 16, 1, 1),
                               ("empty.txt", 6, 1, 1), ("one.txt", 6, 1, 1), ("text-256m.txt", 16, 256, 0),
                               ("small-256m.txt", 16, 256, 1)])]
    inputs["text-256m.txt"] = inputs["text.txt"]
    inputs["small-256m.txt"] = inputs["small.txt"]
    build_seven(out_dir, inputs, seven, cutoff)


def large(out_dir):
    """4 MiB of input each: small models restart or are cut down many times, 16 MiB ones a few times."""
    inputs = {"text.txt": make_text(3 << 20, seed=11), "binary.bin": make_binary(1 << 20, seed=13)}
    seven = [("large-7z-o2.zip", ["binary.bin", "text.txt"], "-mm=PPMd:o=2:mem=1m"),
             ("large-7z-o8.zip", ["binary.bin", "text.txt"], "-mm=PPMd:o=8:mem=16m"),
             ("large-7z-o16.zip", ["binary.bin", "text.txt"], "-mm=PPMd:o=16:mem=2m"),
             ("large-7z-cutoff.zip", ["binary.bin", "text.txt"], "-mm=PPMd:o=12:mem=4m -mx=9")]
    cutoff = [("large-py-cutoff.zip", [("binary.bin", 4, 1, 1), ("text.txt", 16, 2, 1)])]
    build_seven(out_dir, inputs, seven, cutoff)


def build_seven(out_dir, inputs, seven, cutoff):
    """inputs: name -> bytes; seven: (archive, [names], 7-Zip options); cutoff: (archive, [(name, order, MiB, restoration)]), made by python3-ppmd."""
    out_dir = os.path.abspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, data in inputs.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        for archive, names, option in seven:
            path = os.path.join(out_dir, archive)
            if os.path.exists(path):
                os.remove(path)
            subprocess.run(["7zz", "a", "-tzip"] + option.split() + [path] + names, cwd=work, check=True,
                           stdout=subprocess.DEVNULL)
            check(path)
        for archive, entries in cutoff:
            raw = [(name, 98, ppmd_stream(inputs[name], order, mib, restoration), inputs[name])
                   for name, order, mib, restoration in entries]
            path = os.path.join(out_dir, archive)
            zip_raw_entries(path, raw)
            check(path)


def main(argv):
    if len(argv) == 3 and argv[1] == "fixtures":
        fixtures(argv[2])
    elif len(argv) == 3 and argv[1] == "large":
        large(argv[2])
    elif len(argv) == 4 and argv[1] == "text":
        with open(argv[3], "wb") as f:
            f.write(make_text(int(argv[2]), seed=3))
    elif len(argv) == 6 and argv[1] == "cutoff":
        with open(argv[4], "rb") as f:
            data = f.read()
        zip_raw_entries(argv[5], [(os.path.basename(argv[4]), 98,
                                   ppmd_stream(data, int(argv[2]), int(argv[3]), 1), data)])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
