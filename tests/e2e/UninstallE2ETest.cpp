// An installation that lives on the machine: a program still open during an
// upgrade, the entry among the installed programs as Wine's own uninstaller
// lists it, and the removal it starts, with and without a window. Runs
// through run-install-e2e.sh like install_e2e (same servers, variables and
// drive letters; see InstallE2ETest.cpp).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "setup/win32/ControlIds.h"
#include "tests/TestSupport.h"
#include "tests/archive/zip/ZipTestSupport.h"
#include "tests/e2e/InstallDriver.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;
using platform::win32::Narrow;
using platform::win32::Wide;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000, kRunMs = 60000;
const std::string kLink = kDesktop + "\\Torvelin.lnk";
const wchar_t* const kEntry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Torvelin";
const wchar_t* const kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The program files of the demo release, as the two archives hold them.
const std::vector<std::string> kProgramFiles = {"ARTIKELEN.CSV", "HANDLEIDING.TXT", "LEESMIJ.TXT",
                                                "TORVELIN.EXE", "VERSIE.TXT"};


std::string EntryValue(const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, kEntry, name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return "<none>";
    return Narrow(buffer);
}
bool EntryExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kEntry, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Runs a command line to its end; its standard output, and its exit code.
std::string RunToEnd(const std::wstring& commandLine, DWORD& exitCode, DWORD timeoutMs = kRunMs) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &sa, 0)) return {};
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    exitCode = 255;
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(write);
    std::string out;
    if (started) {
        char buffer[4096];
        for (DWORD n; ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0;)
            out.append(buffer, n);
        WaitForSingleObject(pi.hProcess, timeoutMs);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(read);
    return out;
}

// A command started and left to run; ended, if still running, when it goes.
class TCommand {
  public:
    explicit TCommand(std::wstring commandLine) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &si, &FInfo))
            FInfo = PROCESS_INFORMATION{};
    }
    ~TCommand() {
        if (!FInfo.hProcess) return;
        if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(FInfo.hProcess, 255);
        CloseHandle(FInfo.hThread);
        CloseHandle(FInfo.hProcess);
    }
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;
    bool Started() const { return FInfo.hProcess != nullptr; }
    bool WaitForExit(DWORD ms) const {
        return WaitForSingleObject(FInfo.hProcess, ms) == WAIT_OBJECT_0;
    }

  private:
    PROCESS_INFORMATION FInfo{};
};

bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& done) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50))
        if (done()) return true;
    return done();
}

// A dialog of any process but this one (the uninstaller runs as a copy of
// itself whose id the test does not know).
TDialog WaitForAnyDialog(DWORD timeoutMs) {
    struct TFind {
        DWORD Pid = 0;
    } find;
    WaitUntil(timeoutMs, [&] {
        EnumWindows(
            [](HWND wnd, LPARAM param) -> BOOL {
                DWORD pid = 0;
                GetWindowThreadProcessId(wnd, &pid);
                wchar_t cls[16] = {};
                GetClassNameW(wnd, cls, 16);
                if (pid == GetCurrentProcessId() || !IsWindowVisible(wnd) ||
                    lstrcmpW(cls, L"#32770") != 0)
                    return TRUE;
                reinterpret_cast<TFind*>(param)->Pid = pid;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&find));
        return find.Pid != 0;
    });
    return find.Pid ? WaitForDialog(find.Pid, kStepMs) : TDialog{};
}

class UninstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

    void SetUp() override {
        if (platform::DirectoryExists(kTarget)) platform::DeleteTree(kTarget);
        ASSERT_FALSE(platform::DirectoryExists(kTarget));
        int error = 0;
        platform::CreateDirectoryChain(kDesktop, error);
        DeleteFileW(Wide(kLink).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, kEntry);
        SetCurrentDirectoryW(L"C:\\");
        SetEnvironmentVariableW(L"LANG", L"nl_BE.UTF-8");
    }

    void Serve() {
        if (FKeepServed) return;
        for (const char* name : {"main.zip", "upgrade.zip"})
            ASSERT_TRUE(CopyFileW(Wide(Work() + "archives\\" + name).c_str(),
                                  Wide(Served(name)).c_str(), FALSE));
        if (!Env("INSTALL_E2E_SIGNED").empty()) {
            ASSERT_TRUE(CopyFileW(Wide(Work() + "archives\\release.txt").c_str(),
                                  Wide(Served("release.txt")).c_str(), FALSE));
        }
    }

    // Starts Setup.exe, walks it to page 3 and presses Next, with the
    // desktop the shortcut goes to.
    void StartRun() {
        ASSERT_NO_FATAL_FAILURE(Serve());
        FProcess = std::make_unique<TSetupProcess>(Env("SETUP_EXE", "B:\\setup\\Setup.exe"));
        ASSERT_TRUE(FProcess->Started());
        FForm = TWizardForm::Find(FProcess->Id(), kStartMs);
        ASSERT_TRUE(FForm) << "no wizard form";
        for (int p = 1; p < 3; ++p) {
            FForm.Click(setup::idBtNext);
            ASSERT_TRUE(FForm.WaitForPage(p + 1, kStepMs));
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring desktop = Wide(kDesktop);
        RegSetValueExW(key, L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(desktop.c_str()),
                       static_cast<DWORD>((desktop.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        FForm.Click(setup::idBtNext);
    }

    // Waits for the run's end page (7) or a dialog, whichever comes first.
    TDialog WaitForEndOrDialog() {
        HWND einde = FForm.PageWindow(7);
        for (const DWORD start = GetTickCount(); GetTickCount() - start < kRunMs;) {
            if (IsWindowVisible(einde)) return {};
            if (TDialog d = WaitForDialog(FProcess->Id(), 50)) return d;
        }
        ADD_FAILURE() << "the run did not end";
        return {};
    }

    void InstallOnce() {
        ASSERT_NO_FATAL_FAILURE(StartRun());
        TDialog d = WaitForEndOrDialog();
        ASSERT_FALSE(d) << d.Caption << ": " << d.Text;
        FForm.Sync();
        ASSERT_EQ(FForm.Read().Page, 7);
        FProcess.reset();
    }

    std::unique_ptr<TSetupProcess> FProcess;
    TWizardForm FForm;
    bool FKeepServed = false; // the test serves archives of its own
};

// The temporary files of an unpack in the target folder.
std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(kTarget + "~arc*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do
        names.push_back(Narrow(fd.cFileName));
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// Torvelin open from the target folder while Setup runs again: the question
// names the program and the file; Cancel ends on the abort page with every
// old file as it was; Retry once the program has ended completes the run.
TEST_F(UninstallTest, AProgramStillOpenIsNamedAndNothingIsReplacedUntilItCloses) {
    ASSERT_NO_FATAL_FAILURE(InstallOnce());
    std::vector<std::string> before;
    for (const std::string& name : kProgramFiles)
        before.push_back(ReadFileBytes(kTarget + name));

    for (bool retry : {false, true}) {
        SCOPED_TRACE(retry ? "Retry" : "Cancel");
        TSetupProcess torvelin(kTarget + "TORVELIN.EXE");
        ASSERT_TRUE(torvelin.Started());
        ASSERT_TRUE(WaitForDialog(torvelin.Id(), kStartMs)) << "the demo program did not start";
        ASSERT_NO_FATAL_FAILURE(StartRun());
        TDialog question = WaitForEndOrDialog();
        ASSERT_TRUE(question) << "no question";
        EXPECT_NE(question.Text.find("TORVELIN.EXE gebruikt C:\\TORVELINNEW\\TORVELIN.EXE"),
                  std::string::npos)
            << question.Text;
        EXPECT_EQ(question.Buttons, (std::vector<std::string>{"&Opnieuw", "Annuleren"}));
        ScreenShot(nullptr, Work() + "shots\\in-use-question.bmp");
        for (size_t i = 0; i < kProgramFiles.size(); ++i)
            EXPECT_EQ(ReadFileBytes(kTarget + kProgramFiles[i]), before[i]) << kProgramFiles[i];
        if (!retry) {
            ASSERT_TRUE(Answer(question, TAnswer::Escape, kStepMs));
            ASSERT_TRUE(FForm.WaitForPage(8, kStepMs)) << "not on the abort page";
            EXPECT_FALSE(WaitForDialog(FProcess->Id(), 1000)) << "an error box after Cancel";
            for (size_t i = 0; i < kProgramFiles.size(); ++i)
                EXPECT_EQ(ReadFileBytes(kTarget + kProgramFiles[i]), before[i]) << kProgramFiles[i];
        } else {
            TerminateProcess(torvelin.Handle(), 0);
            ASSERT_TRUE(torvelin.WaitForExit(kStepMs));
            ASSERT_TRUE(Answer(question, TAnswer::Enter, kStepMs));
            TDialog after = WaitForEndOrDialog();
            EXPECT_FALSE(after) << after.Text;
            FForm.Sync();
            EXPECT_EQ(FForm.Read().Page, 7);
        }
        FProcess.reset();
        TerminateProcess(torvelin.Handle(), 0);
    }

    // A silent run has nobody to ask: it ends with the unpack's exit code and
    // the program and file in its log, every old file as it was.
    TSetupProcess torvelin(kTarget + "TORVELIN.EXE");
    ASSERT_TRUE(torvelin.Started());
    ASSERT_TRUE(WaitForDialog(torvelin.Id(), kStartMs)) << "the demo program did not start";
    const std::string log = Work() + "in-use-silent.log";
    DeleteFileW(Wide(log).c_str());
    DWORD code = 0;
    RunToEnd(L"\"" + Wide(Env("SETUP_EXE", "B:\\setup\\Setup.exe")) +
                 L"\" /VERYSILENT /SUPPRESSMSGBOXES /LOG=\"" + Wide(log) + L"\"",
             code);
    EXPECT_EQ(code, 5u);
    const std::string text = ReadFileBytes(log);
    EXPECT_NE(text.find("TORVELIN.EXE gebruikt C:\\TORVELINNEW\\TORVELIN.EXE"), std::string::npos)
        << text;
    for (size_t i = 0; i < kProgramFiles.size(); ++i)
        EXPECT_EQ(ReadFileBytes(kTarget + kProgramFiles[i]), before[i]) << kProgramFiles[i];
    TerminateProcess(torvelin.Handle(), 0);
}

// The entry as a program that no one here wrote sees it, and the removal it
// starts: the files the installations wrote, the shortcut, TAAL and the
// entry go; a file the test made and one it changed stay byte for byte. The
// quiet uninstall string does the same without any window.
TEST_F(UninstallTest, WinesUninstallerListsTheEntryAndRemovesWhatWasInstalled) {
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "QuietUninstallString" : "uninstaller --remove");
        ASSERT_NO_FATAL_FAILURE(SetUp());
        ASSERT_NO_FATAL_FAILURE(InstallOnce());
        EXPECT_EQ(EntryValue(L"DisplayName"), "Torvelin");
        EXPECT_EQ(EntryValue(L"Publisher"), "Kelmar BVBA");
        EXPECT_EQ(EntryValue(L"InstallLocation"), kTarget);
        // The release's serial: the demo release is signed with the build's
        // minimum, 3; a build without release keys knows no version.
        EXPECT_EQ(EntryValue(L"DisplayVersion"), Signed() ? "3" : "<none>");
        DWORD code = 0;
        const std::string list = RunToEnd(L"uninstaller.exe --list", code);
        EXPECT_NE(list.find("Torvelin"), std::string::npos) << list;
        std::cout << "uninstaller --list:\n" << list;

        WriteFileBytes(kTarget + "EIGEN.TXT", "made by the user");
        WriteFileBytes(kTarget + "LEESMIJ.TXT", "changed by the user");
        if (quiet) {
            const std::string line = EntryValue(L"QuietUninstallString");
            RunToEnd(Wide(line), code);
            EXPECT_EQ(code, 0u);
            EXPECT_FALSE(WaitForAnyDialog(1000)) << "a window in a quiet uninstall";
        } else {
            // Started and left to itself: it runs the uninstaller, which asks
            // first and then reports what stayed.
            TCommand remover(L"uninstaller.exe --remove Torvelin");
            ASSERT_TRUE(remover.Started());
            TDialog ask = WaitForAnyDialog(kRunMs);
            ASSERT_TRUE(ask) << "no question";
            ScreenShot(nullptr, Work() + "shots\\uninstall-question.bmp");
            EXPECT_NE(ask.Text.find("Torvelin"), std::string::npos) << ask.Text;
            Answer(ask, TAnswer::Yes, kStepMs);
            TDialog done = WaitForAnyDialog(kRunMs);
            ASSERT_TRUE(done) << "no report";
            ScreenShot(nullptr, Work() + "shots\\uninstall-report.bmp");
            EXPECT_NE(done.Text.find(kTarget + "LEESMIJ.TXT"), std::string::npos) << done.Text;
            EXPECT_NE(done.Text.find(kTarget + "EIGEN.TXT"), std::string::npos) << done.Text;
            Answer(done, TAnswer::Enter, kStepMs);
            EXPECT_TRUE(remover.WaitForExit(kStepMs));
        }
        ASSERT_TRUE(WaitUntil(kRunMs, [] { return !EntryExists(); })) << "the entry stayed";
        EXPECT_EQ(ReadFileBytes(kTarget + "EIGEN.TXT"), "made by the user");
        EXPECT_EQ(ReadFileBytes(kTarget + "LEESMIJ.TXT"), "changed by the user");
        for (const std::string& name : kProgramFiles)
            if (name != "LEESMIJ.TXT") {
                EXPECT_FALSE(platform::FileExists(kTarget + name)) << name;
            }
        for (const char* name : {"UNINSTALL.EXE", "INSTALL.REC", "SETUP.INI"})
            EXPECT_FALSE(platform::FileExists(kTarget + name)) << name;
        EXPECT_FALSE(platform::FileExists(kLink));
    }
}

// A run killed while it writes a large entry over the old program: the old
// file stays byte for byte, and the next run removes the temporary file.
TEST_F(UninstallTest, ARunKilledWhileReplacingAFileLeavesTheOldOneWhole) {
    ASSERT_NO_FATAL_FAILURE(InstallOnce());
    const std::string old = ReadFileBytes(kTarget + "TORVELIN.EXE");
    ASSERT_FALSE(old.empty());
    // 128 MiB, stored: long enough to be caught while it is written.
    std::string large(128u << 20, '\0');
    for (size_t i = 0; i < large.size(); i += 4096)
        large[i] = static_cast<char>(i >> 12);
    WriteFileBytes(Served("main.zip"), ziptest::StoredArchive({{"TORVELIN.EXE", large}}));
    large.clear();
    if (!Env("INSTALL_E2E_SIGNED").empty()) {
        ASSERT_TRUE(CopyFileW(Wide(Work() + "archives\\upgrade.zip").c_str(),
                              Wide(Served("upgrade.zip")).c_str(), FALSE));
        ASSERT_TRUE(RealInput(Work() + "sign\\", "sign current 3")) << "not signed";
    }
    FKeepServed = true;
    ASSERT_NO_FATAL_FAILURE(StartRun());
    ASSERT_TRUE(WaitUntil(kRunMs, [] { return !Leftovers().empty(); }))
        << "the run was never seen writing";
    TerminateProcess(FProcess->Handle(), 9);
    ASSERT_TRUE(FProcess->WaitForExit(kStepMs));
    FProcess.reset();
    EXPECT_EQ(Leftovers().size(), 1u);
    EXPECT_TRUE(ReadFileBytes(kTarget + "TORVELIN.EXE") == old) << "the old program changed";

    FKeepServed = false;
    ASSERT_NO_FATAL_FAILURE(InstallOnce());
    EXPECT_TRUE(Leftovers().empty());
}

} // namespace
