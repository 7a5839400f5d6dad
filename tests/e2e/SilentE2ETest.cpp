// Setup.exe started by a deployment under Wine, against the servers of
// run-install-e2e.sh (see InstallE2ETest.cpp for what the script passes):
// the silent runs and their exit codes and logs, refused command lines, a
// second start, and a run killed halfway.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "setup/win32/ControlIds.h"
#include "setup/Wizard.h"
#include "tests/TestSupport.h"
#include "tests/e2e/InstallDriver.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;
using platform::win32::Wide;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

constexpr DWORD kRunMs = 90000;
const std::vector<std::string> kInstalled = {"ARTIKELEN.CSV", "HANDLEIDING.TXT", "LEESMIJ.TXT",
                                             "SETUP.INI",     "TORVELIN.EXE",    "VERSIE.TXT"};

std::string LogFile() {
    return Work() + "silent.log";
}
// Has the sign helper sign the served archives into the served manifest
// (see InstallE2ETest.cpp).
bool SignServed(const std::string& key) {
    return RealInput(Work() + "sign\\", "sign " + key + " 3");
}
void Copy(const std::string& from, const std::string& to) {
    ASSERT_TRUE(CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) << from << " -> " << to;
}


// Setup.exe started with arguments, as a deployment's script starts it.
class TStartedSetup {
  public:
    explicit TStartedSetup(const std::string& arguments) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring line = L"\"" + Wide(Env("SETUP_EXE")) + L"\" " + Wide(arguments);
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &FInfo))
            FInfo = PROCESS_INFORMATION{};
    }
    ~TStartedSetup() {
        if (!FInfo.hProcess) return;
        if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) Kill();
        CloseHandle(FInfo.hThread);
        CloseHandle(FInfo.hProcess);
    }
    DWORD Id() const { return FInfo.dwProcessId; }
    void Kill() {
        TerminateProcess(FInfo.hProcess, 255);
        WaitForSingleObject(FInfo.hProcess, 5000);
    }
    // Waits for the end, calling poll meanwhile; the exit code, or -1 when
    // the process did not end in time.
    int Wait(DWORD ms, const std::function<void()>& poll = {}) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (WaitForSingleObject(FInfo.hProcess, 20) == WAIT_TIMEOUT) {
            if (poll) poll();
            if (GetTickCount64() > end) return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(FInfo.hProcess, &code);
        return static_cast<int>(code);
    }

  private:
    PROCESS_INFORMATION FInfo{};
};

// The visible top-level windows of a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    struct TFound {
        DWORD Id;
        std::vector<HWND> Windows;
    } found{processId, {}};
    EnumWindows(
        [](HWND wnd, LPARAM p) -> BOOL {
            auto* f = reinterpret_cast<TFound*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(wnd, &owner);
            if (owner == f->Id && IsWindowVisible(wnd)) f->Windows.push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.Windows;
}

class SilentE2ETest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (platform::DirectoryExists(kTarget)) platform::DeleteTree(kTarget);
        ASSERT_FALSE(platform::DirectoryExists(kTarget));
        DeleteFileW(Wide(LogFile()).c_str());
        SetEnvironmentVariableW(L"SETUP_TEST_TIMEOUT_MS", L"3000");
        SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", L"10");
        CreateDirectoryW(Wide(Work() + "www\\modes").c_str(), nullptr);
        DeleteFileW(Wide(Work() + "www\\modes\\main.slow").c_str());
        Copy(Work() + "archives\\main.zip", Served("main.zip"));
        Copy(Work() + "archives\\upgrade.zip", Served("upgrade.zip"));
        if (Signed()) Copy(Work() + "archives\\release.txt", Served("release.txt"));
    }
};

