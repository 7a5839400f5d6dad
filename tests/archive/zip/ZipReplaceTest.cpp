// Writing entries whole (eoReplaceWhole) against writing them in place, the
// hooks that tell a caller what each file received, and the list of files an
// extraction would write over.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <sys/stat.h>

#include "archive/ArcErrors.h"
#include "archive/UnZipper.h"
#include "platform/FileTimes.h"
#include "platform/ReplacementFile.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using namespace ziptest;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

const std::string kOld = "old program, version 1";
const std::string kNew = "new program";

// A stored archive whose one entry says it is compressed with method 99.
std::string UnsupportedMethodArchive() {
    std::string zip = StoredArchive({{"PROG.EXE", kNew}});
    zip[8] = 99; // the local header's method (APPNOTE 4.3.7)
    const size_t central = zip.find("PK\x01\x02");
    zip[central + 10] = 99; // the central header's (4.3.12)
    return zip;
}

bool IsWritableByThisAccount(const std::string& path) {
    int error = 0;
    platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::Write,
                                                platform::ShareRead | platform::ShareWrite,
                                                platform::FileDisposition::OpenExisting, error);
    platform::FileClose(h);
    return h != platform::kInvalidFileHandle;
}

int64_t ModificationTime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

bool HasReplacementFiles(const std::string& folder) {
    for (const std::string& name : platform::ListDirectory(folder))
        if (platform::IsReplacementFileName(name)) return true;
    return false;
}

} // namespace

// One entry, PROG.EXE, extracted over an existing PROG.EXE: what the folder
// holds afterwards, written in place and written whole.
TEST(ReplaceWhole, AFailedEntryLeavesTheOldFileOnlyWhenWrittenWhole) {
    enum Left { New, Old, Gone, Decoded };
    struct TCase {
        const char* Name;
        std::string Archive;
        std::function<void(TArcUnZipper&)> Prepare;
        bool ReadOnly;
        Left InPlace, Whole;
    };
    const std::vector<TCase> cases = {
        {"good entry", StoredArchive({{"PROG.EXE", kNew}}), nullptr, false, New, New},
        {"unsupported method", UnsupportedMethodArchive(), nullptr, false, Gone, Old},
        {"abort during the entry", StoredArchive({{"PROG.EXE", kNew}}),
         [](TArcUnZipper& zip) {
             zip.OnArchiveItemProgress = [](TArcArchiveItem&, int percent, bool& abort) {
                 abort = percent > 0;
             };
         },
         false, Gone, Old},
        {"checksum mismatch", StoredArchive({{"PROG.EXE", kNew, true}}), nullptr, false, Decoded,
         Old},
        {"read-only old file", StoredArchive({{"PROG.EXE", kNew}}), nullptr, true, Old, Old},
    };
    for (const TCase& c : cases)
        for (const bool whole : {false, true}) {
            const Left expected = whole ? c.Whole : c.InPlace;
            SCOPED_TRACE(std::string(c.Name) + (whole ? ", whole" : ", in place"));
            Unzip u;
            const std::string archive = u.Out("a.zip");
            WriteFileBytes(archive, c.Archive);
            WriteFileBytes(u.Out("PROG.EXE"), kOld);
            if (c.ReadOnly) {
                platform::SetFileAttributesByName(u.Out("PROG.EXE"), platform::faReadOnly);
                if (!whole && IsWritableByThisAccount(u.Out("PROG.EXE"))) {
                    platform::SetFileAttributesByName(u.Out("PROG.EXE"), 0);
                    continue; // in place a superuser writes it anyway
                }
            }
            if (whole) u.zip.SetExtractOptions({eoCreateDirs, eoReplaceWhole});
            if (c.Prepare) c.Prepare(u.zip);
            u.ExtractAll(archive);
            u.zip.CloseArchive();
            platform::SetFileAttributesByName(u.Out("PROG.EXE"), 0);

            EXPECT_EQ(u.failures.empty(), expected == New) << u.Failures();
            const std::string left = ReadFileBytes(u.Out("PROG.EXE"));
            switch (expected) {
            case New:
            case Decoded:
                EXPECT_EQ(left, kNew);
                break;
            case Old:
                EXPECT_EQ(left, kOld);
                break;
            case Gone:
                EXPECT_FALSE(platform::FileExists(u.Out("PROG.EXE")));
                break;
            }
            EXPECT_FALSE(HasReplacementFiles(u.dir.Path()));
        }
}

