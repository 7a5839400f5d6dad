// The install record: what an extraction records while it writes, how a
// later installation merges, the text's grammar, and what an uninstall would
// remove, keep and leave, against files made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "archive/Crc32.h"
#include "platform/Files.h"
#include "runtime/Exception.h"
#include "setup/InstallRecord.h"
#include "setup/Unpack.h"
#include "tests/TestSupport.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace setup;
using namespace testing_support;
using ziptest::StoredArchive;

namespace {

uint32_t CrcOf(const std::string& bytes) {
    return arc::TArcCrc32::Of(bytes.data(), bytes.size());
}

// "name size" of every recorded file whose CRC is that of the bytes now in
// the folder, in record order; a wrong CRC shows as "name size bad-crc".
std::string Recorded(const TInstallRecord& record, const TempDir& dir) {
    std::string out;
    for (const TRecordedFile& f : record.Files)
        out += f.Name + " " + std::to_string(f.Size) +
               (f.Crc32 == CrcOf(ReadFileBytes(dir.File(f.Name))) ? "" : " bad-crc") + ";";
    return out;
}

std::string Names(const std::vector<std::string>& paths, const TempDir& dir) {
    std::string out;
    for (const std::string& path : paths)
        out += path.substr(dir.Path().size()) + ";";
    return out;
}

} // namespace

TEST(InstallRecorder, RecordsWhatTheExtractionWroteAndALaterRunMerges) {
    TempDir dir;
    const std::string big(3 * 1024 * 1024 + 17, 'b'); // written in several pieces
    WriteFileBytes(dir.File("main.zip"), StoredArchive({{"TORVELIN.EXE", "MZ program"},
                                                        {"LEEG.TXT", ""},
                                                        {"KAPOT.DAT", "damaged", true},
                                                        {"data/GROOT.BIN", big},
                                                        {"bin/DUBBEL.DLL", "first"},
                                                        {"lib/DUBBEL.DLL", "second, longer"}}));
    arc::TArcUnZipper unzipper;
    unzipper.SetExtractOptions({arc::eoCreateDirs, arc::eoReplaceWhole});
    TInstallRecord written;
    {
        TInstallRecorder recorder(written, dir.Path());
        recorder.Attach(unzipper);
        EXPECT_NE(MessageOf([&] { UnpackArchive(unzipper, dir.File("main.zip")); }), "");
    }
    EXPECT_FALSE(unzipper.OnItemExtracted) << "the recorder's hook went with it";
    // The damaged entry was never put in place, so it is not the
    // installation's; the name written twice holds its last content.
    EXPECT_EQ(Recorded(written, dir),
              "TORVELIN.EXE 10;LEEG.TXT 0;GROOT.BIN 3145745;DUBBEL.DLL 14;");
    written.AddSetting("SETUP.INI", "SETUP", "TAAL");
    written.AddShortcut("C:\\Users\\winkel\\Desktop\\Torvelin.lnk");
    SaveInstallRecord(dir.Path(), written);

    // A second installation writes one file again and one new one.
    WriteFileBytes(dir.File("upgrade.zip"),
                   StoredArchive({{"TORVELIN.EXE", "MZ program, version 2"}, {"NIEUW.TXT", "x"}}));
    TInstallRecord later;
    {
        TInstallRecorder recorder(later, dir.Path());
        recorder.Attach(unzipper);
        EXPECT_EQ(MessageOf([&] { UnpackArchive(unzipper, dir.File("upgrade.zip")); }), "");
    }
    later.AddSetting("SETUP.INI", "setup", "taal"); // the same entry, as Windows reads it
    TInstallRecord merged = LoadInstallRecord(dir.Path());
    MergeInstallRecord(merged, later);
    EXPECT_EQ(Recorded(merged, dir),
              "TORVELIN.EXE 21;LEEG.TXT 0;GROOT.BIN 3145745;DUBBEL.DLL 14;NIEUW.TXT 1;");
    EXPECT_EQ(merged.Settings.size(), 1u);
    EXPECT_EQ(merged.Shortcuts, written.Shortcuts);
}