// One silent run per row: what is prepared, the arguments after
// "/VERYSILENT /SUPPRESSMSGBOXES /LOG=<log>", the exit code, what the log
// must hold, and whether the program was installed. No window of the
// program may be visible at any time of any of them. A failure's message is
// logged as shown and in English, whatever the run's language: English
// holds the start of that English line (the whole of it where it names
// nothing that varies).
TEST_F(SilentE2ETest, SilentRunsEndWithTheirFamilysExitCodeAndALogNamingTheCause) {
    const std::string proxy = "127.0.0.1:" + Env("INSTALL_E2E_PROXY_PORT");
    const std::string k404English = "The server reported an error: HTTP/1.1 404 Not Found\r\n";
    const std::string kRefusedEnglish =
        "Socket Error # 10061 | No connection could be made because "
        "the target machine actively refused it.\r\n";
    const std::string kSettingsEnglish = "Unable to write to C:\\TORVELINNEW\\SETUP.INI\r\n";
    auto changeByte = [](const std::string& file) {
        std::string bytes = ReadFileBytes(file);
        bytes[bytes.size() / 2] ^= 0x55;
        WriteFileBytes(file, bytes);
    };
    const struct {
        const char* Name;
        std::function<void()> Prepare;
        std::string Arguments;
        int Code;
        std::vector<std::string> Logged;
        bool Installed;
        std::string English = {};
    } cases[] = {
        {"installs",
         [] {},
         "/DRIVE=C",
         0,
         {"Command line: /VERYSILENT /SUPPRESSMSGBOXES",
          "Request http://127.0.0.1:8731/zividezeru/Files/main.zip: HTTP/1.1 200 OK",
          "Settings file C:\\TORVELINNEW\\SETUP.INI: [SETUP] TAAL=NLB", "Shortcut ", "Exit code 0"},
         true},
        {"through the proxy",
         [] {},
         "/PROXY=" + proxy,
         0,
         {"Proxy: " + proxy, "Exit code 0"},
         true},
        {"a 404",
         [] { DeleteFileW(Wide(Served("main.zip")).c_str()); },
         "",
         3,
         {"Failed: HTTP/1.1 404 Not Found", "Exit code 3"},
         false,
         k404English},
        {"a 404 in French",
         [] { DeleteFileW(Wide(Served("main.zip")).c_str()); },
         "/LANG=fr",
         3,
         {"Message (box suppressed): Le serveur a signalé une erreur : HTTP/1.1 404 Not Found"},
         false,
         k404English},
        {"a 404 in Dutch",
         [] { DeleteFileW(Wide(Served("main.zip")).c_str()); },
         "/LANG=nl",
         3,
         {"Message (box suppressed): De server meldt een fout: HTTP/1.1 404 Not Found"},
         false,
         k404English},
        {"a refused connection",
         [] {},
         "/PROXY=127.0.0.1:1",
         3,
         {"Failed: Socket Error # 10061", "Exit code 3"},
         false,
         kRefusedEnglish},
        {"French messages",
         [] {},
         "/PROXY=127.0.0.1:1 /LANG=fr",
         3,
         {"Language fr (from /LANG)", "Aucune connexion n'a pu être établie", "Exit code 3"},
         false,
         kRefusedEnglish},
        {"a swapped archive",
         [] { Copy(Work() + "archives\\main.zip", Served("upgrade.zip")); },
         "",
         Signed() ? 4 : 5,
         {Signed() ? "komt niet overeen met de release" : "Failed: ", "Exit code"},
         false},
        {"a swapped archive in French",
         [] { Copy(Work() + "archives\\main.zip", Served("upgrade.zip")); },
         "/LANG=fr",
         Signed() ? 4 : 5,
         {Signed() ? "ne correspond pas à la version publiée" : "Failed: "},
         false,
         Signed() ? "upgrade.zip does not match the release: " : ""},
        {"a manifest with a bad signature",
         [] {
             if (Signed()) SignServed("other");
         },
         "",
         Signed() ? 4 : 0,
         {Signed() ? "Failed: " : "Exit code 0"},
         !Signed()},
        {"a manifest with a bad signature in French",
         [] {
             if (Signed()) SignServed("other");
         },
         "/LANG=fr",
         Signed() ? 4 : 0,
         {Signed() ? "Failed: " : "Exit code 0"},
         !Signed(),
         Signed() ? "The release manifest's signature is invalid: the release does not come from "
                    "the maker or was changed on the way.\r\n"
                  : ""},
        {"a damaged archive",
         [&] {
             changeByte(Served("main.zip"));
             if (Signed()) SignServed("current");
         },
         "",
         5,
         {"Archive C:\\TORVELINNEW\\main.zip: ", "Failed: ", "Exit code 5"},
         false},
        {"a damaged archive in French",
         [&] {
             changeByte(Served("main.zip"));
             if (Signed()) SignServed("current");
         },
         "/LANG=fr",
         5,
         {"Failed: Le fichier "},
         false,
         // What the damage does to the entry depends on the demo program's
         // bytes, which each build makes anew: only the message's start is fixed.
         "The file \"TORVELIN.EXE\" from main.zip could not be unpacked: "},
        {"a settings file that cannot be written",
         [] {
             int error = 0;
             platform::CreateDirectoryChain(kTarget + "SETUP.INI", error);
         },
         "",
         6,
         {"Failed: Unable to write to C:\\TORVELINNEW\\SETUP.INI", "Exit code 6"},
         false,
         kSettingsEnglish},
        {"a settings file that cannot be written, in French",
         [] {
             int error = 0;
             platform::CreateDirectoryChain(kTarget + "SETUP.INI", error);
         },
         "/LANG=fr",
         6,
         {"Failed: Impossible d'écrire dans C:\\TORVELINNEW\\SETUP.INI"},
         false,
         kSettingsEnglish},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp();
        c.Prepare();
        TStartedSetup setup("/VERYSILENT /SUPPRESSMSGBOXES /LOG=\"" + LogFile() + "\" " +
                            c.Arguments);
        int visible = 0;
        EXPECT_EQ(setup.Wait(kRunMs, [&] { visible += !VisibleWindowsOf(setup.Id()).empty(); }),
                  c.Code);
        EXPECT_EQ(visible, 0) << "a window of the program was visible";
        const std::string log = ReadFileBytes(LogFile());
        for (const std::string& line : c.Logged)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        if (!c.English.empty())
            EXPECT_NE(log.find("  Message in English: " + c.English), std::string::npos)
                << c.English << "\n"
                << log;
        if (c.Installed)
            EXPECT_EQ(FilesIn(kTarget), kInstalled);
        else
            EXPECT_FALSE(platform::FileExists(kTarget + "TORVELIN.EXE") &&
                         platform::FileExists(kTarget + "SETUP.INI"));
    }
}

