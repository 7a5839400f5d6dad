// Carrying out an uninstall: what goes, what stays byte for byte, and what
// the record says afterwards, against folders made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "archive/Crc32.h"
#include "platform/Files.h"
#include "setup/InstallRecord.h"
#include "setup/Uninstall.h"
#include "tests/TestSupport.h"

using namespace setup;
using namespace testing_support;

namespace {

uint32_t CrcOf(const std::string& bytes) {
    return arc::TArcCrc32::Of(bytes.data(), bytes.size());
}

// "name=content;" of every file below folder, sorted, "/" between folders;
// "-" when the folder is gone.
std::string Contents(const std::string& folder, const std::string& prefix = {}) {
    if (!platform::DirectoryExists(folder)) return "-";
    std::vector<std::string> names = platform::ListDirectory(folder);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& name : names) {
        const std::string path = platform::IncludeTrailingPathDelimiter(folder) + name;
        if (platform::DirectoryExists(path))
            out += Contents(path, prefix + name + "/");
        else
            out += prefix + name + "=" + ReadFileBytes(path) + ";";
    }
    return out;
}

} // namespace

TEST(Uninstall, RemovesWhatWasWrittenAndKeepsTheRestByteForByte) {
    struct TCase {
        const char* Name;
        std::function<void(const std::string& folder)> Change;
        bool FolderGone;     // deleted by hand before the uninstall
        bool ShortcutIsOurs; // the shortcut still points at the program
        std::string Left;    // Contents of the folder afterwards
        std::string Kept;    // the files named to the user, relative
        bool DesktopLinkRemoved;
    };
    const std::vector<TCase> cases = {
        {"untouched", nullptr, false, true, "-", "", true},
        {"a file the user changed and one of the user's own",
         [](const std::string& f) {
             WriteFileBytes(f + "TORVELIN.EXE", "MZ patched");
             WriteFileBytes(f + "EIGEN.TXT", "mine too");
             WriteFileBytes(f + "sub/NOTES.TXT", "mine");
         },
         false, true, "EIGEN.TXT=mine too;TORVELIN.EXE=MZ patched;sub/NOTES.TXT=mine;",
         "TORVELIN.EXE;EIGEN.TXT;", true},
        {"settings of the user's own and a killed unpack's leftover",
         [](const std::string& f) {
             WriteFileBytes(f + "SETUP.INI", "[SETUP]\r\nTAAL=NLB\r\nPAD=D:\\\r\n");
             WriteFileBytes(f + "~arc0badf00d.tmp", "half");
         },
         false, true, "SETUP.INI=[SETUP]\r\nPAD=D:\\\r\n;", "", true},
        {"a shortcut the user pointed elsewhere", nullptr, false, false, "-", "", false},
        // The record went with the folder: nothing here knows the shortcut
        // (the uninstaller looks at the desktop itself), and nothing fails.
        {"the folder deleted by hand", nullptr, true, true, "-", "", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const std::string folder = dir.File("TORVELINNEW") + platform::PathDelim();
        const std::string link = dir.File("Torvelin.lnk");
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(folder + "sub", error));
        WriteFileBytes(folder + "TORVELIN.EXE", "MZ program");
        WriteFileBytes(folder + "sub/DEEP.DLL", "deep");
        WriteFileBytes(folder + "SETUP.INI", "[SETUP]\r\nTAAL=NLB\r\n");
        WriteFileBytes(link, "link");
        TInstallRecord record;
        record.AddFile("TORVELIN.EXE", 10, CrcOf("MZ program"));
        record.AddFile("sub/DEEP.DLL", 4, CrcOf("deep"));
        record.AddSetting("SETUP.INI", "SETUP", "TAAL");
        record.AddShortcut(link);
        SaveInstallRecord(folder, record);
        if (c.Change) c.Change(folder);
        if (c.FolderGone) ASSERT_TRUE(platform::DeleteTree(folder));

        std::vector<std::string> settingsRemoved;
        TUninstallHooks hooks;
        // As the private-profile call does: the key's line goes.
        hooks.RemoveSetting = [&](const std::string& file, const TRecordedSetting& entry) {
            settingsRemoved.push_back(entry.Section + "/" + entry.Key);
            std::string text = ReadFileBytes(file);
            const std::string line = entry.Key + "=NLB\r\n";
            if (const size_t at = text.find(line); at != std::string::npos)
                text.erase(at, line.size());
            WriteFileBytes(file, text);
            return true;
        };
        hooks.IsOurShortcut = [&](const std::string&) { return c.ShortcutIsOurs; };
        const TInstallRecord loaded = LoadInstallRecord(folder);
        const TUninstallOutcome outcome =
            ExecuteUninstall(folder, loaded, PlanUninstall(folder, loaded), hooks);

        EXPECT_EQ(Contents(folder), c.Left);
        std::string kept;
        for (const std::string& path : outcome.Kept)
            kept += path.substr(folder.size()) + ";";
        EXPECT_EQ(kept, c.Kept);
        EXPECT_TRUE(outcome.Complete());
        EXPECT_EQ(outcome.FolderRemoved, c.Left == "-" && !c.FolderGone);
        EXPECT_EQ(platform::FileExists(link), !c.DesktopLinkRemoved);
        EXPECT_EQ(settingsRemoved, std::vector<std::string>(c.FolderGone ? 0 : 1, "SETUP/TAAL"));
        // A second uninstall finds nothing left of ours and fails nothing.
        const TInstallRecord again = LoadInstallRecord(folder);
        EXPECT_TRUE(again.Files.empty() && again.Settings.empty());
    }
}

