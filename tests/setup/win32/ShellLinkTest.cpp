// The shortcut writer against the shell's real link object (Windows build,
// run under Wine): each link is read back through IShellLinkW.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <thread>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "setup/win32/ShellLink.h"
#include "tests/TestSupport.h"

using namespace setup;
using platform::win32::Narrow;
using platform::win32::Wide;
using testing_support::TempDir;

namespace {

struct LinkContent {
    std::string Path, Description, WorkingDirectory, Arguments, IconFile;
    int IconIndex = -1;
    WORD HotKey = 0xFFFF;
};

LinkContent ReadLink(const std::string& linkFile) {
    LinkContent c;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&link)),
              S_OK);
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    EXPECT_EQ(file->Load(Wide(linkFile).c_str(), STGM_READ), S_OK);
    wchar_t buffer[MAX_PATH * 2];
    if (link->GetPath(buffer, MAX_PATH * 2, nullptr, SLGP_RAWPATH) == S_OK) c.Path = Narrow(buffer);
    if (link->GetDescription(buffer, MAX_PATH * 2) == S_OK) c.Description = Narrow(buffer);
    if (link->GetWorkingDirectory(buffer, MAX_PATH * 2) == S_OK) c.WorkingDirectory = Narrow(buffer);
    if (link->GetArguments(buffer, MAX_PATH * 2) == S_OK) c.Arguments = Narrow(buffer);
    int index = -1;
    if (link->GetIconLocation(buffer, MAX_PATH * 2, &index) == S_OK) c.IconFile = Narrow(buffer), c.IconIndex = index;
    link->GetHotkey(&c.HotKey);
    file->Release();
    link->Release();
    return c;
}

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
    TempDir dir;
};

} // namespace

TEST_F(ShellLinkTest, WizardSettingsGiveTargetDescriptionAndWorkingFolder) {
    std::string target = dir.Path() + "TORVELINNEW\\";
    int error;
    ASSERT_TRUE(platform::CreateDirectoryChain(target, error));
    testing_support::WriteFileBytes(target + "TORVELIN.EXE", "MZ");
    TShellLink link;
    link.Description = "Torvelin";
    link.ProgramFile = target + "TORVELIN.EXE";
    link.LinkFile = dir.File("Torvelin.lnk");
    link.Write();

    EXPECT_EQ(link.WorkingDirectory, target) << "the folder of the program, with its trailing backslash";
    ASSERT_TRUE(platform::FileExists(link.LinkFile));
    LinkContent c = ReadLink(link.LinkFile);
    EXPECT_EQ(c.Path, target + "TORVELIN.EXE");
    EXPECT_EQ(c.Description, "Torvelin");
    EXPECT_EQ(c.WorkingDirectory, target);
    EXPECT_EQ(c.Arguments, "");
    EXPECT_EQ(c.IconFile, "") << "no icon of its own";
    EXPECT_EQ(testing_support::ReadFileBytes(link.LinkFile)[0x3C], 1) << "normal window";
    EXPECT_EQ(c.HotKey, 0);
}

TEST_F(ShellLinkTest, EveryPropertyReachesTheLinkAndAnExistingFileIsReplaced) {
    std::string linkFile = dir.File("full.lnk");
    testing_support::WriteFileBytes(linkFile, "not a link at all");
    TShellLink link;
    link.Arguments = "/x \"a b\"";
    link.Description = "Bestelprogramma \xE2\x82\xAC";
    link.IconFile = "C:\\windows\\system32\\shell32.dll";
    link.IconIndex = 3;
    link.HotKey = 0x0641; // Shift+A
    link.ProgramFile = "C:\\windows\\notepad.exe";
    link.WorkingDirectory = "C:\\users";
    link.WindowState = TShellLinkWindowState::wsMaximized;
    link.LinkFile = linkFile;
    link.Write();

    LinkContent c = ReadLink(linkFile);
    EXPECT_EQ(c.Arguments, "/x \"a b\"");
    EXPECT_EQ(c.Description, "Bestelprogramma \xE2\x82\xAC");
    EXPECT_EQ(c.IconFile, "C:\\windows\\system32\\shell32.dll");
    EXPECT_EQ(c.IconIndex, 3);
    EXPECT_EQ(c.HotKey, 0x0641);
    EXPECT_EQ(c.WorkingDirectory, "C:\\users") << "a given working folder is kept";

    // The show command is checked in the file's header (offset 0x3C of the
    // shell link header): the emulated shell does not report it back reliably.
    for (auto [state, stored] : {std::pair{TShellLinkWindowState::wsMinimized, 7},
                                 std::pair{TShellLinkWindowState::wsNormal, 1},
                                 std::pair{TShellLinkWindowState::wsMaximized, 3}}) {
        link.WindowState = state;
        link.Write();
        std::string bytes = testing_support::ReadFileBytes(linkFile);
        ASSERT_GT(bytes.size(), 0x40u);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0x3C]), stored);
    }
}

TEST_F(ShellLinkTest, LinkInAMissingFolderIsSilentlyNotWritten) {
    TShellLink link;
    link.ProgramFile = "C:\\TORVELINNEW\\TORVELIN.EXE";
    link.LinkFile = dir.File("missing\\Torvelin.lnk");
    EXPECT_NO_THROW(link.Write());
    EXPECT_FALSE(platform::FileExists(link.LinkFile));
}

TEST(ShellLinkWithoutCom, CreationFailureNamesTheClassId) {
    // A thread that never initialised COM cannot create the link object.
    std::string message;
    std::thread worker([&] {
        TShellLink link;
        link.ProgramFile = "C:\\x.exe";
        link.LinkFile = "C:\\x.lnk";
        try {
            link.Write();
        } catch (const EOleSysError& e) {
            message = e.Message();
        }
    });
    worker.join();
    EXPECT_NE(message.find(", ClassID: {00021401-0000-0000-C000-000000000046}"), std::string::npos) << message;
    EXPECT_NE(message.find(", ClassID"), 0u) << "the reason for the failure comes first";
}

TEST(ShellLinkShowCommands, MapWindowStates) {
    EXPECT_EQ(ShowCommandFor(TShellLinkWindowState::wsNormal), 1);
    EXPECT_EQ(ShowCommandFor(TShellLinkWindowState::wsMinimized), 7);
    EXPECT_EQ(ShowCommandFor(TShellLinkWindowState::wsMaximized), 3);
}
