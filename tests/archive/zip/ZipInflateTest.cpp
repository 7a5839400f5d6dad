// Deflated and deflate64 entries through the whole extraction path.
#include <gtest/gtest.h>

#include "archive/UnZipper.h"
#include "platform/Files.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using namespace ziptest;
using testing_support::ReadFileBytes;

TEST(ExtractDeflated, ArchivesFromRealToolsGiveBackTheOriginalBytes) {
    for (const char* archive :
         {"deflate.zip", "descriptor-deflate.zip", "deflate64.zip", "encrypted.zip"}) {
        Unzip u;
        u.zip.SetPassword("secret");
        u.ExtractAll(Fixture(archive));
        EXPECT_TRUE(u.failures.empty()) << archive << ":\n" << u.Failures();
        int files = 0;
        for (int i = 0; i < u.zip.Count(); ++i) {
            TArcZipItem& item = u.zip.Items(i);
            if (item.IsDirectory()) continue;
            std::string name = item.FileName().substr(item.FileName().find_last_of('/') + 1);
            EXPECT_EQ(ReadFileBytes(u.Out(name)), ReadFileBytes(Source(item.FileName())))
                << archive << " " << name;
            ++files;
        }
        EXPECT_GE(files, 2) << archive;
    }
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("deflate64.zip"));
    bool sawDeflate64 = false;
    for (int i = 0; i < zip.Count(); ++i)
        sawDeflate64 |= zip.Items(i).CompressionMethod() == 9;
    EXPECT_TRUE(sawDeflate64);
}

TEST(ExtractDeflated, BadStreamsFailTheirEntryAndLeaveNoFile) {
    Unzip u;
    testing_support::WriteFileBytes(u.Out("blocktype3.bin"), "an older file of that name");
    u.zip.OpenArchive(Fixture("deflate-cases.zip"));
    u.zip.ExtractFiles("*.*");

    // More output than declared: writing stops at the declared size and the
    // entry fails instead of filling the disk.
    const Failure* bomb = u.FailureOf("bomb.bin");
    ASSERT_NE(bomb, nullptr);
    EXPECT_EQ(bomb->message, "Entry data is longer than its declared size");
    EXPECT_FALSE(platform::FileExists(u.Out("bomb.bin")));

    const Failure* type3 = u.FailureOf("blocktype3.bin");
    ASSERT_NE(type3, nullptr);
    EXPECT_EQ(type3->message,
              "Inflate error, possibly a corrupted compressed stream. (Internal cause: "
              "starting new block, but invalid block type [Inflate])");
    EXPECT_FALSE(platform::FileExists(u.Out("blocktype3.bin")));

    const Failure* cut = u.FailureOf("cut.bin");
    ASSERT_NE(cut, nullptr);
    EXPECT_NE(cut->message.find("no more compressed data in stream"), std::string::npos)
        << cut->message;
    EXPECT_FALSE(platform::FileExists(u.Out("cut.bin")));

    EXPECT_EQ(ReadFileBytes(u.Out("good.txt")).size(), 14u * 50);
    EXPECT_EQ(u.failures.size(), 3u);
}
