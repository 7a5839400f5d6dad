// The decoders over libbz2, liblzma and libwavpack (methods 12, 14, 97):
// archives made by 7-Zip and by the WavPack fixture maker, damaged and cut
// streams, a source that hands out a few bytes at a time and cannot seek, and
// LZMA headers that ask for more than they need.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "archive/ArcErrors.h"
#include "archive/ZipFormat.h"
#include "archive/codecs/CodecErrors.h"
#include "archive/codecs/Codecs.h"
#include "platform/Files.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using testing_support::DataFile;
using testing_support::ReadFileBytes;

namespace {

std::string Codecs(const std::string& name) {
    return DataFile("zip-codecs/" + name);
}

// The original of an entry: WavPack entries NAME-SETTING.wav come from wav/NAME.wav.
std::string Original(const std::string& archive, const std::string& entry) {
    if (archive != "wavpack.zip") return ReadFileBytes(Codecs("src/" + entry));
    return ReadFileBytes(Codecs("src/wav/" + entry.substr(0, entry.rfind('-')) + ".wav"));
}

struct RawEntry {
    std::string name, data;
    uint16_t method, flags;
    int64_t size;
};

TArcZipItem& ItemNamed(TArcUnZipper& zip, const std::string& name) {
    for (int i = 0; i < zip.Count(); ++i)
        if (zip.Items(i).FileName() == name) return zip.Items(i);
    throw std::runtime_error("no entry " + name);
}

RawEntry Raw(const std::string& archive, const std::string& name) {
    TArcUnZipper zip;
    zip.OpenArchive(Codecs(archive));
    const std::string bytes = ReadFileBytes(Codecs(archive));
    TArcZipItem& item = ItemNamed(zip, name);
    const size_t start = ziptest::DataOffset(bytes, item);
    return {name, bytes.substr(start, item.CompressedSize()), item.CompressionMethod(),
            item.GeneralPurposeBitFlag(), item.UncompressedSize()};
}

// Hands out at most 7 bytes per read and refuses to move, like the
// decryption stream of an encrypted entry.
class TTrickleStream : public rtl::TStream {
  public:
    explicit TTrickleStream(std::string data) : FData(std::move(data)) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = std::min({count, FData.size() - FPos, size_t(1 + FPos % 7)});
        std::memcpy(buffer, FData.data() + FPos, n);
        FPos += n;
        return n;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override {
        if (offset != 0 || origin != rtl::TSeekOrigin::soCurrent)
            throw EArcException("cannot seek");
        return static_cast<int64_t>(FPos);
    }
    void SetSize(int64_t) override {}

