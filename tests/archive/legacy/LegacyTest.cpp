// The decoders of methods 1 to 6 (shrink, reduce, implode): archives from old
// tools and from the fixture maker, damaged streams, cut streams and the
// sliding window's limits.
#include <gtest/gtest.h>

#include "archive/ArcErrors.h"
#include "archive/ZipFormat.h"
#include "archive/legacy/SlidingWindowStream.h"
#include "archive/legacy/LegacyDecoders.h"
#include "platform/Files.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using testing_support::DataFile;
using testing_support::ReadFileBytes;

namespace {

std::string Legacy(const std::string& name) {
    return DataFile("zip-legacy/" + name);
}

// One entry's compressed bytes and what the helper needs to decode them.
struct RawEntry {
    std::string name, data;
    uint16_t method, flags;
    int64_t size;
};

std::vector<RawEntry> RawEntries(const std::string& archive) {
    TArcUnZipper zip;
    zip.OpenArchive(Legacy(archive));
    const std::string bytes = ReadFileBytes(Legacy(archive));
    std::vector<RawEntry> entries;
    for (int i = 0; i < zip.Count(); ++i) {
        TArcZipItem& item = zip.Items(i);
        const size_t start = ziptest::DataOffset(bytes, item);
        entries.push_back({item.FileName(), bytes.substr(start, item.CompressedSize()),
                           item.CompressionMethod(), item.GeneralPurposeBitFlag(),
                           item.UncompressedSize()});
    }
    return entries;
}

std::string Decode(const RawEntry& e, size_t cut) {
    rtl::TMemoryStream in, out;
    in.WriteBuffer(e.data.data(), std::min(cut, e.data.size()));
    in.SetPosition(0);
    TArcUnzipHelper helper(in, out);
    helper.FUnCompressedSize = e.size;
    helper.FCompressionMethod = e.method;
    helper.FDictionarySize = (e.flags & kFlagImplode8KDictionary) ? 8192 : 4096;
    helper.FShannonFanoTreeCount = (e.flags & kFlagImplode3Trees) ? 3 : 2;
    helper.Execute();
    return std::string(out.Bytes().begin(), out.Bytes().end());
}

} // namespace

TEST(ExtractLegacy, EveryEntryComesOutWithItsSizeAndCrc) {
    // The first three were written by old archivers; the others by the fixture
    // maker (width increases to 13 bits, partial clears, KwKwK codes, all
    // reduce factors, both implode dictionaries and tree counts).
    const struct {
        const char* archive;
        int entries;
    } cases[] = {{"SHRUNK.ZIP", 2},
                 {"imploding-4Kdict-2trees.zip", 1},
                 {"imploding-8Kdict-3trees.zip", 1},
                 {"shrink.zip", 3},
                 {"reduce.zip", 4},
                 {"implode.zip", 4}};
    for (const auto& c : cases) {
        ziptest::Unzip u;
        u.ExtractAll(Legacy(c.archive));
        EXPECT_TRUE(u.failures.empty()) << c.archive << ":\n" << u.Failures();
        ASSERT_EQ(u.zip.Count(), c.entries) << c.archive;
        for (int i = 0; i < u.zip.Count(); ++i) {
            TArcZipItem& item = u.zip.Items(i);
            EXPECT_EQ(platform::FileSizeByName(u.Out(item.FileName())), item.UncompressedSize())
                << c.archive << " " << item.FileName();
        }
    }
}

TEST(ExtractLegacy, DamagedEntriesFailWithTheirReason) {
    // "" = extracted; a kept file is one whose only fault is its CRC-32.
    const struct {
        const char* name;
        const char* message;
        bool kept;
    } cases[] = {
        {"cut.txt", kArcMsgZipBadCRC, true},
        {"code8192.bin", "Invalid shrunk data - code not in the code table", false},
        {"cycle.bin", "Invalid shrunk data - prefix chain longer than the code table", false},
        {"long.txt", "Entry data is longer than its declared size", false},
        {"sets-cut.bin", kArcMsgZipBadCRC, true},
        {"tree-overflow.bin",
         "Invalid imploded data - a Shannon-Fano tree does not describe its values", false},
        {"tree-short.bin",
         "Invalid imploded data - a Shannon-Fano tree does not describe its values", false},
        {"unmatched.bin", "", true},
    };
    ziptest::Unzip u;
    u.zip.OpenArchive(Legacy("cases.zip"));
    u.zip.ExtractFiles("*.*");
    for (const auto& c : cases) {
        const ziptest::Failure* f = u.FailureOf(c.name);
        EXPECT_EQ(f ? f->message : "", c.message) << c.name;
        EXPECT_EQ(platform::FileExists(u.Out(c.name)), c.kept) << c.name;
    }
    EXPECT_EQ(u.failures.size(), 7u);
    // Codes that match nothing decode as 0; the match reaches before the first byte.
    EXPECT_EQ(ReadFileBytes(u.Out("unmatched.bin")), std::string("\0\0A", 3));
}

TEST(UnzipHelper, ACutStreamGivesAPrefixOfTheOutput) {
    for (const char* archive : {"shrink.zip", "reduce.zip", "implode.zip", "SHRUNK.ZIP"}) {
        for (const RawEntry& e : RawEntries(archive)) {
            const std::string full = Decode(e, e.data.size());
            ASSERT_EQ(full.size(), size_t(e.size)) << e.name;
            // Every cut in the first 300 bytes (follower sets, trees), then 40 more.
            for (size_t cut = 0; cut < e.data.size(); cut += cut < 300 ? 1 : e.data.size() / 40) {
                const std::string part = Decode(e, cut);
                ASSERT_LT(part.size(), full.size()) << e.name << " cut at " << cut;
                ASSERT_EQ(part, full.substr(0, part.size())) << e.name << " cut at " << cut;
            }
        }
    }
}

TEST(UnzipHelper, MethodsOtherThanOneToSixAreRefused) {
    for (uint16_t method : {0, 7, 8, 98}) {
        RawEntry e{"x", "abc", method, 0, 3};
        EXPECT_THROW(Decode(e, 3), EArcZipInvalidMethod) << method;
    }
}

TEST(SlidingWindowStream, KeepsTheLast40960BytesAndZerosBeforeTheFirst) {
    rtl::TMemoryStream file;
    TArcSlidingWindowStream window(file);
    std::string data(50000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);
    window.WriteBuffer(data.data(), 100);
    char got[200];
    window.Seek(-150, rtl::TSeekOrigin::soEnd); // 50 before the first byte
    ASSERT_EQ(window.Read(got, sizeof got), 150u);
    EXPECT_EQ(std::string(got, 150), std::string(50, '\0') + data.substr(0, 100));

    window.WriteBuffer(data.data() + 100, data.size() - 100);
    EXPECT_EQ(std::string(file.Bytes().begin(), file.Bytes().end()), data);
    window.Seek(-40960, rtl::TSeekOrigin::soEnd);
    window.ReadBuffer(got, sizeof got);
    EXPECT_EQ(std::string(got, sizeof got), data.substr(50000 - 40960, sizeof got));
    for (int64_t offset : {-40961, 1}) {
        try {
            window.Seek(offset, rtl::TSeekOrigin::soEnd);
            ADD_FAILURE() << offset;
        } catch (const EArcException& e) {
            EXPECT_STREQ(e.what(), "TArcSlidingWindowStream.Seek: invalid new position");
        }
    }
}
