// Unpacking a component archive beside itself, with archives built here:
// what lands on disk, and which message a failed entry carries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "setup/FilesInUse.h"
#include "setup/Unpack.h"
#include "tests/TestSupport.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace testing_support;
using ziptest::StoredArchive;

TEST(UnpackArchiveTest, ExtractsFlatBesideTheArchiveAndDeletesIt) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"TORVELIN.EXE", "MZ program"},
                                                        {"docs/HANDLEIDING.TXT", "lees dit"},
                                                        {"LEEG.TXT", ""}}));
    arc::TArcUnZipper unzipper;
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }), "");
    EXPECT_FALSE(platform::FileExists(dir.File("main.zip")));
    EXPECT_EQ(ReadFileBytes(dir.File("TORVELIN.EXE")), "MZ program");
    EXPECT_EQ(ReadFileBytes(dir.File("HANDLEIDING.TXT")), "lees dit");
    EXPECT_TRUE(platform::FileExists(dir.File("LEEG.TXT")));
    EXPECT_FALSE(platform::DirectoryExists(dir.File("docs")));

    // The same extractor unpacks a second archive after the first.
    WriteFileBytes(dir.File("upgrade.zip"), StoredArchive({{"VERSIE.TXT", "2"}}));
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("upgrade.zip")); }), "");
    EXPECT_EQ(ReadFileBytes(dir.File("VERSIE.TXT")), "2");
    EXPECT_FALSE(platform::FileExists(dir.File("upgrade.zip")));
}

TEST(UnpackArchiveTest, CorruptEntryIsReportedAfterTheOthersAreExtracted) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"A.TXT", "first"},
                                                        {"KAPOT.DAT", "damaged", true},
                                                        {"OOK.DAT", "also damaged", true},
                                                        {"Z.TXT", "last"}}));
    arc::TArcUnZipper unzipper;
    bool callerHandlerCalled = false;
    unzipper.OnProcessItemFailure = [&](arc::TArcArchiveItem&, arc::TArcProcessType,
                                        arc::TArcErrorClass, int,
                                        const std::string&) { callerHandlerCalled = true; };
    std::string message = MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); });
    EXPECT_EQ(
        message.rfind("Het bestand \"KAPOT.DAT\" uit main.zip kon niet worden uitgepakt: ", 0), 0u)
        << message;
    EXPECT_GT(
        message.size(),
        std::string("Het bestand \"KAPOT.DAT\" uit main.zip kon niet worden uitgepakt: ").size());
    EXPECT_EQ(ReadFileBytes(dir.File("A.TXT")), "first");
    EXPECT_EQ(ReadFileBytes(dir.File("Z.TXT")), "last");
    EXPECT_FALSE(platform::FileExists(dir.File("main.zip")));
    // The caller's own failure handler is back in place afterwards.
    ASSERT_TRUE(unzipper.OnProcessItemFailure);
    EXPECT_FALSE(callerHandlerCalled);
}

TEST(UnpackArchiveTest, ArchiveThatIsNotAZipRaisesTheExtractorsErrorAndStays) {
    TempDir dir;
    WriteFileBytes(dir.File("main.zip"), "<html>not an archive</html>");
    arc::TArcUnZipper unzipper;
    EXPECT_NE(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }), "");
    EXPECT_TRUE(platform::FileExists(dir.File("main.zip")));
}

TEST(UnpackArchiveTest, DateThatCannotBeConvertedOnlyWarnsButABadChecksumStillFails) {
    struct Case {
        bool BadCrc;
        std::string Message;
    } cases[] = {
        {false, ""},
        {true,
         "Het bestand \"DATUM0.TXT\" uit main.zip kon niet worden uitgepakt: Failed CRC Check"}};
    for (const Case& c : cases) {
        TempDir dir;
        WriteFileBytes(dir.File("main.zip"),
                       StoredArchive({{"DATUM0.TXT", "dated 0", c.BadCrc, 0}, {"B.TXT", "b"}}));
        arc::TArcUnZipper unzipper;
        EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }),
                  c.Message);
        EXPECT_EQ(ReadFileBytes(dir.File("DATUM0.TXT")), "dated 0");
        EXPECT_EQ(ReadFileBytes(dir.File("B.TXT")), "b");
    }
}

