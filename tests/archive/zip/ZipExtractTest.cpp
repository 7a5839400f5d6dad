// Extraction: target names, folders, overwrite, stored data, decryption,
// the CRC check, times, attributes and the per-entry failure path.
#include <gtest/gtest.h>

#include <ctime>
#include <sys/stat.h>

#include "archive/ArcErrors.h"
#include "archive/UnZipper.h"
#include "archive/ZipStreams.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/Unicode.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using namespace ziptest;
using testing_support::ReadFileBytes;

namespace {

int64_t ModificationTime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

bool IsWritable(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
}

} // namespace

TEST(Extract, ArchivesFromRealToolsGiveBackTheOriginalBytes) {
    for (const char* archive :
         {"stored.zip", "descriptor.zip", "dos.zip", "zip64.zip", "utf8.zip"}) {
        Unzip u;
        u.ExtractAll(Fixture(archive));
        EXPECT_TRUE(u.failures.empty()) << archive << ":\n" << u.Failures();
        for (int i = 0; i < u.zip.Count(); ++i) {
            TArcZipItem& item = u.zip.Items(i);
            if (item.IsDirectory()) continue;
            std::string name = item.FileName().substr(item.FileName().find_last_of('/') + 1);
            std::string original = ReadFileBytes(Source(item.StoredPath() + name));
            if (original.empty()) // dos.zip upper-cases names
                original = ReadFileBytes(Source(platform::AsciiLowerCase(name)));
            EXPECT_EQ(ReadFileBytes(u.Out(name)), original) << archive << " " << item.FileName();
        }
    }
}

TEST(Extract, DefaultOptionsFlattenNamesAndSkipFolders) {
    Unzip u;
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    u.zip.ExtractFiles("*.*");
    // Both app.exe entries land in the base folder; the later one wins.
    EXPECT_EQ(ReadFileBytes(u.Out("app.exe")), "second app\n");
    EXPECT_FALSE(platform::DirectoryExists(u.Out("data")));
    EXPECT_EQ(ReadFileBytes(u.Out("file.txt")), "in data\n");
    // ".." and drive parts are dropped with the folders.
    EXPECT_EQ(ReadFileBytes(u.Out("tool.dll")), "tool\n");
    EXPECT_EQ(ReadFileBytes(u.Out("tool2.dll")), "tool2\n");
    EXPECT_EQ(ReadFileBytes(u.Out("README")), "readme\n"); // "*.*" matches names without a dot
    // A zero-size entry is an empty file whatever its stored CRC says.
    EXPECT_TRUE(platform::FileExists(u.Out("zero.txt")));
    EXPECT_EQ(platform::FileSizeByName(u.Out("zero.txt")), 0);
    EXPECT_EQ(u.FailureOf(""), nullptr); // the nameless entry is never matched
}

TEST(Extract, FailedEntriesAreReportedAndTheLoopGoesOn) {
    Unzip u;
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    u.zip.ExtractFiles("*.*");
    const Failure* method = u.FailureOf("method99.bin");
    ASSERT_NE(method, nullptr);
    EXPECT_EQ(method->code, 2);
    EXPECT_EQ(method->message, "Cannot extract file - unsupported compression method");
    EXPECT_FALSE(platform::FileExists(u.Out("method99.bin"))); // failed before the file was created

    const Failure* crc = u.FailureOf("badcrc.txt");
    ASSERT_NE(crc, nullptr);
    EXPECT_EQ(crc->errorClass, ecArcError);
    EXPECT_EQ(crc->code, 19);
    EXPECT_EQ(ReadFileBytes(u.Out("badcrc.txt")), "bad crc\n"); // a CRC mismatch keeps the file

    const Failure* date = u.FailureOf("dosdate0.txt");
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->message, "Invalid argument to date encode");
    EXPECT_EQ(ReadFileBytes(u.Out("dosdate0.txt")), "no date\n");
    EXPECT_LE(
        std::abs(ModificationTime(u.Out("dosdate0.txt")) - static_cast<int64_t>(time(nullptr))),
        120);
    EXPECT_EQ(u.failures.size(), 3u);
}

