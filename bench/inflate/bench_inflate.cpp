// bench_inflate ARCHIVE.zip [RUNS [engine|zlib|libdeflate]]: inflate throughput of every deflated
// entry of a ZIP archive, for this engine, zlib's inflate and libdeflate, in the same process on
// the same data. Prints the best of RUNS (default 5) per decoder as MB/s of output, and the ratios.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/Crc32.h"
#include "archive/deflate/Inflate.h"
#include "runtime/Streams.h"

namespace {

struct TEntry {
    const uint8_t* data;
    size_t compressed;
    size_t size;
    uint32_t crc;
};

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The entries of one method, found through the central directory (no Zip64).
std::vector<TEntry> EntriesOf(const std::vector<uint8_t>& zip, uint16_t wantedMethod) {
    size_t eocd = zip.size() >= 22 ? zip.size() - 22 : 0;
    while (eocd > 0 && Le32(&zip[eocd]) != 0x06054B50)
        --eocd;
    if (Le32(&zip[eocd]) != 0x06054B50) throw std::runtime_error("no end of central directory");
    size_t count = Le16(&zip[eocd + 10]);
    size_t pos = Le32(&zip[eocd + 16]);
    std::vector<TEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* c = &zip[pos];
        if (Le32(c) != 0x02014B50) throw std::runtime_error("bad central header");
        uint16_t method = Le16(c + 10);
        uint32_t crc = Le32(c + 16), csize = Le32(c + 20), usize = Le32(c + 24);
        uint32_t local = Le32(c + 42);
        if (method == wantedMethod) {
            const uint8_t* l = &zip[local];
            size_t start = local + 30 + Le16(l + 26) + Le16(l + 28);
            entries.push_back({&zip[start], csize, usize, crc});
        }
        pos += 46 + Le16(c + 28) + Le16(c + 30) + Le16(c + 32);
    }
    return entries;
}

// A read-only stream over memory, so the engine reads like the peers do.
class TInputStream : public rtl::TStream {
  public:
    TInputStream(const uint8_t* p, size_t n) : FData(p), FSize(n) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = std::min(count, FSize - FPos);
        std::memcpy(buffer, FData + FPos, n);
        FPos += n;
        return n;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return static_cast<int64_t>(FPos); }
    void SetSize(int64_t) override {}

  private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

// Writes into a preallocated buffer, as the peers do.
class TOutputStream : public rtl::TStream {
  public:
    explicit TOutputStream(uint8_t* p) : FData(p) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        std::memcpy(FData + FPos, buffer, count);
        FPos += count;
        return count;
    }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return static_cast<int64_t>(FPos); }
    void SetSize(int64_t) override {}
    size_t FPos = 0;

  private:
    uint8_t* FData;
};

// CPU time of this thread: on a shared machine, time spent waiting for a core
// is not counted against any decoder.
double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

