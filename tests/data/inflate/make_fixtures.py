#!/usr/bin/env python3
"""Regenerates the inflate fixtures in this folder (see README)."""
import os, random, struct, subprocess, tempfile, zlib

here = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(5)

# Mixed text and binary, long enough to cross several window slides.
words = ("install folder archive entry window stream block table symbol length distance "
         "literal header central local directory offset checksum").split()
parts = []
while sum(map(len, parts)) < 150000:
    kind = rng.random()
    if kind < 0.6:
        parts.append(" ".join(rng.choice(words) for _ in range(rng.randint(5, 40))).encode() + b"\n")
    elif kind < 0.85:
        base = rng.randint(0, 1 << 20)
        parts.append(b"".join(struct.pack("<I", base + 4 * i) for i in range(rng.randint(8, 64))))
    else:
        parts.append(bytes(rng.getrandbits(8) for _ in range(rng.randint(16, 256))))
mixed = b"".join(parts)
open(os.path.join(here, "mixed.bin"), "wb").write(mixed)
for level in (1, 6, 9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    open(os.path.join(here, "mixed.l%d.deflate" % level), "wb").write(c.compress(mixed) + c.flush())

noise = bytes(rng.getrandbits(8) for _ in range(40000))
print("random.bin", len(noise), "%08X" % zlib.crc32(noise))
c = zlib.compressobj(6, zlib.DEFLATED, -15)
open(os.path.join(here, "random.l6.deflate"), "wb").write(c.compress(noise) + c.flush())

# Deflate64: repeats 40 to 64 KiB back and runs far longer than 258 bytes.
a = bytes(rng.getrandbits(8) for _ in range(20000))
b = mixed[:40000]
d64 = a + b + a + b"A" * 70000 + b[:30000] + a[:5000] + b"xyz" * 9000
print("d64.bin", len(d64), "%08X" % zlib.crc32(d64))
with tempfile.TemporaryDirectory() as tmp:
    src = os.path.join(tmp, "d64.bin")
    open(src, "wb").write(d64)
    zpath = os.path.join(tmp, "d64.zip")
    subprocess.run(["7zz", "a", "-tzip", "-mm=Deflate64", "-mx=9", zpath, src],
                   check=True, stdout=subprocess.DEVNULL)
    z = open(zpath, "rb").read()
# The single entry's raw data, located through its local header.
sig, ver, flags, method, t, d, crc, csize, usize, nlen, xlen = struct.unpack("<IHHHHHIIIHH", z[:30])
assert sig == 0x04034B50 and method == 9, (hex(sig), method)
assert crc == zlib.crc32(d64) or flags & 8
if flags & 8:  # sizes in the central directory
    cd = z.rfind(b"PK\x01\x02")
    csize = struct.unpack("<I", z[cd + 20:cd + 24])[0]
start = 30 + nlen + xlen
open(os.path.join(here, "d64.deflate64"), "wb").write(z[start:start + csize])
