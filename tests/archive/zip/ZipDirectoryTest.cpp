// Reading archives: the end-record search, type detection, names, Zip64,
// split sets and the open errors.
#include <gtest/gtest.h>

#include "archive/ArcErrors.h"
#include "archive/UnZipper.h"
#include "archive/ZipFormat.h"
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using namespace ziptest;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

int64_t Locate(const std::string& bytes) {
    rtl::TMemoryStream s;
    s.WriteBuffer(bytes.data(), bytes.size());
    s.SetPosition(3);
    int64_t found = LocateEndOfDirectory(s);
    // Found: the stream is at the record; not found: where it was.
    EXPECT_EQ(s.Position(), found >= 0 ? found : 3);
    return found;
}

template <class E> std::string OpenError(const std::string& path) {
    TArcUnZipper zip;
    try {
        zip.OpenArchive(path);
    } catch (const E& e) {
        return e.Message();
    }
    return "no error";
}

} // namespace

TEST(EndOfDirectory, FoundAtTheEndBehindCommentsAndBehindJunk) {
    std::string prefix(100, 'x');
    EXPECT_EQ(Locate(prefix + EndRecord(0, 0, 0, 0, "")), 100);
    // Comments of every size up to the 16-bit maximum, which needs the widest window.
    for (size_t len : {1u, 490u, 491u, 1000u, 40000u, 65535u})
        EXPECT_EQ(
            Locate(prefix + EndRecord(0, 0, 0, static_cast<uint16_t>(len), std::string(len, 'c'))),
            100)
            << len;
    // Trailing bytes of any length: the search goes on to the start of the file.
    EXPECT_EQ(Locate(prefix + EndRecord(0, 0, 0, 0, "") + std::string(300000, 'j')), 100);
    // A record at offset 0 in a stream of exactly its size.
    EXPECT_EQ(Locate(EndRecord(0, 0, 0, 0, "")), 0);
}

TEST(EndOfDirectory, CandidatesWhoseCommentCannotFitAreSkipped) {
    // A fake record inside the comment claims more comment than the file has.
    std::string fake = EndRecord(0, 0, 0, 60000, "");
    std::string comment = "see " + fake + " end";
    std::string bytes =
        std::string(50, 'x') + EndRecord(0, 0, 0, static_cast<uint16_t>(comment.size()), comment);
    EXPECT_EQ(Locate(bytes), 50);
    // A fake whose comment fits is taken, being the last record in the file.
    std::string fits = EndRecord(0, 0, 0, 5, "");
    std::string comment2 = fits + "12345";
    EXPECT_EQ(Locate(EndRecord(0, 0, 0, static_cast<uint16_t>(comment2.size()), comment2)), 22);
    // Nothing to find.
    EXPECT_EQ(Locate(std::string(21, 'x')), -1);
    EXPECT_EQ(Locate(std::string(5000, 'x')), -1);
    EXPECT_EQ(Locate(EndRecord(0, 0, 0, 1, "")), -1); // comment cut off
}

TEST(NameBytes, ClassifiedAsAsciiUtf8OrAnsi) {
    EXPECT_EQ(ClassifyNameBytes("plain.txt"), TArcNameEncoding::neAscii);
    EXPECT_EQ(ClassifyNameBytes(""), TArcNameEncoding::neAscii);
    EXPECT_EQ(ClassifyNameBytes("caf\xC3\xA9"), TArcNameEncoding::neUtf8);
    EXPECT_EQ(ClassifyNameBytes("\xF0\x9F\x98\x80"), TArcNameEncoding::neUtf8);
    EXPECT_EQ(ClassifyNameBytes("caf\xE9"), TArcNameEncoding::neAnsi); // lone lead byte at the end
    EXPECT_EQ(ClassifyNameBytes("caf\xE9.txt"),
              TArcNameEncoding::neAnsi); // lead byte without continuation
    EXPECT_EQ(ClassifyNameBytes("\xA9"), TArcNameEncoding::neAnsi);     // stray continuation
    EXPECT_EQ(ClassifyNameBytes("\xC0\x80"), TArcNameEncoding::neAnsi); // overlong lead byte
    EXPECT_EQ(ClassifyNameBytes("\xF5\x80\x80\x80"), TArcNameEncoding::neAnsi);
}

