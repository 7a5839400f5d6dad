#include <gtest/gtest.h>

#include <cstring>

#include "runtime/Exception.h"
#include "platform/FileTimes.h"
#include "runtime/Streams.h"
#include "tests/TestSupport.h"

using namespace rtl;
using testing_support::TempDir;

TEST(MemoryStream, WritesGrowAndSeeksAreClamped) {
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    s.SetPosition(2);
    s.WriteBuffer("LLO world", 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s.Memory()), static_cast<size_t>(s.Size())), "heLLO world");
    EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0);
    s.SetPosition(20); // past the end: reading gives nothing, writing extends with zeros
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 21);
    EXPECT_EQ(s.Memory()[15], 0);
}

TEST(MemoryStream, SetSizeCutsPositionBack) {
    TMemoryStream s;
    s.WriteBuffer("0123456789", 10);
    s.SetSize(4);
    EXPECT_EQ(s.Position(), 4);
    s.SetPosition(1);
    s.SetSize(8);
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(s.Size(), 8);
}

TEST(Streams, ShortReadRaisesStreamReadError) {
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.SetPosition(0);
    char buffer[4];
    try {
        s.ReadBuffer(buffer, 4);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
}

TEST(Streams, CopyFromCopiesTheRestOrACount) {
    TMemoryStream a, b;
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
    a.WriteBuffer(big.data(), big.size());
    a.SetPosition(100);
    EXPECT_EQ(b.CopyFrom(a, -1), 199900);
    EXPECT_EQ(0, std::memcmp(b.Memory(), big.data() + 100, 199900));
    a.SetPosition(a.Size() - 10);
    EXPECT_THROW(b.CopyFrom(a, 11), EReadError);
}

TEST(FileStream, CreateReplacesAndReadsBack) {
    TempDir dir;
    std::string name = dir.File("data.bin");
    testing_support::WriteFileBytes(name, "old content that is long");
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("new", 3);
        EXPECT_EQ(f.Size(), 3);
        f.SetSize(10);
        EXPECT_EQ(f.Position(), 3);
    }
    EXPECT_EQ(testing_support::ReadFileBytes(name), std::string("new\0\0\0\0\0\0\0", 10));
    TFileStream r(name, fmOpenRead | fmShareDenyNone);
    char buffer[3];
    r.ReadBuffer(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "new");
}

TEST(FileStream, FailuresNameTheFullPathAndTheSystemReason) {
    TempDir dir;
    std::string missingFolder = dir.File("no-such-folder") + platform::PathDelim() + "main.zip";
    try {
        TFileStream f(missingFolder, fmCreate);
        FAIL() << "created";
    } catch (const EFCreateError& e) {
        std::string expected = "Cannot create file \"" + missingFolder + "\". ";
        EXPECT_EQ(e.Message().substr(0, expected.size()), expected);
        EXPECT_GT(e.Message().size(), expected.size()); // the system's text follows
    }
    try {
        TFileStream f(dir.File("absent.txt"), fmOpenRead);
        FAIL() << "opened";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + dir.File("absent.txt") + "\". ", 0), 0u);
    }
}

// A file written whole: untouched until the commit, never replaced by a
// stream that did not commit, and every error names the file asked for.
TEST(ReplacementFileStream, TheOldFileStaysUntilTheCommit) {
    TempDir dir;
    const std::string target = dir.File("TORVELIN.EXE");
    testing_support::WriteFileBytes(target, "old");
    auto files = [&] { return platform::ListDirectory(dir.Path()).size(); };
    {
        TReplacementFileStream s(target);
        s.WriteBuffer("abandoned", 9);
        EXPECT_EQ(files(), 2u);
    }
    EXPECT_EQ(testing_support::ReadFileBytes(target), "old");
    EXPECT_EQ(files(), 1u);
    {
        TReplacementFileStream s(target);
        s.WriteBuffer("new", 3);
        s.Commit();
        EXPECT_THROW(s.Commit(), EWriteError) << "one commit";
    }
    EXPECT_EQ(testing_support::ReadFileBytes(target), "new");
    EXPECT_EQ(files(), 1u);

    platform::SetFileAttributesByName(target, platform::faReadOnly);
    {
        TReplacementFileStream s(target);
        s.WriteBuffer("newer", 5);
        try {
            s.Commit();
            FAIL() << "a read-only file was replaced";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), "Cannot replace file \"" + target + "\". Access is denied.");
            EXPECT_EQ(platform::ClassifyFileError(e.ErrorCode),
                      platform::FileErrorKind::AccessDenied);
        }
    }
    platform::SetFileAttributesByName(target, 0);
    EXPECT_EQ(testing_support::ReadFileBytes(target), "new");
    EXPECT_EQ(files(), 1u);

    const std::string nowhere = dir.File("missing") + platform::PathDelim() + "X.DLL";
    EXPECT_EQ(testing_support::MessageOf<EFCreateError>([&] {
                  TReplacementFileStream s(nowhere);
              }).rfind("Cannot create file \"" + nowhere + "\". ", 0),
              0u);
}

TEST(FileStream, NonAsciiFileNames) {
    TempDir dir;
    std::string name = dir.File("ge\xC3\xAFnstalleerd \xE2\x82\xAC.txt");
    testing_support::WriteFileBytes(name, "x");
    EXPECT_TRUE(platform::FileExists(name));
    EXPECT_EQ(testing_support::ReadFileBytes(name), "x");
}
