#!/bin/sh
# Writes the bzip2, LZMA and WavPack fixtures from generated sources under
# src/: bzip2.zip (7-Zip, -mm=BZip2), lzma.zip (7-Zip, -mm=LZMA: end marker,
# flag bit 1), lzma-noeos.zip (-mm=LZMA:eos=off: no end marker, bit 1 clear)
# and wavpack.zip (method 97 entries written by make_wavpack_zip.py from .wv
# files that Debian's wavpack 5.6 made of WAV files of 8, 16, 24 and 32 bits,
# mono and stereo, at its default, high (-h) and extra (-x) settings). The
# archives hold the time of the run, so running this again changes their
# bytes but not their content; the tests compare what comes out with src/.
set -e
cd "$(dirname "$0")"
rm -rf src wv && mkdir -p src/wav wv
python3 - <<'PY'
import math, random, struct
r = random.Random(11)
words = ["bzip", "lzma", "range", "coder", "block", "sort", "sample", "stereo", "wrapper", "riff"]
open("src/text.txt", "w").write("".join(" ".join(r.choice(words) for _ in range(10)) + "\n" for _ in range(2000)))
open("src/data.bin", "wb").write(bytes(r.randrange(256) & r.randrange(256) for _ in range(20000)))
open("src/small.txt", "w").write("small entry, small entry, small entry, small entry\n" * 3)
# WAV files: a tone with a little noise, 1,500 frames at 22,050 Hz. The
# stereo 16-bit one also has a LIST chunk after its data, which WavPack keeps
# as the trailing part of the wrapper.
for bits in (8, 16, 24, 32):
    for channels in (1, 2):
        frames = bytearray()
        peak = (1 << (bits - 1)) - 1
        for n in range(1500):
            for c in range(channels):
                v = int(peak * 0.6 * math.sin(2 * math.pi * (440 + 110 * c) * n / 22050))
                v += r.randrange(-peak // 50, peak // 50 + 1)
                v = max(-peak - 1, min(peak, v))
                frames += bytes([v + 128]) if bits == 8 else (v & ((1 << bits) - 1)).to_bytes(bits // 8, "little")
        block = channels * bits // 8
        fmt = struct.pack("<HHIIHH", 1, channels, 22050, 22050 * block, block, bits)
        tail = b""
        if bits == 16 and channels == 2:
            info = b"INFOISFT" + struct.pack("<I", 6) + b"tests\0"
            tail = b"LIST" + struct.pack("<I", len(info)) + info
        body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(frames)) + bytes(frames) + tail
        name = "s%d-%s.wav" % (bits, "stereo" if channels == 2 else "mono")
        open("src/wav/" + name, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
for w in src/wav/*.wav; do
    base=$(basename "$w" .wav)
    wavpack -q -y "$w" -o "wv/$base-default.wv"
    wavpack -q -y -h "$w" -o "wv/$base-high.wv"
    wavpack -q -y -x "$w" -o "wv/$base-extra.wv"
done
rm -f bzip2.zip lzma.zip lzma-noeos.zip wavpack.zip
(cd src && 7zz a -bd -bso0 -tzip -mm=BZip2 ../bzip2.zip text.txt data.bin small.txt &&
    7zz a -bd -bso0 -tzip -mm=LZMA ../lzma.zip text.txt data.bin small.txt &&
    7zz a -bd -bso0 -tzip -mm=LZMA:eos=off ../lzma-noeos.zip text.txt data.bin small.txt)
python3 make_wavpack_zip.py wavpack.zip wv src/wav
rm -rf wv