TEST(InstallRecordText, ReadsWhatItWritesAndRefusesEverythingElse) {
    TInstallRecord record;
    record.AddFile("TORVELIN.EXE", 10, CrcOf("MZ program"));
    record.AddFile("sub/LEES MIJ.TXT", 0, CrcOf(""));
    record.AddSetting("SETUP.INI", "SETUP", "TAAL");
    record.AddShortcut("C:\\Users\\Anaïs\\Desktop\\Torvelin.lnk");
    const std::string text = ComposeInstallRecord(record);
    const std::string hash = "00000000";
    EXPECT_EQ(text.substr(text.find("file 0 ")),
              "file 0 " + hash +
                  " sub/LEES MIJ.TXT\nsetting SETUP TAAL SETUP.INI\n"
                  "shortcut C:\\Users\\Anaïs\\Desktop\\Torvelin.lnk\n");
    EXPECT_EQ(ComposeInstallRecord(ParseInstallRecord(text)), text);

    const std::string head = "install-record 2\n";
    const std::string file = "file 1 " + hash + " ";
    const struct {
        std::string Text;
        int Line; // 0: valid
    } cases[] = {
        {head, 0},
        {"install-record 2\r\nshortcut D:\\x.lnk\r\n", 0},
        {"", 1},
        {"install-record 1\n", 1}, // a record of SHA-256 sums, before the CRC-32
        {"install-record 3\n", 1},
        {"install-record 2", 1}, // no line end
        {head + "\n", 2},
        {head + "shortcut D:\\x.lnk\nshortcut D:\\x.lnk\n", 3},
        {head + file + "A.TXT\n" + file + "a.txt\n", 3}, // one file, as Windows names it
        {head + file + "../A.TXT\n", 2},
        {head + file + "/A.TXT\n", 2},
        {head + file + "C:\\A.TXT\n", 2},
        {head + file + "a//b\n", 2},
        {head + file + "sub/./b\n", 2},
        {head + file + "\n", 2},
        {head + "file 01 " + hash + " A\n", 2},
        {head + "file -1 " + hash + " A\n", 2},
        {head + "file 1 " + hash.substr(1) + " A\n", 2},
        {head + "file 1 " + hash + "0 A\n", 2},
        {head + "file 1 8BADF00D A\n", 2},
        {head + "file 1 0000000g A\n", 2},
        {head + "file 1 e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 A\n", 2},
        {head + "setting SETUP TA=AL SETUP.INI\n", 2},
        {head + "setting [SETUP] TAAL SETUP.INI\n", 2},
        {head + "setting SETUP TAAL\n", 2},
        {head + "shortcut \n", 2},
        {head + "shortcut a\tb\n", 2},
        {head + "folder X\n", 2},
        {head + std::string(kInstallRecordMaxSize, 'x'), -1},
    };
    for (const auto& c : cases) {
        const std::string message = MessageOf<EInstallRecordInvalid>(
            [&] { ParseInstallRecord(c.Text, "D:\\INSTALL.REC"); });
        if (c.Line == 0)
            EXPECT_EQ(message, "") << c.Text;
        else if (c.Line < 0)
            EXPECT_EQ(message,
                      "Het installatieoverzicht D:\\INSTALL.REC is groter dan 4194304 bytes.");
        else
            EXPECT_EQ(message, "Het installatieoverzicht D:\\INSTALL.REC is ongeldig (regel " +
                                   std::to_string(c.Line) + ").")
                << c.Text;
    }
}

