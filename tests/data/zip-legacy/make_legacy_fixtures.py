#!/usr/bin/python3
"""Writes ZIP archives with the legacy methods shrink (1), reduce (2-5) and
implode (6), which no tool on this machine writes.

The encoders are fixture makers only: small, deterministic, and aimed at the
corners real archives seldom reach (every code width up to 13 bits, partial
clears, the KwKwK code, all four reduce factors, implode with both dictionary
sizes and tree counts, the longest lengths and distances). Each archive is
also tested with 7-Zip (7zz t) when it is installed, as an independent check.

  make_legacy_fixtures.py                      the fixtures of this folder
  make_legacy_fixtures.py METHOD INPUT OUTPUT  one entry (benchmark inputs);
      METHOD: shrink, reduce1 .. reduce4, implode4k2, implode4k3, implode8k2, implode8k3
"""
import heapq
import os
import random
import struct
import subprocess
import sys
import zlib

OUT = os.path.dirname(os.path.abspath(__file__))


class BitWriter:
    """Least significant bit first, as the legacy methods read their input."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, bits):
        self.acc |= value << self.n
        self.n += bits
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def data(self):
        return bytes(self.out) + (bytes([self.acc]) if self.n else b"")


# ---------------------------------------------------------------- shrink

def shrink(data):
    """LZW that keeps a copy of the decoder's code table, so every code it
    sends means to the decoder what it means here (APPNOTE 5.1): the decoder
    defines each code one step late, frees leaves on a partial clear and
    reuses the lowest free code first."""
    size, first_free, none = 8192, 257, 0xFFFF
    prefix, suffix = [none] * size, list(range(256)) + [0] * (size - 256)
    used = [True] * first_free + [False] * (size - first_free)
    child = {}  # (prefix code, byte) -> code, for the codes a match may walk through
    w, width, next_free = BitWriter(), 9, first_free
    prev = None
    prev_start = prev_len = 0
    pos, n = 0, len(data)

    def send(code):
        nonlocal width
        while code >= 1 << width:
            w.put(256, width)
            w.put(1, width)
            width += 1
        w.put(code, width)

    def advance(start):
        while start < size and used[start]:
            start += 1
        return start

    while pos < n:
        code, length = data[pos], 1
        while pos + length < n:
            nxt = child.get((code, data[pos + length]))
            if nxt is None:
                break
            code, length = nxt, length + 1
        # KwKwK: the code about to be defined, previous string + its first byte.
        # Not when that code is the previous one itself (freed by a clear): the
        # decoder would then define it as its own prefix.
        if prev is not None and next_free < size and next_free != prev and length <= prev_len \
                and data[pos:pos + prev_len] == data[prev_start:prev_start + prev_len] \
                and pos + prev_len < n and data[pos + prev_len] == data[prev_start]:
            code, length = next_free, prev_len + 1
        send(code)
        if prev is not None and next_free < size:
            prefix[next_free], suffix[next_free], used[next_free] = prev, data[pos], True
            child[(prev, data[pos])] = next_free
            next_free = advance(next_free + 1)
        prev, prev_start, prev_len = code, pos, length
        pos += length
        if next_free >= size and pos < n:
            send(256)
            w.put(2, width)
            parents = {prefix[c] for c in range(first_free, size) if used[c] and prefix[c] != none}
            for c in range(first_free, next_free):
                if used[c] and c not in parents:
                    used[c] = False
                    if child.get((prefix[c], suffix[c])) == c:
                        del child[(prefix[c], suffix[c])]
            next_free = advance(first_free)
    return w.data()


# ---------------------------------------------------------------- LZ77

def lz77(data, max_dist, min_len, max_len, zero_prefix=False, reject=None):
    """Greedy matches from a hash of three bytes. zero_prefix lets matches reach
    before the first byte, where the decoders see zeros."""
    base = max_dist if zero_prefix else 0
    buf = bytes(base) + data
    heads, tokens, i, n = {}, [], base, len(buf)

    def insert(p):
        chain = heads.setdefault(buf[p:p + 3], [])
        chain.append(p)
        if len(chain) > 24:
            del chain[:8]

    for p in range(max(0, base - max_dist), base):
        insert(p)
    while i < n:
        best_len = best_dist = 0
        limit = min(max_len, n - i)
        if limit >= min_len:
            for p in reversed(heads.get(buf[i:i + 3], ())):
                dist = i - p
                if dist > max_dist:
                    break
                length = 0
                while length < limit and buf[p + length] == buf[i + length]:
                    length += 1
                if length > best_len and not (reject and reject(length, dist)):
                    best_len, best_dist = length, dist
                    if length == limit:
                        break
        if best_len >= min_len:
            tokens.append((best_len, best_dist))
            for p in range(i, min(i + best_len, n - 2)):
                insert(p)
            i += best_len
        else:
            tokens.append(buf[i])
            if i + 2 < n:
                insert(i)
            i += 1
    return tokens


# ---------------------------------------------------------------- reduce

def reduce(data, factor):
    """The 144-escape byte stream of matches (APPNOTE 5.2), then coded with
    follower sets chosen per previous byte."""
    mask = (127, 63, 31, 15)[factor - 1]
    max_dist = ((255 >> (8 - factor)) << 8) + 256
    # V = 0 after the marker means a literal 144, so a 3-byte match below 257 cannot be sent.
    tokens = lz77(data, max_dist, 3, mask + 255 + 3, zero_prefix=True,
                  reject=lambda length, dist: length == 3 and dist <= 256)
    stream = bytearray()
    for t in tokens:
        if isinstance(t, int):
            stream += b"\x90\x00" if t == 144 else bytes([t])
        else:
            length, dist = t[0] - 3, t[1] - 1
            stream += bytes([144, (dist >> 8) << (8 - factor) | min(length, mask)])
            if length >= mask:
                stream.append(length - mask)
            stream.append(dist & 0xFF)

    counts = [[0] * 256 for _ in range(256)]
    last = 0
    for c in stream:
        counts[last][c] += 1
        last = c
    sets = []
    for v in range(256):
        ranked = sorted((b for b in range(256) if counts[v][b]), key=lambda b: -counts[v][b])[:32]
        total = sum(counts[v])

        def cost(k):
            if k == 0:
                return 8 * total
            inside = sum(counts[v][b] for b in ranked[:k])
            return 8 * k + inside * (1 + index_bits(k)) + (total - inside) * 9

        sets.append(ranked[:min(range(len(ranked) + 1), key=cost)])
    w = BitWriter()
    for v in range(255, -1, -1):
        w.put(len(sets[v]), 6)
        for b in sets[v]:
            w.put(b, 8)
    last = 0
    for c in stream:
        s = sets[last]
        if not s:
            w.put(c, 8)
        elif c in s:
            w.put(0, 1)
            w.put(s.index(c), index_bits(len(s)))
        else:
            w.put(1, 1)
            w.put(c, 8)
        last = c
    return w.data()


def index_bits(n):
    return max(1, (n - 1).bit_length())


# ---------------------------------------------------------------- implode

def huffman_lengths(freqs, limit=16):
    freqs = [f + 1 for f in freqs]  # every value needs a code
    while True:
        heap = [(f, i, [i]) for i, f in enumerate(freqs)]
        heapq.heapify(heap)
        lengths = [0] * len(freqs)
        while len(heap) > 1:
            f1, i1, s1 = heapq.heappop(heap)
            f2, i2, s2 = heapq.heappop(heap)
            for s in s1 + s2:
                lengths[s] += 1
            heapq.heappush(heap, (f1 + f2, min(i1, i2), s1 + s2))
        if max(lengths) <= limit:
            return lengths
        freqs = [max(1, f >> 1) for f in freqs]


def shannon_fano_codes(lengths):
    """APPNOTE 5.3.8: sorted by length then value, codes given from the last
    entry back; returned as the bits to send, first bit lowest."""
    order = sorted(range(len(lengths)), key=lambda v: (lengths[v], v))
    codes, code = [0] * len(lengths), 0
    for v in reversed(order):
        top = code >> (16 - lengths[v])
        codes[v] = int(format(top, "0%db" % lengths[v])[::-1], 2)
        code = (code + (1 << (16 - lengths[v]))) & 0xFFFF
    return codes


def write_tree(w, lengths):
    groups = []
    for length in lengths:
        if groups and groups[-1][0] == length and groups[-1][1] < 16:
            groups[-1][1] += 1
        else:
            groups.append([length, 1])
    w.put(len(groups) - 1, 8)
    for length, count in groups:
        w.put((count - 1) << 4 | (length - 1), 8)


def implode(data, dict8k, three_trees):
    low_bits, min_len = (7 if dict8k else 6), (3 if three_trees else 2)
    tokens = lz77(data, 8192 if dict8k else 4096, min_len, min_len + 63 + 255, zero_prefix=True)
    lit, lens, dists = [0] * 256, [0] * 64, [0] * 64
    for t in tokens:
        if isinstance(t, int):
            lit[t] += 1
        else:
            lens[min(t[0] - min_len, 63)] += 1
            dists[(t[1] - 1) >> low_bits] += 1
    trees = ([huffman_lengths(lit)] if three_trees else []) + [huffman_lengths(lens), huffman_lengths(dists)]
    w = BitWriter()
    for lengths in trees:
        write_tree(w, lengths)
    codes = [shannon_fano_codes(t) for t in trees]
    if three_trees:
        lit_len, lit_code = trees[0], codes[0]
    len_len, len_code, dist_len, dist_code = trees[-2], codes[-2], trees[-1], codes[-1]
    for t in tokens:
        if isinstance(t, int):
            w.put(1, 1)
            if three_trees:
                w.put(lit_code[t], lit_len[t])
            else:
                w.put(t, 8)
        else:
            w.put(0, 1)
            dist, length = t[1] - 1, t[0] - min_len
            w.put(dist & ((1 << low_bits) - 1), low_bits)
            hi = dist >> low_bits
            w.put(dist_code[hi], dist_len[hi])
            code = min(length, 63)
            w.put(len_code[code], len_len[code])
            if code == 63:
                w.put(length - 63, 8)
    return w.data()


# ---------------------------------------------------------------- archives

METHODS = {
    "shrink": (1, 0, shrink),
    "reduce1": (2, 0, lambda d: reduce(d, 1)),
    "reduce2": (3, 0, lambda d: reduce(d, 2)),
    "reduce3": (4, 0, lambda d: reduce(d, 3)),
    "reduce4": (5, 0, lambda d: reduce(d, 4)),
    "implode4k2": (6, 0, lambda d: implode(d, False, False)),
    "implode4k3": (6, 4, lambda d: implode(d, False, True)),
    "implode8k2": (6, 2, lambda d: implode(d, True, False)),
    "implode8k3": (6, 6, lambda d: implode(d, True, True)),
}


def write_zip(path, entries, check=True):
    """entries: (name, method key, data), or (name, method, flags, packed
    bytes, expected data) for streams written by hand."""
    out, central = bytearray(), bytearray()
    for entry in entries:
        if len(entry) == 3:
            name, key, data = entry
            method, flags, encode = METHODS[key]
            packed = encode(data)
        else:
            name, method, flags, packed, data = entry
        head = struct.pack("<HHHHHIIIHH", 10, flags, method, 0x6000, 0x5A21, zlib.crc32(data),
                           len(packed), len(data), len(name), 0)
        central += struct.pack("<IH", 0x02014B50, 10) + head + struct.pack("<HHHII", 0, 0, 0, 0, len(out))
        central += name.encode()
        out += struct.pack("<I", 0x04034B50) + head + name.encode() + packed
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(out), 0)
    with open(path, "wb") as f:
        f.write(out + central + end)
    # 7-Zip reads shrink and implode but not reduce, which nothing here reads.
    if check and subprocess.run(["sh", "-c", "command -v 7zz"], capture_output=True).returncode == 0 \
            and not any(len(e) == 3 and METHODS[e[1]][0] in (2, 3, 4, 5) for e in entries):
        result = subprocess.run(["7zz", "t", path], capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit("7zz does not accept %s:\n%s" % (path, result.stdout))


def bits(*fields):
    """A stream written field by field: (value, bit count) pairs."""
    w = BitWriter()
    for value, count in fields:
        w.put(value, count)
    return w.data()


def cases(text):
    """Damaged and hand-made streams; README.md lists what each must give."""
    widen = [f for width in range(9, 14) for f in ((256, width), (1, width))]
    two_trees_of_length_7 = bytes([3, 0xF6, 0xF6, 0xF6, 0xF6]) * 2  # codes for half the code space
    write_zip(os.path.join(OUT, "cases.zip"), [
        ("cut.txt", 1, 0, shrink(text[:5000])[:600], text[:5000]),
        ("code8192.bin", 1, 0, bits(*widen, (65, 14), (8192, 14)), b"AA"),
        # a, b, "ab", partial clear (frees 257 and 258), a (defines 257 as its own prefix), 257
        ("cycle.bin", 1, 0, bits((97, 9), (98, 9), (257, 9), (256, 9), (2, 9), (97, 9), (257, 9)), b"ababaab"),
        ("long.txt", 1, 0, shrink(b"hello hello hello"), b"hello"),
        ("sets-cut.bin", 2, 0, reduce(text[:3000], 1)[:100], text[:3000]),
        ("tree-overflow.bin", 6, 6, bytes([16] + [0xF7] * 17), b"x"),
        ("tree-short.bin", 6, 6, bytes([0, 0xF7]), b"x"),
        # a match whose codes match nothing (value 0: distance 1, length 2,
        # before the first byte), then the literal A
        ("unmatched.bin", 6, 0, two_trees_of_length_7 + bits((0, 1), (0, 6), (1, 7), (1, 7), (1, 1), (65, 8)),
         b"\0\0A"),
    ], check=False)


def fixtures():
    rng = random.Random(1989)
    text = open(os.path.join(OUT, "..", "zip", "src", "text.txt"), "rb").read()

    def noise(size, alphabet=256):
        return bytes(rng.randrange(alphabet) for _ in range(size))

    # Codes past 8,191 and three partial clears: strings over four letters
    # fill the table every 30 KB or so.
    clears = noise(120000, 4).translate(bytes.maketrans(b"\0\1\2\3", b"acgt"))
    # Runs make the decoder meet codes the moment they are defined (KwKwK).
    kwkwk = b"a" * 300 + b"ab" * 200 + b"xyz" * 50 + b"a" * 1000
    write_zip(os.path.join(OUT, "shrink.zip"),
              [("clears.txt", "shrink", clears), ("kwkwk.txt", "shrink", kwkwk), ("text.txt", "shrink", text[:40000])])

    # Matches of the shortest and longest lengths at the shortest and longest
    # distances of each factor, with literal 144s and a reference before the
    # first byte.
    reduced = []
    for factor in range(1, 5):
        far = ((255 >> (8 - factor)) << 8) + 256
        block = noise(far)
        data = bytes(5) + b"\x90" * 3 + block + block + b"z" * 600 + noise(3000, 16) + text[:4000]
        reduced.append(("factor%d.bin" % factor, "reduce%d" % factor, data))
    write_zip(os.path.join(OUT, "reduce.zip"), reduced)

    imploded = []
    for key, far in (("implode4k2", 4096), ("implode4k3", 4096), ("implode8k2", 8192), ("implode8k3", 8192)):
        block = noise(far)
        data = bytes(40) + block + block + b"q" * 1000 + noise(5000, 8) + text[:12000]
        imploded.append((key + ".bin", key, data))
    write_zip(os.path.join(OUT, "implode.zip"), imploded)
    cases(text)


if __name__ == "__main__":
    if len(sys.argv) == 4:
        with open(sys.argv[2], "rb") as f:
            write_zip(sys.argv[3], [(os.path.basename(sys.argv[2]), sys.argv[1], f.read())])
    else:
        fixtures()