TEST(NameBytes, Utf8NamesAreDecodedWithEveryInvalidSequenceReplaced) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9.txt", "caf\u00e9.txt"},
        {"a\xFF"
         "b.txt",
         "a\uFFFD"
         "b.txt"}, // a byte no UTF-8 text holds
        {"\xC0\xAF"
         "x.txt",
         "\uFFFD\uFFFD"
         "x.txt"},                              // an overlong "/" must not split the name
        {"\xE0\x80\xAF.txt", "\uFFFD.txt"},     // overlong in three bytes
        {"\xED\xA0\x80.txt", "\uFFFD.txt"},     // an encoded surrogate
        {"\xF4\x90\x80\x80.txt", "\uFFFD.txt"}, // past U+10FFFF
        {"end\xE2\x82", "end\uFFFD"},           // cut short
    };
    for (const auto& [raw, decoded] : cases)
        EXPECT_EQ(DecodeUtf8NameBytes(raw), decoded) << raw;

    // On disk under the decoded name: marked by flag bit 11, and classified
    // as UTF-8 without it (the classification lets a surrogate through).
    Unzip u;
    WriteFileBytes(u.Out("names.zip"), StoredArchive({{.name = "a\xFF"
                                                               "b.txt",
                                                       .data = "1",
                                                       .flags = kFlagUtf8Names},
                                                      {"\xED\xA0\x80.txt", "2"}}));
    u.zip.OpenArchive(u.Out("names.zip"));
    u.zip.ExtractFiles("*.*");
    EXPECT_TRUE(u.failures.empty());
    EXPECT_EQ(ReadFileBytes(u.Out("a\uFFFD"
                                  "b.txt")),
              "1");
    EXPECT_EQ(ReadFileBytes(u.Out("\uFFFD.txt")), "2");
}

TEST(NameBytes, OemDetectionUsesThePageTables) {
    EXPECT_TRUE(LooksLikeOemName("\x81"
                                 "ber",
                                 437));             // box and accented DOS letters
    EXPECT_FALSE(LooksLikeOemName("caf\xE9", 437)); // typical ANSI letter
    EXPECT_FALSE(LooksLikeOemName("plain", 437));   // no high byte: never OEM
    EXPECT_FALSE(LooksLikeOemName("\x81"
                                  "ber",
                                  1252)); // no tables for that page
    EXPECT_TRUE(LooksLikeOemName("\x8E\x99", 850));
}

TEST(ZipItems, NamesDecodedByFlagBytesAndExtraFields) {
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("names.zip"));
    ASSERT_EQ(zip.Count(), 7);
    EXPECT_EQ(zip.Items(0).FileName(), "caf\u00e9-flag.txt");   // bit 11
    EXPECT_EQ(zip.Items(1).FileName(), "caf\u00e9-noflag.txt"); // valid UTF-8 without bit 11
    // ANSI bytes from a Unix host that do not look like OEM text stay ANSI.
    if (platform::AnsiCodePage() == 1252) {
        EXPECT_EQ(zip.Items(2).FileName(), "caf\u00e9-ansi.txt");
    }
    if (platform::OemCodePage() == 437 && platform::AnsiCodePage() != 437) {
        EXPECT_EQ(zip.Items(3).FileName(), "\u00fcber-oem.txt"); // DOS host: OEM text
    }
    EXPECT_EQ(zip.Items(4).FileName(), "Ger\u00e4t \u2603.txt"); // 0x7075 with matching CRC
    EXPECT_EQ(zip.Items(5).FileName(), "\u2603 snow.txt");       // 0x554E UTF-16 record
    if (platform::AnsiCodePage() == 1252) {
        EXPECT_EQ(zip.Items(6).FileName(), "Ger\u00e4t.txt"); // 0x7075 whose CRC is stale: ignored
    }
    EXPECT_EQ(zip.Items(4).RawFileName(), platform::AnsiToUtf8("Ger\xE4t.txt"));
}