TEST(Extract, FileTimeAndAttributesFollowTheEntry) {
    Unzip u;
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    u.zip.ExtractFiles("README;readonly.txt;unixro.txt");
    struct tm local {};
    local.tm_year = 2021 - 1900, local.tm_mon = 2, local.tm_mday = 14;
    local.tm_hour = 12, local.tm_min = 34, local.tm_sec = 56, local.tm_isdst = -1;
    EXPECT_EQ(ModificationTime(u.Out("README")), static_cast<int64_t>(mktime(&local)));
    EXPECT_TRUE(IsWritable(u.Out("README")));
    EXPECT_FALSE(IsWritable(u.Out("readonly.txt")));
    EXPECT_FALSE(IsWritable(u.Out("unixro.txt")));
    EXPECT_EQ(ReadFileBytes(u.Out("unixro.txt")), "unix read only\n");
    for (const char* name : {"readonly.txt", "unixro.txt"}) // so the folder can go
        platform::SetFileAttributesByName(u.Out(name), 0);
}

TEST(Extract, ReadOnlyTargetIsNotReplaced) {
    Unzip u;
    testing_support::WriteFileBytes(u.Out("README"), "old");
    platform::SetFileAttributesByName(u.Out("README"), platform::faReadOnly);
    {
        int error = 0;
        platform::FileHandle h = platform::FileOpen(u.Out("README"), platform::FileAccess::Write, 0,
                                                    platform::FileDisposition::OpenExisting, error);
        if (h != platform::kInvalidFileHandle) {
            platform::FileClose(h);
            platform::SetFileAttributesByName(u.Out("README"), 0);
            GTEST_SKIP() << "this account may write read-only files";
        }
    }
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    u.zip.ExtractFiles("README");
    const Failure* f = u.FailureOf("README");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->errorClass, ecFileCreateError);
    EXPECT_EQ(f->message.rfind("Cannot create file \"", 0), 0u) << f->message;
    platform::SetFileAttributesByName(u.Out("README"), 0);
    EXPECT_EQ(ReadFileBytes(u.Out("README")), "old");
}

TEST(Extract, MasksSelectEntries) {
    TArcUnZipper zip;
    zip.OpenArchive(Fixture("extract-cases.zip"));
    auto matches = [&](const std::string& mask) {
        std::string names;
        for (int i = 0; i < zip.Count(); ++i)
            if (MatchesStoredName(zip.Items(i), mask)) names += zip.Items(i).FileName() + ",";
        return names;
    };
    EXPECT_EQ(matches("*.dll"), "../../tool.dll,C:/x/tool2.dll,");
    EXPECT_EQ(matches("bin\\*.exe"), "bin/app.exe,");
    EXPECT_EQ(matches(" doc/app.??? ; readme "), "doc/app.exe,README,");
    EXPECT_EQ(matches("data"), "data/,"); // a folder matches without its slash
    EXPECT_EQ(matches(""), "");
    EXPECT_EQ(matches("*"), matches("*.*"));
    EXPECT_TRUE(MatchPattern("ABCABD", "A*D"));
    EXPECT_TRUE(MatchPattern("A", "A*"));
    EXPECT_FALSE(MatchPattern("AB", "A?B"));
    EXPECT_FALSE(MatchPattern("", "*"));
    // The exclusion mask removes what it matches.
    TArcArchiveItem& readme = zip.Items(7);
    EXPECT_TRUE(MatchesStoredNameEx(readme, "*.*", ""));
    EXPECT_FALSE(MatchesStoredNameEx(readme, "*.*", "READ*"));
}

TEST(Extract, RestorePathKeepsFoldersButNeverLeavesTheBase) {
    Unzip u;
    std::string base = u.Out("base");
    int error = 0;
    ASSERT_TRUE(platform::CreateDir(base, error));
    u.zip.SetBaseDirectory(base);
    u.zip.SetExtractOptions({eoCreateDirs, eoRestorePath});
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    u.zip.ExtractFilesEx("*.*", "readonly.txt;unixro.txt");
    char d = platform::PathDelim();
    EXPECT_EQ(ReadFileBytes(base + d + "bin" + d + "app.exe"), "first app\n");
    EXPECT_EQ(ReadFileBytes(base + d + "doc" + d + "app.exe"), "second app\n");
    EXPECT_TRUE(platform::DirectoryExists(base + d + "data"));
    EXPECT_EQ(ReadFileBytes(base + d + "data" + d + "file.txt"), "in data\n");
    EXPECT_EQ(ReadFileBytes(base + d + "tool.dll"), "tool\n");
    EXPECT_EQ(ReadFileBytes(base + d + "x" + d + "tool2.dll"), "tool2\n");
    EXPECT_FALSE(platform::FileExists(u.Out("tool.dll")));
    EXPECT_TRUE(platform::DeleteTree(base));
}