TEST(UnpackArchiveTest, ArchiveIsReleasedWhenExtractionRaises) {
    TempDir dir;
    // A name with a character no path may hold stops the whole extraction.
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"A.TXT", "a"}, {"B|C.TXT", "b"}}));
    arc::TArcUnZipper unzipper;
    EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, dir.File("main.zip")); }),
              "Invalid characters in path");
    EXPECT_EQ(unzipper.Archive(), nullptr);
    EXPECT_EQ(unzipper.FileName(), "");
    EXPECT_TRUE(platform::DeleteFileByName(dir.File("main.zip")))
        << "the archive is still held open";
}

// Before anything is written: a killed run's temporary files go, the caller
// hears of the files to be replaced, and a caller that stops the unpack
// (the user cancelled at a program still open) leaves every old file and the
// archive as they were.
TEST(UnpackArchiveTest, TheCallerSeesWhatWillBeReplacedAndMayStopFirst) {
    struct TCase {
        const char* Name;
        bool OldFiles; // an earlier release is in the folder
        bool Stop;     // the caller raises
        std::string Seen, Exe, ArchiveThere;
    };
    const std::vector<TCase> cases = {
        {"a fresh folder", false, false, "", "MZ new", "no"},
        {"an upgrade", true, false, "TORVELIN.EXE;", "MZ new", "no"},
        {"an upgrade stopped", true, true, "TORVELIN.EXE;", "MZ old", "yes"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        WriteFileBytes(dir.File("main.zip"),
                       StoredArchive({{"TORVELIN.EXE", "MZ new"}, {"NIEUW.TXT", "new"}}));
        if (c.OldFiles) WriteFileBytes(dir.File("TORVELIN.EXE"), "MZ old");
        WriteFileBytes(dir.File("~arc0badf00d.tmp"), "a killed run's half");
        arc::TArcUnZipper unzipper;
        std::string seen;
        const std::string message = MessageOf([&] {
            setup::UnpackArchive(unzipper, dir.File("main.zip"),
                                 [&](const std::vector<std::string>& replaced) {
                                     for (const std::string& f : replaced)
                                         seen += platform::ExtractFileName(f) + ";";
                                     if (c.Stop) throw rtl::Exception("stopped");
                                 });
        });
        EXPECT_EQ(message, c.Stop ? "stopped" : "");
        EXPECT_EQ(seen, c.Seen);
        EXPECT_EQ(ReadFileBytes(dir.File("TORVELIN.EXE")), c.Exe);
        EXPECT_EQ(platform::FileExists(dir.File("NIEUW.TXT")), !c.Stop);
        EXPECT_EQ(platform::FileExists(dir.File("main.zip")) ? "yes" : "no", c.ArchiveThere);
        EXPECT_FALSE(platform::FileExists(dir.File("~arc0badf00d.tmp")));
    }
}

TEST(FilesInUseQuestion, NamesEachProgramAndFileOnALine) {
    struct TCase {
        std::vector<setup::TFileInUse> Files;
        std::string Lines;
    };
    const std::vector<TCase> cases = {
        {{{"C:\\TORVELINNEW\\TORVELIN.EXE", "Torvelin"}},
         "Torvelin gebruikt C:\\TORVELINNEW\\TORVELIN.EXE"},
        {{{"C:\\TORVELINNEW\\TORVELIN.EXE", ""}}, "C:\\TORVELINNEW\\TORVELIN.EXE is in gebruik"},
        {{{"C:\\T\\A.DLL", "Torvelin"}, {"C:\\T\\A.DLL", "Kassa"}, {"C:\\T\\B.DLL", ""}},
         "Torvelin gebruikt C:\\T\\A.DLL\r\nKassa gebruikt C:\\T\\A.DLL\r\nC:\\T\\B.DLL is in "
         "gebruik"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(setup::FilesInUseQuestion(c.Files),
                  "Een programma dat nog open is, gebruikt bestanden die de installatie moet "
                  "vervangen:\r\n\r\n" +
                      c.Lines +
                      "\r\n\r\nSluit het programma en kies Opnieuw, of kies Annuleren om de "
                      "installatie af te breken.");
}