TEST(ZipItems, ExtraFieldSizesAreClampedToTheBuffer) {
    TArcExtraField f;
    f.Assign({0x01, 0x00, 0x10, 0x00, 'a', 'b'}); // claims 16 bytes, has 2
    const uint8_t* data = nullptr;
    uint16_t size = 0;
    ASSERT_TRUE(f.FindSubField(1, data, size));
    EXPECT_EQ(size, 2);
    EXPECT_EQ(f.Buffer()[2], 2); // written back
    EXPECT_FALSE(f.FindSubField(2, data, size));
}

TEST(ZipItems, Zip64ValuesReplaceOnlyEscapedFields) {
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("zip64fields.zip"));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.Items(0).UncompressedSize(), 12);
    EXPECT_EQ(zip.Items(0).CompressedSize(), 12);
    EXPECT_EQ(zip.Items(0).FRelativeOffset, 0);
    EXPECT_EQ(zip.Items(1).FRelativeOffset, 30 + 9 + 12);
    EXPECT_EQ(zip.Items(1).UncompressedSize(), 13);
    Unzip u;
    u.zip.OpenArchive(Fixture("zip64fields.zip"));
    u.zip.ExtractFiles("*.*");
    EXPECT_TRUE(u.failures.empty());
    EXPECT_EQ(testing_support::ReadFileBytes(u.Out("offset.txt")), "zip64 offset\n");
    // An archive written by zip -fz.
    zip.OpenArchive(Fixture("zip64.zip"));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.Items(1).UncompressedSize(), 3000);
}

TEST(ZipItems, DirectoriesAttributesAndTimes) {
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("extract-cases.zip"));
    TArcZipItem& dir = zip.Items(2);
    EXPECT_EQ(dir.FileName(), "data/");
    EXPECT_TRUE(dir.IsDirectory());
    EXPECT_EQ(dir.NativeFileAttributes(), 0x10u);
    EXPECT_FALSE(zip.Items(3).IsDirectory());
    EXPECT_EQ(zip.Items(3).DiskFileName(), "data\\file.txt");
    EXPECT_EQ(zip.Items(12).NativeFileAttributes(), 0x21u); // DOS host: low byte as stored
    EXPECT_EQ(zip.Items(13).NativeFileAttributes(), 0x01u); // Unix 0444: read-only
    EXPECT_EQ(zip.Items(3).NativeFileAttributes(), 0x00u);
    int y, mo, d, h, mi, s;
    zip.Items(0).LastModTimeParts(y, mo, d, h, mi, s);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2021, 3, 14, 12, 34, 56}));
    EXPECT_DOUBLE_EQ(zip.Items(0).LastModTimeAsDateTime(),
                     rtl::EncodeDate(2021, 3, 14) + rtl::EncodeTime(12, 34, 56, 0));
    try {
        zip.Items(11).LastModTimeAsDateTime(); // DOS date 0: month 0
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
}