TEST(Extract, WithoutCreateDirsAMissingFolderStopsTheCall) {
    Unzip u;
    u.zip.SetExtractOptions({eoRestorePath});
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    try {
        u.zip.ExtractFiles("bin/*");
        FAIL();
    } catch (const EArcNoSuchDirectory& e) {
        EXPECT_EQ(e.Message(), "Directory does not exist");
    }
}

TEST(Extract, NoArchiveAndInvalidArchive) {
    TArcUnZipper zip;
    EXPECT_THROW(zip.ExtractFiles("*.*"), EArcNoArchive);
    Unzip u;
    u.zip.OpenArchive(Fixture("bad-local.zip"));
    u.zip.ExtractFiles("*.*");
    ASSERT_NE(u.FailureOf("x.txt"), nullptr);
    EXPECT_EQ(u.FailureOf("x.txt")->message, "Invalid file - not a PKZip file");
    EXPECT_EQ(ReadFileBytes(u.Out("y.txt")), "y\n");
    Unzip v;
    v.zip.OpenArchive(Fixture("newer-version.zip"));
    v.zip.ExtractFiles("*.*");
    ASSERT_NE(v.FailureOf("v.txt"), nullptr);
    EXPECT_EQ(v.FailureOf("v.txt")->code, 1);
    EXPECT_EQ(ReadFileBytes(v.Out("w.txt")), "w\n");
}

TEST(Extract, EncryptedEntriesNeedTheRightPassword) {
    {
        Unzip u; // no password: skipped, no file
        u.zip.OpenArchive(Fixture("encrypted-stored.zip"));
        u.zip.ExtractFiles("*.*");
        ASSERT_EQ(u.failures.size(), 2u);
        EXPECT_EQ(u.failures[0].message, "Cannot extract file - invalid password");
        EXPECT_FALSE(platform::FileExists(u.Out("hello.txt")));
    }
    {
        Unzip u;
        u.zip.SetPassword("secret");
        u.zip.OpenArchive(Fixture("encrypted-stored.zip"));
        u.zip.ExtractFiles("*.*");
        EXPECT_TRUE(u.failures.empty());
        EXPECT_EQ(ReadFileBytes(u.Out("data.bin")), ReadFileBytes(Source("data.bin")));
    }
    {
        // A wrong password, then the handler's right one; the check value
        // comes from the local time when the entry has a data descriptor.
        Unzip u;
        int asked = 0;
        u.zip.SetPassword("wrong");
        u.zip.OnNeedPassword = [&](std::string& p) {
            ++asked;
            p = "secret";
        };
        u.zip.OpenArchive(Fixture("encrypted-descriptor.zip"));
        u.zip.ExtractFiles("*.*");
        EXPECT_TRUE(u.failures.empty());
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(ReadFileBytes(u.Out("hello.txt")), "Hello, archive!\n");
    }
    {
        // Wrong answers until the retries are used up.
        Unzip u;
        int asked = 0;
        u.zip.SetPassword("wrong");
        u.zip.SetPasswordRetries(2);
        u.zip.OnNeedPassword = [&](std::string& p) {
            ++asked;
            p = "still wrong";
        };
        u.zip.OpenArchive(Fixture("encrypted-stored.zip"));
        u.zip.ExtractFiles("hello.txt");
        ASSERT_EQ(u.failures.size(), 1u);
        EXPECT_EQ(u.failures[0].code, 4);
        EXPECT_EQ(asked, 2);
    }
}

TEST(Extract, ProgressReportsAndAbort) {
    Unzip u;
    std::vector<int> progress;
    u.zip.OnArchiveProgress = [&](int percent, bool&) { progress.push_back(percent); };
    u.zip.OpenArchive(Fixture("empty-archive.zip"));
    progress.clear();
    u.zip.ExtractFiles("*.*");
    EXPECT_TRUE(progress.empty()); // no entries: no reports

    u.zip.OpenArchive(Fixture("stored.zip"));
    u.zip.OnArchiveItemProgress = [&](TArcArchiveItem&, int percent, bool& abort) {
        abort = percent > 0;
    };
    u.zip.ExtractFiles("data.bin");
    ASSERT_EQ(u.failures.size(), 1u);
    EXPECT_EQ(u.failures[0].code, 9);
    EXPECT_FALSE(platform::FileExists(u.Out("data.bin"))); // the partial file is gone
    EXPECT_EQ(u.zip.Status(), asInvalid);
    EXPECT_THROW(u.zip.ExtractFiles("*.*"), EArcNoArchive);
}