TEST(ReplaceWhole, EntriesKeepTimesAttributesAndTheFailureTexts) {
    Unzip u;
    u.zip.SetExtractOptions({eoCreateDirs, eoReplaceWhole});
    WriteFileBytes(u.Out("README"), "older readme");
    u.ExtractAll(Fixture("extract-cases.zip"));
    // The same outcomes as in place, apart from the checksum mismatch.
    EXPECT_EQ(ReadFileBytes(u.Out("README")), "readme\n");
    EXPECT_EQ(ReadFileBytes(u.Out("app.exe")), "second app\n");
    EXPECT_FALSE(platform::FileExists(u.Out("method99.bin")));
    EXPECT_FALSE(platform::FileExists(u.Out("badcrc.txt"))) << "a mismatch is never put in place";
    ASSERT_NE(u.FailureOf("badcrc.txt"), nullptr);
    EXPECT_EQ(u.FailureOf("badcrc.txt")->code, 19);
    ASSERT_NE(u.FailureOf("dosdate0.txt"), nullptr);
    EXPECT_EQ(ReadFileBytes(u.Out("dosdate0.txt")), "no date\n") << "complete, only undated";
    EXPECT_EQ(u.failures.size(), 3u) << u.Failures();
    struct tm local {};
    local.tm_year = 2021 - 1900, local.tm_mon = 2, local.tm_mday = 14;
    local.tm_hour = 12, local.tm_min = 34, local.tm_sec = 56, local.tm_isdst = -1;
    EXPECT_EQ(ModificationTime(u.Out("README")), static_cast<int64_t>(mktime(&local)));
    EXPECT_TRUE(IsWritableByThisAccount(u.Out("README")));
    platform::SetFileAttributesByName(u.Out("readonly.txt"), platform::faReadOnly);
    for (const char* name : {"readonly.txt", "unixro.txt"})
        platform::SetFileAttributesByName(u.Out(name), 0);
    EXPECT_FALSE(HasReplacementFiles(u.dir.Path()));
}

// The three hooks, for both ways of writing: every byte a file receives, and
// the end only for the files left in place.
TEST(ItemHooks, TellWhatEachFileReceivedAndWhichAreInPlace) {
    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "whole" : "in place");
        Unzip u;
        WriteFileBytes(u.Out("a.zip"), StoredArchive({{"one.txt", "first file"},
                                                      {"bad.txt", "checksum off", true},
                                                      {"empty.txt", ""},
                                                      {"dir/", ""},
                                                      {"two.txt", std::string(200000, 'x')}}));
        if (whole) u.zip.SetExtractOptions({eoCreateDirs, eoReplaceWhole});
        std::string log, received;
        u.zip.OnItemWriteBegin = [&](TArcArchiveItem& item, const std::string& target) {
            EXPECT_EQ(target, u.Out(platform::ExtractFileName(target)));
            log += "begin " + item.FileName() + ";";
            received.clear();
        };
        u.zip.OnItemWrite = [&](TArcArchiveItem&, const void* data, size_t size) {
            received.append(static_cast<const char*>(data), size);
        };
        u.zip.OnItemExtracted = [&](TArcArchiveItem& item, const std::string& target) {
            log += "done " + item.FileName() + ";";
            EXPECT_EQ(received, ReadFileBytes(target)) << target;
        };
        u.ExtractAll(u.Out("a.zip"));
        EXPECT_EQ(log, std::string("begin one.txt;done one.txt;begin bad.txt;") +
                           (whole ? "" : "done bad.txt;") +
                           "begin empty.txt;done empty.txt;begin two.txt;done two.txt;");
    }
}

TEST(ExistingTargets, AreTheFilesAnExtractionWouldWriteOver) {
    Unzip u;
    u.zip.OpenArchive(Fixture("extract-cases.zip"));
    EXPECT_TRUE(u.zip.ExistingTargets("*.*").empty());
    for (const char* name : {"app.exe", "README", "tool.dll", "unrelated.txt"})
        WriteFileBytes(u.Out(name), "there");
    int error = 0;
    ASSERT_TRUE(platform::CreateDir(u.Out("file.txt"), error)); // a folder is not written over
    // Two entries go to app.exe: it is named once, in directory order.
    EXPECT_EQ(u.zip.ExistingTargets("*.*"),
              (std::vector<std::string>{u.Out("app.exe"), u.Out("tool.dll"), u.Out("README")}));
    EXPECT_EQ(u.zip.ExistingTargets("*.dll"), std::vector<std::string>{u.Out("tool.dll")});
    EXPECT_EQ(platform::ListDirectory(u.dir.Path()).size(), 5u) << "nothing extracted";
    TArcUnZipper none;
    EXPECT_THROW(none.ExistingTargets("*.*"), EArcNoArchive);
}