  private:
    std::string FData;
    size_t FPos = 0;
};

void DecodeInto(rtl::TStream& in, rtl::TStream& out, uint16_t method, int64_t size) {
    switch (method) {
    case 12:
        DecodeBZip2(in, out, size);
        break;
    case 14:
        DecodeLZMA(in, out, size);
        break;
    case 97:
        DecodeWavPack(in, out);
        break;
    default:
        FAIL() << method;
    }
}

std::string Decode(const RawEntry& e, const std::string& data, bool trickle = false) {
    rtl::TMemoryStream memory, out;
    TTrickleStream slow(data);
    memory.WriteBuffer(data.data(), data.size());
    memory.SetPosition(0);
    DecodeInto(trickle ? static_cast<rtl::TStream&>(slow) : memory, out, e.method, e.size);
    return std::string(out.Bytes().begin(), out.Bytes().end());
}

// The message Decode raises, or "" when it succeeds.
std::string FailureOf(const RawEntry& e, const std::string& data) {
    try {
        Decode(e, data);
        return "";
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
}

std::string With(std::string data, size_t at, uint8_t value) {
    data[at] = static_cast<char>(value);
    return data;
}

} // namespace

TEST(ExtractCodecs, EveryEntryComesOutAsTheOriginalBytes) {
    const struct {
        const char* archive;
        int entries;
        uint16_t method;
    } cases[] = {{"bzip2.zip", 3, 12},
                 {"lzma.zip", 3, 14},
                 {"lzma-noeos.zip", 3, 14},
                 {"wavpack.zip", 24, 97}};
    for (const auto& c : cases) {
        ziptest::Unzip u;
        u.ExtractAll(Codecs(c.archive));
        EXPECT_TRUE(u.failures.empty()) << c.archive << ":\n" << u.Failures();
        ASSERT_EQ(u.zip.Count(), c.entries) << c.archive;
        for (int i = 0; i < u.zip.Count(); ++i) {
            TArcZipItem& item = u.zip.Items(i);
            EXPECT_EQ(item.CompressionMethod(), c.method) << item.FileName();
            const std::string original = Original(c.archive, item.FileName());
            ASSERT_FALSE(original.empty()) << item.FileName();
            EXPECT_TRUE(ReadFileBytes(u.Out(item.FileName())) == original)
                << c.archive << " " << item.FileName();
        }
    }
    // 7-Zip marks the end marker it writes; eos=off leaves it out.
    EXPECT_NE(Raw("lzma.zip", "text.txt").flags & kFlagLzmaEndMarker, 0);
    EXPECT_EQ(Raw("lzma-noeos.zip", "text.txt").flags & kFlagLzmaEndMarker, 0);
}

TEST(ExtractCodecs, ASlowUnseekableSourceGivesTheSameBytes) {
    for (auto [archive, name] : {std::pair{"bzip2.zip", "text.txt"},
                                 {"lzma.zip", "text.txt"},
                                 {"lzma-noeos.zip", "data.bin"},
                                 {"wavpack.zip", "s16-stereo-high.wav"},
                                 {"wavpack.zip", "s24-mono-extra.wav"}}) {
        const RawEntry e = Raw(archive, name);
        EXPECT_TRUE(Decode(e, e.data, true) == Original(archive, name)) << archive << " " << name;
    }
}

TEST(ExtractCodecs, DamagedDataFailsWithItsReason) {
    const RawEntry bz = Raw("bzip2.zip", "text.txt");
    const RawEntry lz = Raw("lzma.zip", "text.txt");
    const RawEntry lzNoEos = Raw("lzma-noeos.zip", "text.txt");
    const RawEntry wv = Raw("wavpack.zip", "s16-stereo-default.wav");
    const size_t bzMid = bz.data.size() / 2, wvMid = wv.data.size() / 2;
    const struct {
        const char* what;
        const RawEntry& entry;
        std::string data;
        const char* message;
    } cases[] = {
        {"bzip2 cut in half", bz, bz.data.substr(0, bzMid), "Stream read error"},
        {"bzip2 without its magic", bz, With(bz.data, 0, 'C'), "error -5"},
        {"bzip2 with a damaged block header", bz, With(bz.data, 5, 0), "error -4"},
        {"LZMA cut in half", lz, lz.data.substr(0, lz.data.size() / 2), "LZMA Input EOF Error."},
        {"LZMA without its end, no marker", lzNoEos, lzNoEos.data.substr(0, 2000),
         "LZMA Input EOF Error."},
        {"LZMA header cut", lz, lz.data.substr(0, 7), "Stream read error"},
        {"LZMA properties size 4", lz, With(lz.data, 2, 4), "LZMA \"Unsupported\" Error."},
        {"LZMA properties size 261", lz, With(lz.data, 3, 1), "LZMA \"Unsupported\" Error."},
        {"LZMA lc/lp/pb byte 225", lz, With(lz.data, 4, 225), "LZMA \"Unsupported\" Error."},
        {"LZMA range coder not starting with 0", lz, With(lz.data, 9, 1), "LZMA Data Error."},
        {"WavPack data that is text", wv, "This is not a WavPack file at all.",
         "WavPack decompression failed: not compatible with this version of WavPack file!"},
        {"WavPack data that is a WAV file", wv, Original("wavpack.zip", wv.name),
         "WavPack decompression failed: this legacy WavPack file is deprecated, use version "
         "4.80.0 to transcode"},
        {"WavPack cut in half", wv, wv.data.substr(0, wvMid),
         "WavPack decompression failed: can't read all of WavPack file!"},
        {"WavPack with a damaged block", wv, With(wv.data, wvMid, wv.data[wvMid] ^ 0x10),
         "WavPack decompression failed: not compatible with this version of WavPack file!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureOf(c.entry, c.data), c.message) << c.what;
}

TEST(ExtractCodecs, ACutStreamFailsOrLostOnlyItsTrailer) {
    // Whatever the cut, the decoder raises one of its errors or gives the
    // whole original: only what follows the last byte of output (the bzip2
    // stream trailer, the LZMA end marker) may go missing unnoticed. No
    // decoder reads past what it has.
    for (auto [archive, name] : {std::pair{"bzip2.zip", "small.txt"},
                                 {"lzma.zip", "small.txt"},
                                 {"lzma-noeos.zip", "small.txt"},
                                 {"wavpack.zip", "s8-mono-default.wav"}}) {
        const RawEntry e = Raw(archive, name);
        const std::string original = Original(archive, name);
        for (size_t cut = 0; cut < e.data.size(); ++cut) {
            try {
                const std::string out = Decode(e, e.data.substr(0, cut));
                EXPECT_TRUE(out == original) << archive << " cut at " << cut;
                EXPECT_GT(cut, e.data.size() * 3 / 4) << archive << " cut at " << cut;
            } catch (const rtl::Exception&) {
            }
        }
    }
}

TEST(ExtractCodecs, AnLZMADictionaryLargerThanTheEntryIsNotAllocated) {
    // A header asking for a 4 GiB dictionary decodes a small entry all the
    // same: the dictionary never needs to be larger than the output.
    RawEntry e = Raw("lzma.zip", "small.txt");
    std::string data = e.data;
    for (size_t i = 5; i < 9; ++i)
        data[i] = '\xFF';
    EXPECT_TRUE(Decode(e, data) == Original("lzma.zip", "small.txt"));
}

TEST(ExtractCodecs, AFailedEntryIsReportedAndRemoved) {
    // A good archive with one byte changed in each copy: the failure reaches
    // the item-failure hook and the partly written file is deleted.
    const struct {
        const char* archive;
        const char* entry;
        size_t offset; // from the entry's first data byte
        uint8_t value;
        const char* message;
    } cases[] = {{"lzma.zip", "text.txt", 2, 6, "LZMA \"Unsupported\" Error."},
                 {"bzip2.zip", "text.txt", 0, 'X', "error -5"},
                 {"wavpack.zip", "s32-stereo-high.wav", 0, 'x',
                  "WavPack decompression failed: not compatible with this version of WavPack "
                  "file!"}};
    for (const auto& c : cases) {
        std::string bytes = ReadFileBytes(Codecs(c.archive));
        TArcUnZipper probe;
        probe.OpenArchive(Codecs(c.archive));
        TArcZipItem& item = ItemNamed(probe, c.entry);
        bytes[ziptest::DataOffset(bytes, item) + c.offset] = static_cast<char>(c.value);
        probe.CloseArchive();
        testing_support::TempDir source;
        testing_support::WriteFileBytes(source.File("damaged.zip"), bytes);
        ziptest::Unzip u;
        u.zip.OpenArchive(source.File("damaged.zip"));
        u.zip.ExtractFiles("*.*");
        ASSERT_EQ(u.failures.size(), 1u) << c.archive;
        EXPECT_EQ(u.failures[0].name, c.entry);
        EXPECT_EQ(u.failures[0].message, c.message) << c.archive;
        EXPECT_FALSE(platform::FileExists(u.Out(c.entry))) << c.archive;
    }
}