template <class F> double Seconds(F&& body) {
    double t0 = CpuSeconds();
    body();
    return CpuSeconds() - t0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_inflate ARCHIVE.zip [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::ifstream f(argv[1], std::ios::binary);
    f.seekg(0, std::ios::end);
    std::vector<uint8_t> zip(static_cast<size_t>(f.tellg()));
    f.seekg(0);
    f.read(reinterpret_cast<char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
    std::vector<TEntry> entries = EntriesOf(zip, 8);
    // Deflate64 entries (method 9): no peer decodes them, so the engine runs alone.
    std::vector<TEntry> entries64 = EntriesOf(zip, 9);
    if (entries.empty() && !entries64.empty()) {
        size_t total = 0, largest = 0;
        for (const TEntry& e : entries64)
            total += e.size, largest = std::max(largest, e.size);
        std::vector<uint8_t> out(largest + 1);
        double best = 1e30;
        for (int r = 0; r < runs; ++r)
            best = std::min(best, Seconds([&] {
                                for (const TEntry& e : entries64) {
                                    TInputStream in(e.data, e.compressed);
                                    TOutputStream dst(out.data());
                                    arc::TArcDeflateHelper helper;
                                    helper.FOptions |= arc::TArcDeflateHelper::kDeflate64;
                                    helper.FSkipChecksum = true;
                                    arc::Inflate(in, dst, helper);
                                    if (dst.FPos != e.size ||
                                        arc::TArcCrc32::Of(out.data(), e.size) != e.crc)
                                        throw std::runtime_error("deflate64: wrong output");
                                }
                            }));
        std::printf("%zu deflate64 entries, %.1f MB output: engine %.1f MB/s "
                    "(CRC-32 check included)\n",
                    entries64.size(), total / 1e6, total / best / 1e6);
        return 0;
    }
    size_t total = 0, totalCompressed = 0, largest = 0;
    for (const TEntry& e : entries) {
        total += e.size;
        totalCompressed += e.compressed;
        largest = std::max(largest, e.size);
    }
    std::vector<uint8_t> out(largest + 1);
    std::printf(
        "%zu deflated entries, %.1f MB compressed, %.1f MB output, best CPU time of %d runs\n",
        entries.size(), totalCompressed / 1e6, total / 1e6, runs);

    auto ours = [&](bool checksum) {
        for (const TEntry& e : entries) {
            TInputStream in(e.data, e.compressed);
            TOutputStream dst(out.data());
            arc::TArcDeflateHelper helper;
            helper.FSkipChecksum = !checksum;
            arc::Inflate(in, dst, helper);
            if (dst.FPos != e.size) throw std::runtime_error("engine: wrong size");
        }
    };
    auto zlib = [&] {
        for (const TEntry& e : entries) {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = const_cast<Bytef*>(e.data);
            z.avail_in = static_cast<uInt>(e.compressed);
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != e.size)
                throw std::runtime_error("zlib failed");
            inflateEnd(&z);
        }
    };
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    auto libdeflate = [&] {
        for (const TEntry& e : entries) {
            size_t got = 0;
            if (libdeflate_deflate_decompress(ld, e.data, e.compressed, out.data(), out.size(),
                                              &got) != LIBDEFLATE_SUCCESS ||
                got != e.size)
                throw std::runtime_error("libdeflate failed");
        }
    };

    // A third argument runs one decoder alone, without the check below (for
    // profiling: only the decoder shows in the samples).
    const std::string only = argc > 3 ? argv[3] : "";
    if (!only.empty()) {
        for (int r = 0; r < runs; ++r) {
            if (only == "engine")
                ours(false);
            else if (only == "zlib")
                zlib();
            else if (only == "libdeflate")
                libdeflate();
        }
        return 0;
    }
    // Correctness first (outside the timing): every entry's CRC-32 through the engine.
    for (const TEntry& e : entries) {
        TInputStream in(e.data, e.compressed);
        TOutputStream dst(out.data());
        arc::TArcDeflateHelper helper;
        uint32_t crc = arc::Inflate(in, dst, helper);
        if (crc != e.crc || arc::TArcCrc32::Of(out.data(), e.size) != e.crc) {
            std::fprintf(stderr, "CRC mismatch\n");
            return 1;
        }
    }

    // The decoders take turns within each run, so a busy phase of the machine
    // hits them alike; the best time of each counts.
    double tOurs = 1e30, tOursCrc = 1e30, tZlib = 1e30, tLd = 1e30;
    for (int r = 0; r < runs; ++r) {
        tOurs = std::min(tOurs, Seconds([&] { ours(false); }));
        tOursCrc = std::min(tOursCrc, Seconds([&] { ours(true); }));
        tZlib = std::min(tZlib, Seconds(zlib));
        tLd = std::min(tLd, Seconds(libdeflate));
    }
    libdeflate_free_decompressor(ld);
    auto mbps = [&](double t) { return total / t / 1e6; };
    std::printf("engine              %8.1f MB/s\n", mbps(tOurs));
    std::printf("engine + CRC-32     %8.1f MB/s\n", mbps(tOursCrc));
    std::printf("zlib %-14s %8.1f MB/s\n", zlibVersion(), mbps(tZlib));
    std::printf("libdeflate          %8.1f MB/s\n", mbps(tLd));
    std::printf("engine / zlib       %8.2f\n", tZlib / tOurs);
    std::printf("engine / libdeflate %8.2f\n", tLd / tOurs);
    return 0;
}