// Refused command lines: exit code 1, nothing installed, the reason logged
// (in French when asked, and in English), no window.
TEST_F(SilentE2ETest, BadCommandLinesGiveOneAndInstallNothing) {
    const struct {
        std::string Arguments;
        std::string Logged; // empty: no log can be written
        std::string English = {};
    } cases[] = {
        {"/BOGUS", "Onbekende optie op de opdrachtregel: /BOGUS",
         "Unknown option on the command line: /BOGUS\r\n"},
        {"/DRIVE=Q", "\"Q\" is geen vaste schijf",
         "Invalid value for /DRIVE: \"Q\" is not a fixed drive of this computer.\r\n"},
        {"/PROXY=host:99999", "Ongeldige waarde voor /PROXY: \"host:99999\""},
        {"/SILENT", "De optie /SILENT is meer dan eens gegeven."},
        {"/LANG=fr /BOGUS", "Option inconnue sur la ligne de commande : /BOGUS",
         "Unknown option on the command line: /BOGUS\r\n"},
        {"/LOG=\"C:\\no such folder\\x.log\"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        SetUp();
        const std::string log = c.Logged.empty() ? "" : "/LOG=\"" + LogFile() + "\" ";
        TStartedSetup setup("/VERYSILENT /SUPPRESSMSGBOXES " + log + c.Arguments);
        EXPECT_EQ(setup.Wait(20000), 1);
        EXPECT_FALSE(platform::DirectoryExists(kTarget));
        if (!c.Logged.empty()) {
            const std::string text = ReadFileBytes(LogFile());
            EXPECT_NE(text.find(c.Logged), std::string::npos) << text;
            EXPECT_NE(text.find("Exit code 1\r\n"), std::string::npos) << text;
            if (!c.English.empty())
                EXPECT_NE(text.find("  Message in English: " + c.English), std::string::npos)
                    << text;
        }
    }
}

// Without /SUPPRESSMSGBOXES a refusal, and /?, are boxes captioned "Setup".
TEST_F(SilentE2ETest, RefusalAndHelpAreBoxesWithoutSuppression) {
    const struct {
        const char* Arguments;
        const char* Text; // the start of the box's text
        int Code;
    } cases[] = {
        {"/DRIVE=Q", "Ongeldige waarde voor /DRIVE: \"Q\"", 1},
        {"/VERYSILENT /LANG=en /BOGUS", "Unknown option on the command line: /BOGUS", 1},
        {"/? /LANG=fr", "Setup.exe [options]", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        TStartedSetup setup(c.Arguments);
        TDialog box = WaitForDialog(setup.Id(), 20000);
        ASSERT_TRUE(box);
        EXPECT_EQ(box.Caption, "Setup");
        EXPECT_EQ(box.Text.rfind(c.Text, 0), 0u) << box.Text;
        EXPECT_TRUE(Answer(box, TAnswer::Enter, 5000));
        EXPECT_EQ(setup.Wait(20000), c.Code);
        EXPECT_FALSE(platform::DirectoryExists(kTarget));
    }
}

// /SILENT: the window shows the progress page only and closes itself.
TEST_F(SilentE2ETest, SilentShowsOnlyTheProgressPageAndClosesItself) {
    WriteFileBytes(Work() + "www\\modes\\main.slow", "");
    TStartedSetup setup("/SILENT /SUPPRESSMSGBOXES");
    std::vector<int> pages;
    bool shot = false;
    auto poll = [&] {
        TWizardForm form = TWizardForm::Find(setup.Id(), 0);
        if (!form || !IsWindowVisible(form.Handle())) return;
        // -1 while one page replaces another (both shown for an instant)
        // and while the window goes.
        const int page = form.VisiblePage();
        if (page != -1 && (pages.empty() || pages.back() != page)) pages.push_back(page);
        if (page == setup::pgInstallMain && !shot)
            shot = ScreenShot(form.Handle(), Work() + "shots\\silent-progress.bmp");
    };
    EXPECT_EQ(setup.Wait(kRunMs, poll), 0);
    DeleteFileW(Wide(Work() + "www\\modes\\main.slow").c_str());
    ASSERT_FALSE(pages.empty()) << "the window never showed";
    for (int page : pages)
        EXPECT_TRUE(page == setup::pgInstallMain || page == setup::pgEinde) << page;
    EXPECT_EQ(pages.front(), setup::pgInstallMain);
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
}

// A second start while one runs gives 7, interactively (the first window
// comes to the front) and silently (logged); the first is not disturbed.
TEST_F(SilentE2ETest, ASecondStartGivesSeven) {
    TStartedSetup first("");
    TWizardForm form = TWizardForm::Find(first.Id(), 20000);
    ASSERT_TRUE(form);
    // Minimised first, so that only the second start can bring it back.
    ShowWindow(form.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(form.Handle()));
    TStartedSetup interactive("");
    EXPECT_EQ(interactive.Wait(20000), 7);
    EXPECT_FALSE(IsIconic(form.Handle())) << "the first wizard was not brought back";
    EXPECT_EQ(GetForegroundWindow(), form.Handle());
    TStartedSetup silent("/VERYSILENT /SUPPRESSMSGBOXES /LOG=\"" + LogFile() + "\"");
    EXPECT_EQ(silent.Wait(20000), 7);
    const std::string log = ReadFileBytes(LogFile());
    EXPECT_NE(log.find("Another Setup.exe is already running"), std::string::npos) << log;
    EXPECT_NE(log.find("Exit code 7"), std::string::npos) << log;
    // The first wizard still answers; closed by its close box, it was
    // cancelled.
    EXPECT_EQ(form.VisiblePage(), setup::pgStart);
    form.CloseByTitleBar();
    EXPECT_EQ(first.Wait(20000), 2);
}

// The wizard ends with the same codes: a failed run (the options still
// preset its proxy), Cancel answered yes (in French, logging the question
// answered, and its English), a completed run.
TEST_F(SilentE2ETest, TheWizardEndsWithTheSameCodes) {
    const struct {
        const char* Name;
        std::string Arguments;
        bool Cancel;
        int Code;
        std::string English = {}; // the log's English line, when logged
    } cases[] = {
        {"a refused proxy", "/PROXY=127.0.0.1:1", false, 3},
        {"Cancel answered yes", "", true, 2},
        {"Cancel answered yes, in French", "/LANG=fr /LOG=\"" + LogFile() + "\"", true, 2,
         "The installation has not been completed. | Are you sure?\r\n"},
        {"installed", "", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp();
        TStartedSetup setup(c.Arguments);
        TWizardForm form = TWizardForm::Find(setup.Id(), 20000);
        ASSERT_TRUE(form);
        for (int page = setup::pgStart; page < setup::pgProxySettings; ++page) {
            form.Click(setup::idBtNext);
            ASSERT_TRUE(form.WaitForPage(page + 1, 5000));
        }
        form.Click(c.Cancel ? setup::idBtCancel : setup::idBtNext);
        if (c.Cancel || c.Code != 0) {
            TDialog box = WaitForDialog(setup.Id(), kRunMs);
            ASSERT_TRUE(box);
            EXPECT_TRUE(Answer(box, c.Cancel ? TAnswer::Yes : TAnswer::Enter, 5000));
        }
        ASSERT_TRUE(form.WaitForPage(c.Code == 0 ? setup::pgEinde : setup::pgAbort, kRunMs));
        form.Click(setup::idBtFinish);
        EXPECT_EQ(setup.Wait(20000), c.Code);
        if (c.English.empty()) continue;
        const std::string log = ReadFileBytes(LogFile());
        EXPECT_NE(log.find("  Message shown: L'installation n'est pas terminée. | "),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("  Message in English: " + c.English), std::string::npos) << log;
    }
}

// Without arguments no log appears anywhere: not in the temporary folder.
TEST_F(SilentE2ETest, NoArgumentsNoLog) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string folder = platform::win32::Narrow(temp);
    const std::vector<std::string> before = FilesIn(folder);
    TStartedSetup setup("");
    TWizardForm form = TWizardForm::Find(setup.Id(), 20000);
    ASSERT_TRUE(form);
    form.CloseByTitleBar();
    EXPECT_EQ(setup.Wait(20000), 2);
    EXPECT_EQ(FilesIn(folder), before);
    // /LOG alone writes the numbered file there.
    TStartedSetup logged("/VERYSILENT /SUPPRESSMSGBOXES /LOG /PROXY=127.0.0.1:1");
    EXPECT_EQ(logged.Wait(kRunMs), 3);
    std::vector<std::string> after = FilesIn(folder);
    bool found = false;
    for (const std::string& name : after)
        found |= name.rfind("Setup Log ", 0) == 0 && name.find(" #") != std::string::npos;
    EXPECT_TRUE(found);
}

// A silent run killed during the download leaves a log whose last line
// names the download in progress.
TEST_F(SilentE2ETest, AKilledRunLeavesALogEndingAtTheDownload) {
    WriteFileBytes(Work() + "www\\modes\\main.slow", "");
    TStartedSetup setup("/VERYSILENT /SUPPRESSMSGBOXES /LOG=\"" + LogFile() + "\"");
    const ULONGLONG end = GetTickCount64() + 30000;
    while (ReadFileBytes(LogFile()).find("main.zip: HTTP/1.1 200 OK") == std::string::npos &&
           GetTickCount64() < end)
        Sleep(50);
    setup.Kill();
    DeleteFileW(Wide(Work() + "www\\modes\\main.slow").c_str());
    std::string log = ReadFileBytes(LogFile());
    ASSERT_GE(log.size(), 2u);
    log.resize(log.size() - 2);
    const std::string last = log.substr(log.rfind('\n') + 1);
    EXPECT_NE(last.find("zividezeru/Files/main.zip"), std::string::npos) << last;
}

} // namespace