TEST(Uninstall, TheReportNamesWhatStayed) {
    TUninstallOutcome outcome;
    EXPECT_EQ(UninstallReport(outcome), "Torvelin is van deze computer verwijderd.");
    outcome.Kept = {"C:\\T\\A.TXT", "C:\\T\\B.TXT"};
    outcome.Failed = {"C:\\T\\TORVELIN.EXE"};
    EXPECT_EQ(UninstallReport(outcome),
              "Torvelin is van deze computer verwijderd.\r\n\r\nDeze bestanden zijn gewijzigd of "
              "niet door de installatie gemaakt, en zijn niet verwijderd:\r\nC:\\T\\A.TXT\r\n"
              "C:\\T\\B.TXT\r\n\r\nDeze bestanden konden niet worden verwijderd:\r\n"
              "C:\\T\\TORVELIN.EXE");
}

TEST(UninstallEntry, NamesTheProgramItsVersionSizeDayAndUninstaller) {
    struct TCase {
        std::string Version;
        int64_t Bytes;
        std::string Expected;
    };
    const std::string common =
        "Publisher=Kelmar BVBA;InstallLocation=C:\\TORVELINNEW\\;"
        "DisplayIcon=C:\\TORVELINNEW\\TORVELIN.EXE;EstimatedSize=#%s;InstallDate=20270105;"
        "NoModify=#1;NoRepair=#1;"
        "UninstallString=\"C:\\TORVELINNEW\\UNINSTALL.EXE\" /UNINSTALL;"
        "QuietUninstallString=\"C:\\TORVELINNEW\\UNINSTALL.EXE\" /UNINSTALL /VERYSILENT "
        "/SUPPRESSMSGBOXES;";
    auto with = [&](const std::string& kib) {
        std::string s = common;
        return s.replace(s.find("%s"), 2, kib);
    };
    const std::vector<TCase> cases = {
        {"3", 5 * 1024 * 1024, "DisplayName=Torvelin;DisplayVersion=3;" + with("5120")},
        {"12", 1, "DisplayName=Torvelin;DisplayVersion=12;" + with("1")}, // a byte takes a KiB
        {"", 0, "DisplayName=Torvelin;" + with("0")}, // no release known: no version claimed
    };
    for (const TCase& c : cases) {
        std::string got;
        for (const TUninstallEntryValue& v :
             UninstallEntryValues("C:\\TORVELINNEW\\", c.Version, c.Bytes, 2027, 1, 5))
            got += v.Name + "=" + (v.IsNumber ? "#" + std::to_string(v.Number) : v.Text) + ";";
        EXPECT_EQ(got, c.Expected) << c.Version;
    }
}