TEST(InstallRecordFile, IsWrittenWholeAndAMissingOneIsEmpty) {
    TempDir dir;
    EXPECT_TRUE(LoadInstallRecord(dir.Path()).Files.empty());
    TInstallRecord record;
    record.AddFile("A.TXT", 1, CrcOf("a"));
    SaveInstallRecord(dir.Path(), record);
    EXPECT_EQ(platform::ListDirectory(dir.Path()), std::vector<std::string>{"INSTALL.REC"});
    EXPECT_EQ(ReadFileBytes(dir.File("INSTALL.REC")), ComposeInstallRecord(record));
    WriteFileBytes(dir.File("INSTALL.REC"), "install-record 2\nfile x\n");
    EXPECT_EQ(MessageOf<EInstallRecordInvalid>([&] { LoadInstallRecord(dir.Path()); }),
              "Het installatieoverzicht " + dir.File("INSTALL.REC") + " is ongeldig (regel 2).");
}

TEST(SettingsFile, GoesOnlyWhenNothingButOurKeysIsInIt) {
    const std::vector<TRecordedSetting> taal = {{"SETUP.INI", "SETUP", "TAAL"}};
    const struct {
        std::string Text;
        bool Only;
    } cases[] = {
        {"[SETUP]\r\nTAAL=NLB\r\n", true},
        {"", true},
        {"\r\n[setup]\r\n  taal = FRB  \r\n\r\n", true},
        {"\xEF\xBB\xBF[SETUP]\nTAAL=NLB\n", true},
        {std::string("\xFF\xFE[\0S\0E\0T\0U\0P\0]\0\n\0T\0A\0A\0L\0=\0N\0L\0B\0\n\0", 32), true},
        {std::string("\xFF\xFE[\0S\0E\0T\0U\0P\0]\0\n\0P\0=\0\x31\0\n\0", 24), false},
        {"[SETUP]\r\nPAD=D:\\DATA\r\nTAAL=NLB\r\n", false},
        {"[SETUP]\r\nTAAL=NLB\r\n[ANDERS]\r\n", false},
        {"[ANDERS]\r\nTAAL=NLB\r\n", false},
        {"; eigen commentaar\r\n[SETUP]\r\nTAAL=NLB\r\n", false},
        {"TAAL=NLB\r\n", false}, // outside any section
        {"[SETUP]\r\nTAAL\r\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFileHoldsOnly(c.Text, taal), c.Only) << c.Text;
}

// An installation's folder as the user left it, and what an uninstall would
// do there.
TEST(UninstallPlan, RemovesOnlyUnchangedFilesAndSaysWhatStays) {
    struct TCase {
        const char* Name;
        std::function<void(const TempDir&)> Change;
        std::string Remove, Kept, Gone, Others, Leftovers, DeleteSettings, RemoveFolders;
        bool Empty;
    };
    const std::string all = "TORVELIN.EXE;LEEG.TXT;sub/DEEP.DLL;";
    const std::vector<TCase> cases = {
        {"untouched", nullptr, all, "", "", "", "", "SETUP.INI;", "sub;", true},
        {"a file changed in place, same size",
         [](const TempDir& d) { WriteFileBytes(d.File("TORVELIN.EXE"), "MZ PROGRAM"); },
         "LEEG.TXT;sub/DEEP.DLL;", "TORVELIN.EXE;", "", "", "", "SETUP.INI;", "sub;", false},
        {"a file grown",
         [](const TempDir& d) { WriteFileBytes(d.File("LEEG.TXT"), "now something"); },
         "TORVELIN.EXE;sub/DEEP.DLL;", "LEEG.TXT;", "", "", "", "SETUP.INI;", "sub;", false},
        {"a file deleted and files of the user's own",
         [](const TempDir& d) {
             platform::DeleteFileByName(d.File("TORVELIN.EXE"));
             WriteFileBytes(d.File("EIGEN.TXT"), "mine");
             WriteFileBytes(d.File(std::string("sub") + platform::PathDelim() + "MINE.TXT"),
                            "mine too");
         },
         "LEEG.TXT;sub/DEEP.DLL;", "", "TORVELIN.EXE;", "EIGEN.TXT;", "", "SETUP.INI;", "", false},
        {"other settings and a killed unpack's leftover",
         [](const TempDir& d) {
             WriteFileBytes(d.File("SETUP.INI"), "[SETUP]\r\nTAAL=NLB\r\nPAD=D:\\\r\n");
             WriteFileBytes(d.File("~arc0badf00d.tmp"), "half");
         },
         all, "", "", "", "~arc0badf00d.tmp;", "", "sub;", false},
        {"a folder of the user's own",
         [](const TempDir& d) {
             int error = 0;
             platform::CreateDir(d.File("LEEG"), error);
         },
         all, "", "", "LEEG;", "", "SETUP.INI;", "sub;", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const char d = platform::PathDelim();
        int error = 0;
        ASSERT_TRUE(platform::CreateDir(dir.File("sub"), error));
        WriteFileBytes(dir.File("TORVELIN.EXE"), "MZ program");
        WriteFileBytes(dir.File("LEEG.TXT"), "");
        WriteFileBytes(dir.File(std::string("sub") + d + "DEEP.DLL"), "deep");
        WriteFileBytes(dir.File("SETUP.INI"), "[SETUP]\r\nTAAL=NLB\r\n");
        TInstallRecord record;
        record.AddFile("TORVELIN.EXE", 10, CrcOf("MZ program"));
        record.AddFile("LEEG.TXT", 0, CrcOf(""));
        record.AddFile("sub/DEEP.DLL", 4, CrcOf("deep"));
        record.AddSetting("SETUP.INI", "SETUP", "TAAL");
        record.AddShortcut(dir.File("Torvelin.lnk")); // not there: nothing to remove
        SaveInstallRecord(dir.Path(), record);
        if (c.Change) c.Change(dir);

        const TUninstallPlan plan = PlanUninstall(dir.Path(), record);
        auto slashes = [](std::string s) {
            std::replace(s.begin(), s.end(), platform::PathDelim(), '/');
            return s;
        };
        std::string gone;
        for (const TPlannedFile& f : plan.Files)
            if (f.State == TFileState::Gone) gone += f.Path.substr(dir.Path().size()) + ";";
        EXPECT_TRUE(plan.FolderExists);
        EXPECT_EQ(slashes(Names(plan.Remove, dir)), c.Remove);
        EXPECT_EQ(slashes(Names(plan.Kept, dir)), c.Kept);
        EXPECT_EQ(gone, c.Gone);
        EXPECT_EQ(Names(plan.Others, dir), c.Others);
        EXPECT_EQ(Names(plan.Leftovers, dir), c.Leftovers);
        EXPECT_EQ(Names(plan.DeleteSettingsFiles, dir), c.DeleteSettings);
        EXPECT_EQ(plan.RemoveSettings.size(), 1u);
        EXPECT_EQ(Names(plan.RemoveFolders, dir), c.RemoveFolders);
        EXPECT_TRUE(plan.Shortcuts.empty());
        EXPECT_EQ(plan.FolderEmptyAfterwards, c.Empty);
    }
}

TEST(UninstallPlan, AFolderDeletedByHandLeavesOnlyTheShortcut) {
    TempDir dir;
    WriteFileBytes(dir.File("Torvelin.lnk"), "link");
    TInstallRecord record;
    record.AddFile("TORVELIN.EXE", 10, CrcOf("MZ program"));
    record.AddSetting("SETUP.INI", "SETUP", "TAAL");
    record.AddShortcut(dir.File("Torvelin.lnk"));
    const TUninstallPlan plan = PlanUninstall(dir.File("TORVELINNEW"), record);
    EXPECT_FALSE(plan.FolderExists);
    ASSERT_EQ(plan.Files.size(), 1u);
    EXPECT_EQ(plan.Files[0].State, TFileState::Gone);
    EXPECT_TRUE(plan.Remove.empty());
    EXPECT_TRUE(plan.RemoveSettings.empty());
    EXPECT_EQ(plan.Shortcuts, std::vector<std::string>{dir.File("Torvelin.lnk")});
}