TEST(OpenArchive, RecognisesArchivesAndRejectsOtherFiles) {
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("stored.zip"));
    EXPECT_EQ(zip.ArchiveType(), atZip);
    EXPECT_EQ(zip.Status(), asIdle);
    zip.OpenArchive(Fixture("stub.exe")); // stub in front, offsets from the file start
    EXPECT_EQ(zip.ArchiveType(), atSelfExtZip);
    EXPECT_EQ(zip.Count(), 1);
    zip.OpenArchive(Fixture("trailing-junk.zip"));
    EXPECT_EQ(zip.Count(), 1);
    zip.OpenArchive(Fixture("comment.zip"));
    EXPECT_EQ(zip.ZipfileComment(), "An archive comment");
    zip.OpenArchive(Fixture("comment-max.zip"));
    EXPECT_EQ(zip.ZipfileComment().size(), 65535u);
    zip.OpenArchive(Fixture("comment-fake-record.zip"));
    EXPECT_EQ(zip.Count(), 1);
    zip.OpenArchive(Fixture("empty-archive.zip"));
    EXPECT_EQ(zip.Count(), 0);
    zip.CloseArchive();
    EXPECT_EQ(zip.FileName(), "");
    EXPECT_EQ(zip.Archive(), nullptr);

    EXPECT_EQ(OpenError<EArcUnhandledType>(Fixture("html-page.zip")), "Unhandled Archive Type");
    EXPECT_EQ(OpenError<EArcUnhandledType>(Fixture("short.zip")), "Unhandled Archive Type");
    EXPECT_EQ(OpenError<EArcFileNotFound>(Fixture("missing.zip")), "File not found");
    EXPECT_EQ(OpenError<EArcZipInvalid>(Fixture("bad-central.zip")),
              "Invalid file - not a PKZip file");
    EXPECT_EQ(OpenError<EArcZipInvalid>(Fixture("truncated-directory.zip")),
              "Invalid file - not a PKZip file");
    testing_support::TempDir dir;
    testing_support::WriteFileBytes(dir.File("empty.zip"), "");
    EXPECT_EQ(OpenError<EArcBadStream>(dir.File("empty.zip")), "Invalid Stream");
}

TEST(OpenArchive, BaseDirectoryIsNormalisedAndChecked) {
    TArcUnZipper zip;
    testing_support::TempDir dir;
    zip.SetBaseDirectory(dir.Path()); // stored as given while no archive is open
    EXPECT_EQ(zip.BaseDirectory(), dir.Path());
    zip.OpenArchive(Fixture("stored.zip"));
    EXPECT_EQ(zip.BaseDirectory() + platform::PathDelim(), dir.Path()); // one delimiter stripped
    try {
        zip.SetBaseDirectory(dir.File("nope"));
        FAIL();
    } catch (const EArcNoSuchDirectory& e) {
        EXPECT_EQ(e.ErrorCode, 15);
    }
}

TEST(OpenArchive, SplitSetsAreReadAcrossImages) {
    Unzip u;
    u.zip.OpenArchive(Fixture("split.zip"));
    EXPECT_EQ(u.zip.ArchiveType(), atSpannedZip);
    ASSERT_EQ(u.zip.Count(), 2);
    u.zip.ExtractFiles("*.*");
    EXPECT_TRUE(u.failures.empty());
    EXPECT_EQ(testing_support::ReadFileBytes(u.Out("big.bin")),
              testing_support::ReadFileBytes(Source("big.bin")));
    EXPECT_EQ(testing_support::ReadFileBytes(u.Out("hello.txt")), "Hello, archive!\n");

    // Without its middle image the entry that crosses it fails with the
    // file-open error; the entry in the last image is still extracted.
    Unzip v;
    for (const char* name : {"split.z01", "split.zip"})
        testing_support::WriteFileBytes(v.Out(name), testing_support::ReadFileBytes(Fixture(name)));
    v.zip.OpenArchive(v.Out("split.zip"));
    v.zip.ExtractFiles("*.*");
    const Failure* f = v.FailureOf("big.bin");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->errorClass, ecFileOpenError);
    EXPECT_NE(f->message.find("split.z02"), std::string::npos) << f->message;
    EXPECT_FALSE(platform::FileExists(v.Out("big.bin")));
    EXPECT_EQ(testing_support::ReadFileBytes(v.Out("hello.txt")), "Hello, archive!\n");
}