TEST(EntryStreams, OutputStopsAtTheDeclaredSize) {
    rtl::TMemoryStream target;
    TArcUnzipOutputStream out(&target, 5, nullptr);
    out.WriteBuffer("abc", 3);
    EXPECT_THROW(out.WriteBuffer("defgh", 5), EArcZipDataTooLong);
    EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().end()), "abcde");
    EXPECT_EQ(out.BytesWritten(), 5);
    EXPECT_EQ(out.Size(), 5); // position queries work; the data cannot be revisited
    EXPECT_EQ(out.CRC32(), TArcCrc32::Of("abcde", 5));
    try {
        out.WriteBuffer("x", 1);
    } catch (const EArcZipDataTooLong& e) {
        EXPECT_EQ(e.Message(), "Entry data is longer than its declared size");
    }
}

TEST(EntryStreams, SubsetWindowClipsReadsAndSeeks) {
    rtl::TMemoryStream source;
    source.WriteBuffer("0123456789", 10);
    source.SetPosition(2);
    TArcUnzipSubsetStream window(source, 5);
    char buffer[10] = {};
    EXPECT_EQ(window.Read(buffer, 10), 5u);
    EXPECT_EQ(std::string(buffer, 5), "23456");
    EXPECT_EQ(window.Read(buffer, 10), 0u);
    EXPECT_EQ(window.Seek(-100, rtl::TSeekOrigin::soCurrent), 0);
    EXPECT_EQ(window.Seek(100, rtl::TSeekOrigin::soBeginning), 5);
    EXPECT_EQ(window.Seek(1, rtl::TSeekOrigin::soBeginning), 1);
    EXPECT_EQ(window.Read(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "34");
}

TEST(Extract, OddNamesAndTheInvalidPathCheck) {
    Unzip u;
    u.zip.OpenArchive(Fixture("odd-names.zip"));
    // "a/.." would name the base folder's parent: skipped. A name with "|"
    // fails the path check, which ends the whole call.
    try {
        u.zip.ExtractFiles("*.*");
        FAIL();
    } catch (const rtl::EArgumentException& e) {
        EXPECT_EQ(e.Message(), "Invalid characters in path");
    }
    EXPECT_EQ(ReadFileBytes(u.Out("ok.txt")), "ok\n");
    EXPECT_TRUE(u.failures.empty());
    EXPECT_EQ(platform::ListDirectory(u.dir.Path()).size(), 1u);
}

TEST(Extract, SingleEntriesToOtherNamesStreamsAndTests) {
    Unzip u;
    u.zip.OpenArchive(Fixture("deflate.zip"));
    u.zip.ExtractAt(2, "renamed.txt"); // text.txt under a name of our choosing
    EXPECT_EQ(u.zip.Items(2).FileName(), "text.txt");
    EXPECT_EQ(ReadFileBytes(u.Out("renamed.txt")), ReadFileBytes(Source("text.txt")));

    rtl::TMemoryStream memory;
    u.zip.ExtractToStream("hello.txt", memory);
    EXPECT_EQ(std::string(memory.Bytes().begin(), memory.Bytes().end()), "Hello, archive!\n");
    EXPECT_THROW(u.zip.ExtractToStream("absent.txt", memory), EArcFileNotFound);

    for (int i = 0; i < u.zip.Count(); ++i)
        u.zip.Items(i).SetTagged(true);
    u.zip.TestTaggedItems();
    EXPECT_TRUE(u.failures.empty());
    Unzip v;
    v.zip.OpenArchive(Fixture("extract-cases.zip"));
    for (int i = 0; i < v.zip.Count(); ++i)
        v.zip.Items(i).SetTagged(true);
    v.zip.TestTaggedItems(); // tests write nothing
    ASSERT_NE(v.FailureOf("badcrc.txt"), nullptr);
    EXPECT_EQ(v.FailureOf("badcrc.txt")->code, 19);
    EXPECT_TRUE(platform::ListDirectory(v.dir.Path()).empty());
}
