// What the user follows and can do during the installation run, under Wine
// against nginx sending at about 100 kB/s: the status line under the bar in
// each language, and Annuleer (and Escape, the close box) during a download,
// a stall of a silent server and an unpack, each answered within the times a
// user expects, timed here with the performance counter.
//
// run-install-e2e.sh prepares the work folder and the servers (see
// InstallE2ETest.cpp for its variables); archives\main-2m.zip is main.zip with
// 2 MiB more, archives\main-many.zip with 3000 small entries more
// (MANY0001.TXT ..., each "entry NNNN" on 200 lines), archives\main-fill.zip
// LEESMIJ.TXT and ARTIKELEN.CSV of main.zip and DATA.BIN, 256 KiB stored
// (their sources in archives\fillsrc\).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "RangeServer.h"
#include "ScriptedServer.h"
#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "runtime/ScopeGuard.h"
#include "setup/win32/ControlIds.h"
#include "tests/TestSupport.h"
#include "tests/e2e/InstallDriver.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;
using platform::win32::Narrow;
using platform::win32::Wide;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000, kRunMs = 90000;
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Milliseconds on the performance counter.
double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool WaitFor(DWORD timeoutMs, const std::function<bool()>& condition) {
    const double end = NowMs() + timeoutMs;
    while (NowMs() < end) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

void SetDesktop(const std::string& folder) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kShellFolders).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring w = Wide(folder);
    RegSetValueExW(key, L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The body bytes nginx sent for the last request of main.zip, -1 before it
// logged one.
int64_t LoggedMainBytes(size_t logFrom) {
    const std::string log = ReadFileBytes(Work() + "logs\\nginx-access.log");
    const std::string request = "main.zip HTTP/1.1\" 200 ";
    const size_t at = log.rfind(request);
    if (at == std::string::npos || at < logFrom) return -1;
    return std::atoll(log.c_str() + at + request.size());
}

class RunControlTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

    void SetUp() override {
        if (!Env("INSTALL_E2E_SERVER_DOWN").empty()) GTEST_SKIP() << "no download server";
        Reset("main.zip");
    }
    void TearDown() override {
        FProcess.reset();
        SetEnvironmentVariableW(L"LANG", L"C.UTF-8");
        DeleteFileW(Wide(Marker("main.rate100")).c_str());
    }

    // A clean target and desktop, and archive (of archives\) served as main.zip,
    // signed into the served manifest when the build checks one.
    void Reset(const std::string& archive) {
        FProcess.reset();
        if (platform::DirectoryExists(kTarget)) platform::DeleteTree(kTarget);
        int error = 0;
        platform::CreateDirectoryChain(kDesktop, error);
        DeleteFileW(Wide(kDesktop + "\\Torvelin.lnk").c_str());
        SetEnvironmentVariableW(L"SETUP_TEST_TIMEOUT_MS", nullptr);
        SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", nullptr);
        SetEnvironmentVariableW(L"SETUP_TEST_TASKBAR_LOG", Wide(TaskbarLog()).c_str());
        DeleteFileW(Wide(TaskbarLog()).c_str());
        CreateDirectoryW(Wide(Work() + "www\\modes").c_str(), nullptr);
        for (const char* m : {"main.204", "main.slow", "main.404big", "main.rate100"})
            DeleteFileW(Wide(Marker(m)).c_str());
        CopyFileW(Wide(Work() + "archives\\" + archive).c_str(), Wide(Served("main.zip")).c_str(),
                  FALSE);
        CopyFileW(Wide(Work() + "archives\\upgrade.zip").c_str(),
                  Wide(Served("upgrade.zip")).c_str(), FALSE);
        if (Signed()) {
            CopyFileW(Wide(Work() + "archives\\release.txt").c_str(),
                      Wide(Served("release.txt")).c_str(), FALSE);
            ASSERT_TRUE(RealInput(Work() + "sign\\", "sign current 3")) << "not signed";
        }
    }

    // Starts Setup.exe in a language, walks it to page 3 and, with a proxy
    // port, sets the proxy.
    void StartAtProxyPage(const std::string& lang = "C.UTF-8", int proxyPort = 0,
                          char drive = 'C') {
        SetEnvironmentVariableW(L"LANG", Wide(lang).c_str());
        FProcess = std::make_unique<TSetupProcess>(Env("SETUP_EXE", "B:\\setup\\Setup.exe"));
        ASSERT_TRUE(FProcess->Started()) << "CreateProcessW: error " << FProcess->StartError();
        FForm = TWizardForm::Find(FProcess->Id(), kStartMs);
        ASSERT_TRUE(FForm) << "no wizard form";
        for (int p = 1; p < 3; ++p) {
            if (p == 2 && drive != 'C') ASSERT_NO_FATAL_FAILURE(ChooseDrive(drive));
            FForm.Click(setup::idBtNext);
            ASSERT_TRUE(FForm.WaitForPage(p + 1, kStepMs));
        }
        if (proxyPort) {
            SendMessageW(FForm.PageControl(3, setup::idProxyUse), BM_CLICK, 0, 0);
            SendMessageW(FForm.PageControl(3, setup::idProxyServer), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(L"127.0.0.1"));
            SendMessageW(FForm.PageControl(3, setup::idProxyPoort), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(Wide(std::to_string(proxyPort)).c_str()));
        }
        FForm.Sync();
        ASSERT_NO_FATAL_FAILURE(SetDesktop(kDesktop));
        FForm.Click(setup::idBtNext);
        ASSERT_TRUE(WaitFor(kStepMs, [&] { return IsWindowVisible(FForm.PageWindow(4)); }));
    }

    // Picks the drive's entry on page 2 as the user does: the selection
    // moves and the list tells its parent.
    void ChooseDrive(char drive) {
        HWND combo = FForm.PageControl(2, setup::idInstallDrive);
        const std::string letter = std::string(1, drive) + ":";
        int index = -1;
        const std::vector<std::string> entries = ComboItems(combo);
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].find(letter) != std::string::npos) index = static_cast<int>(i);
        ASSERT_GE(index, 0) << "no entry for drive " << letter;
        SendMessageW(combo, CB_SETCURSEL, index, 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(setup::idInstallDrive, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        FForm.Sync();
    }

    static std::string TaskbarLog() { return Work() + "taskbar.log"; }
    // The calls made on the taskbar button, without their results (Wine has
    // no taskbar that takes them), values as "value": the states in order.
    static std::vector<std::string> TaskbarCalls(int& values, bool& rising) {
        std::vector<std::string> calls;
        const std::string log = ReadFileBytes(TaskbarLog());
        values = 0, rising = true;
        uint64_t last = 0, lastTotal = 0;
        for (size_t at = 0, end; at < log.size(); at = end + 1) {
            end = log.find('\n', at);
            if (end == std::string::npos) end = log.size();
            const std::string line = log.substr(at, end - at);
            const std::string call = line.substr(0, line.rfind(' '));
            if (call.rfind("value ", 0) == 0) {
                // Within one transfer (one total) the value only grows; 0
                // is the bar emptied at a transfer's end.
                char* rest = nullptr;
                const uint64_t done = std::strtoull(call.c_str() + 6, &rest, 10);
                const uint64_t total = std::strtoull(rest, nullptr, 10);
                if (total != lastTotal) last = 0;
                rising = rising && (done >= last || done == 0);
                last = done, lastTotal = total, ++values;
                if (calls.empty() || calls.back() != "value") calls.push_back("value");
            } else {
                calls.push_back(call);
            }
        }
        return calls;
    }

    std::string Status() const { return WindowText(FForm.PageControl(4, setup::idStatusLine)); }
    bool Hung() const { return IsHungAppWindow(FForm.Handle()); }

    // Reads the status line until until() holds for it (or the run leaves
    // the progress page); every distinct text, in order.
    std::vector<std::string> ReadStatus(const std::function<bool(const std::string&)>& until,
                                        DWORD timeoutMs) {
        std::vector<std::string> seen;
        WaitFor(timeoutMs, [&] {
            EXPECT_FALSE(Hung()) << "the wizard counted as not responding";
            const std::string text = Status();
            if (!text.empty() && (seen.empty() || seen.back() != text)) seen.push_back(text);
            return until(text) || !IsWindowVisible(FForm.PageWindow(4));
        });
        return seen;
    }

    std::unique_ptr<TSetupProcess> FProcess;
    TWizardForm FForm;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The megabytes received in a download's status line, as its first number
// after the archive's place; -1 when there is none.
double ReceivedMB(const std::string& text, char decimal) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return -1;
    size_t at = text.find_first_of("0123456789", colon);
    if (at == std::string::npos) return -1;
    std::string number;
    for (;
         at < text.size() && (isdigit(static_cast<unsigned char>(text[at])) || text[at] == decimal);
         ++at)
        number += text[at] == decimal ? '.' : text[at];
    return std::atof(number.c_str());
}

// The status line during a download at 100 kB/s in each language: the
// archive's name and place, the decimal mark, a received size that only
// grows and a time left that appears after about two seconds; then Cancel
// and Yes.
TEST_F(RunControlTest, StatusLineDuringADownloadInEachLanguage) {
    struct Case {
        const char* Lang;
        const char* Place;    // main.zip and its place
        const char* Of;       // between the received size and the total
        const char* TimeLeft; // a word of the time left
        char Decimal;
        const char* Shot;
    } cases[] = {
        {"nl_BE.UTF-8", "main.zip, 1 van 2: ", " MB van 2,", "nog ", ',', "status-nl"},
        {"fr_FR.UTF-8", "main.zip, 1 sur 2 : ", " Mo sur 2,", "encore ", ',', "status-fr"},
        {"en_GB.UTF-8", "main.zip, 1 of 2: ", " MB of 2.", " left", '.', "status-en"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Lang);
        Reset("main-2m.zip");
        WriteFileBytes(Marker("main.rate100"), "");
        ASSERT_NO_FATAL_FAILURE(StartAtProxyPage(c.Lang));
        std::vector<std::string> seen = ReadStatus(
            [&](const std::string& t) {
                return Has(t, c.TimeLeft) && ReceivedMB(t, c.Decimal) > 0.6;
            },
            30000);
        ScreenShot(FForm.Handle(), Work() + "shots\\" + c.Shot + ".bmp");
        ASSERT_FALSE(seen.empty());
        std::string trace;
        double last = -1;
        bool timeLeft = false;
        for (const std::string& t : seen) {
            trace += t + "\n";
            if (!Has(t, c.Place)) continue;
            EXPECT_TRUE(Has(t, c.Of)) << t;
            const double mb = ReceivedMB(t, c.Decimal);
            EXPECT_GE(mb, last) << t;
            last = mb;
            timeLeft = timeLeft || Has(t, c.TimeLeft);
        }
        std::cout << c.Lang << ":\n" << trace;
        EXPECT_TRUE(timeLeft) << trace;
        EXPECT_GT(last, 0.5) << trace;
        FForm.Click(setup::idBtCancel);
        TDialog question = WaitForDialog(FProcess->Id(), kStepMs);
        ASSERT_TRUE(question);
        ASSERT_TRUE(Answer(question, TAnswer::Yes, kStepMs));
        EXPECT_TRUE(FForm.WaitForPage(8, kStepMs));
    }
}

// A line that drops the connection after every 1 MiB of a body: the status
// line says that it reconnects, which attempt and the pause left, and the
// download then goes on to a complete installation.
TEST_F(RunControlTest, StatusLineDuringAResume) {
    Reset("main-2m.zip");
    const std::string main = ReadFileBytes(Served("main.zip")),
                      upgrade = ReadFileBytes(Served("upgrade.zip")),
                      manifest = Signed() ? ReadFileBytes(Served("release.txt")) : "";
    testing_support::RangeServer proxy([&](const testing_support::RangeRequest& r) {
        if (r.Target.find("release.txt") != std::string::npos)
            return testing_support::FileReply(r, manifest, "\"r\"");
        const bool isMain = r.Target.find("main.zip") != std::string::npos;
        return testing_support::FileReply(r, isMain ? main : upgrade, isMain ? "\"m\"" : "\"u\"",
                                          1 << 20);
    });
    ASSERT_NO_FATAL_FAILURE(StartAtProxyPage("C.UTF-8", proxy.Port()));
    std::vector<std::string> seen =
        ReadStatus([](const std::string& t) { return Has(t, "uitpakken"); }, 60000);
    std::string trace;
    // The loopback line carries each MiB faster than a redraw: what is read
    // is the wait before each attempt, which counts on.
    bool second = false, third = false;
    for (const std::string& t : seen) {
        trace += t + "\n";
        second = second || Has(t, "main.zip: verbinding verbroken, poging 2 over 1 seconde");
        third = third || (second && Has(t, "main.zip: verbinding verbroken, poging 3 over "));
    }
    std::cout << trace;
    EXPECT_TRUE(second) << trace;
    EXPECT_TRUE(third) << trace;
    ASSERT_TRUE(WaitFor(kRunMs, [&] { return IsWindowVisible(FForm.PageWindow(7)); }));
    EXPECT_TRUE(ReadFileBytes(kTarget + "EXTRA.BIN") ==
                ReadFileBytes(Work() + "archives\\extrasrc\\EXTRA.BIN"));
    int values = 0;
    bool rising = false;
    const std::vector<std::string> calls = TaskbarCalls(values, rising);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "state paused"), calls.end());
}

enum class TGesture { Click, Escape, AltA, CloseBox };

// The Cancel question during the run, table-driven: where the run is when
// the user asks, how, and what the answer does.
TEST_F(RunControlTest, CancelDuringTheRun) {
    const std::string manyDir = Work() + "archives\\manysrc\\";
    const auto size2m =
        static_cast<int64_t>(ReadFileBytes(Work() + "archives\\main-2m.zip").size());
    struct Case {
        const char* Name;
        std::string Archive;
        bool Slow;  // 100 kB/s
        bool Stall; // through a proxy that sends half and then nothing
        TGesture Gesture;
        TAnswer Answer;
        std::function<bool(const std::string& status)> When;
        double StopBudgetMs; // from Yes to the abort page
    } cases[] = {
        {"download at 30 %, yes", "main-2m.zip", true, false, TGesture::Click, TAnswer::Yes,
         [&](const std::string& s) { return ReceivedMB(s, ',') >= 0.3 * size2m / (1 << 20); }, 500},
        {"download, no: the run completes", "main-2m.zip", true, false, TGesture::Click,
         TAnswer::No, [&](const std::string& s) { return ReceivedMB(s, ',') >= 0.3; }, 0},
        {"a silent server", "main.zip", false, true, TGesture::Click, TAnswer::Yes,
         [](const std::string& s) { return Has(s, "main.zip, 1 van 2"); }, 500},
        {"an unpack of many entries", "main-many.zip", false, false, TGesture::Click, TAnswer::Yes,
         [](const std::string& s) { return Has(s, "uitpakken: ") && Has(s, "MANY"); }, 300},
        {"Escape", "main-2m.zip", true, false, TGesture::Escape, TAnswer::Yes,
         [&](const std::string& s) { return ReceivedMB(s, ',') >= 0.3; }, 500},
        {"Alt+A", "main-2m.zip", true, false, TGesture::AltA, TAnswer::Yes,
         [&](const std::string& s) { return ReceivedMB(s, ',') >= 0.3; }, 500},
        {"the close box", "main-2m.zip", true, false, TGesture::CloseBox, TAnswer::Yes,
         [&](const std::string& s) { return ReceivedMB(s, ',') >= 0.3; }, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Reset(c.Archive);
        if (c.Slow) WriteFileBytes(Marker("main.rate100"), "");
        std::unique_ptr<testing_support::ScriptedServer> proxy;
        if (c.Stall) {
            // The manifest from nginx's copy, then half an archive and silence.
            using namespace testing_support;
            const std::string manifest = ReadFileBytes(Served("release.txt"));
            ConnectionScript script;
            if (Signed())
                script = {ReadRequest(),
                          Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                               std::to_string(manifest.size()) + "\r\n\r\n" + manifest)};
            const std::string body = ReadFileBytes(Served("main.zip"));
            script.insert(script.end(), {ReadRequest(),
                                         Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" +
                                              body.substr(0, body.size() / 2)),
                                         WaitForClose(30000)});
            proxy = std::make_unique<ScriptedServer>(std::vector<ConnectionScript>{script});
        }
        const size_t logFrom = ReadFileBytes(Work() + "logs\\nginx-access.log").size();
        ASSERT_NO_FATAL_FAILURE(StartAtProxyPage("C.UTF-8", proxy ? proxy->Port() : 0));
        std::vector<std::string> seen = ReadStatus(c.When, 30000);
        ASSERT_FALSE(seen.empty());
        ASSERT_TRUE(c.When(seen.back())) << seen.back();
        if (c.Stall) Sleep(1500); // the server is silent by now

        const double asked = NowMs();
        switch (c.Gesture) {
        case TGesture::Click:
            FForm.Click(setup::idBtCancel);
            break;
        case TGesture::Escape:
            PostMessageW(FForm.Button(setup::idBtNext), WM_KEYDOWN, VK_ESCAPE, 1);
            break;
        case TGesture::AltA:
            PostMessageW(FForm.Button(setup::idBtNext), WM_SYSKEYDOWN, 'A', 0x20000001);
            break;
        case TGesture::CloseBox:
            FForm.CloseByTitleBar();
            break;
        }
        TDialog question = WaitForDialog(FProcess->Id(), kStepMs);
        const double questionMs = NowMs() - asked;
        ASSERT_TRUE(question) << "no question";
        EXPECT_LT(questionMs, 300) << "the question took " << questionMs << " ms";
        EXPECT_FALSE(Hung());
        // Answered as a click on the button would, timed from the click.
        const double answered = NowMs();
        PostMessageW(GetDlgItem(question.Handle, c.Answer == TAnswer::Yes ? IDYES : IDNO), BM_CLICK,
                     0, 0);
        if (c.Answer == TAnswer::No) {
            ASSERT_TRUE(WaitFor(kRunMs, [&] { return IsWindowVisible(FForm.PageWindow(7)); }))
                << "the run did not complete after no";
            EXPECT_TRUE(ReadFileBytes(kTarget + "EXTRA.BIN") ==
                        ReadFileBytes(Work() + "archives\\extrasrc\\EXTRA.BIN"));
            EXPECT_TRUE(platform::FileExists(kTarget + "SETUP.INI"));
            int values = 0;
            bool rising = false;
            const std::vector<std::string> calls = TaskbarCalls(values, rising);
            ASSERT_GE(calls.size(), 3u);
            EXPECT_EQ(calls.front(), "attach");
            EXPECT_EQ(calls[1], "state normal");
            EXPECT_EQ(calls.back(), "state none");
            EXPECT_GE(values, 10);
            EXPECT_TRUE(rising);
            std::cout << c.Name << ": " << values << " taskbar values, the first call "
                      << ReadFileBytes(TaskbarLog()).substr(0, 14) << "\n";
            std::cout << c.Name << ": question after " << questionMs << " ms\n";
            continue;
        }
        ASSERT_TRUE(WaitFor(kStepMs, [&] { return IsWindowVisible(FForm.PageWindow(8)); }));
        const double stopMs = NowMs() - answered;
        FForm.Sync();
        EXPECT_LT(stopMs, c.StopBudgetMs) << "the abort page took " << stopMs << " ms";
        EXPECT_FALSE(WaitForDialog(FProcess->Id(), 500)) << "a box after the user chose to stop";
        TWizardView v = FForm.Read();
        EXPECT_EQ(v.Page, 8);
        EXPECT_EQ(v.Front, TFront::Finish);
        EXPECT_FALSE(v.CancelVisible);
        EXPECT_FALSE(platform::FileExists(kTarget + "main.zip"));
        EXPECT_FALSE(platform::FileExists(kTarget + "SETUP.INI"));
        EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
        int values = 0;
        bool rising = false;
        EXPECT_EQ(TaskbarCalls(values, rising).back(), "state none");
        if (c.Slow) {
            // nginx logs the request once it finds the connection closed.
            int64_t sent = -1;
            WaitFor(3000, [&] { return (sent = LoggedMainBytes(logFrom)) >= 0; });
            EXPECT_GE(sent, 0) << "nginx never saw the connection end";
            EXPECT_LT(sent, size2m / 2);
            std::cout << c.Name << ": nginx sent " << sent << " of " << size2m << " bytes\n";
        }
        if (c.Archive == "main-many.zip") {
            // Every entry that is there is whole: none was left half written.
            int present = 0;
            for (const std::string& name : FilesIn(kTarget)) {
                if (name.rfind("MANY", 0) != 0) continue;
                ++present;
                EXPECT_EQ(ReadFileBytes(kTarget + name), ReadFileBytes(manyDir + name)) << name;
            }
            EXPECT_LT(present, 3000);
            std::cout << c.Name << ": " << present << " of 3000 entries unpacked\n";
        }
        std::cout << c.Name << ": question after " << questionMs << " ms, abort page " << stopMs
                  << " ms after yes\n";
    }
}

// Not enough room on the target drive (a small file system of the test's own
// as E:) is said before the download or the unpack, naming the drive, the
// megabytes needed and those free, and nothing is written.
TEST_F(RunControlTest, NotEnoughRoomIsSaidBeforeTheWait) {
    const std::string drive = Env("INSTALL_E2E_SMALL_DRIVE");
    if (drive.empty()) GTEST_SKIP() << "no small drive of the test's own";
    const std::string root = drive + ":\\", target = root + "TORVELINNEW\\";
    struct Case {
        const char* Name;
        const char* Archive;
        bool Downloaded; // the archive came in whole before the check
    } cases[] = {
        {"an archive larger than the drive", "main-2m.zip", false},
        {"content larger than the drive", "main-many.zip", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Reset(c.Archive);
        if (platform::DirectoryExists(target)) platform::DeleteTree(target);
        ASSERT_NO_FATAL_FAILURE(StartAtProxyPage("C.UTF-8", 0, drive[0]));
        TDialog box = WaitForDialog(FProcess->Id(), 30000);
        ASSERT_TRUE(box) << "no message";
        // What is free now, with an archive that came in whole on the drive.
        ULARGE_INTEGER free{};
        ASSERT_TRUE(GetDiskFreeSpaceExW(Wide(root).c_str(), &free, nullptr, nullptr));
        const uint64_t freeMB = free.QuadPart / (1024 * 1024);
        const std::string start = "Er is niet genoeg ruimte op schijf " + drive + ": (";
        EXPECT_EQ(box.Text.rfind(start, 0), 0u) << box.Text;
        const uint64_t neededMB = std::strtoull(box.Text.c_str() + start.size(), nullptr, 10);
        EXPECT_GT(neededMB, freeMB) << box.Text;
        EXPECT_NE(box.Text.find(" MB nodig, " + std::to_string(freeMB) + " MB vrij)."),
                  std::string::npos)
            << box.Text;
        ScreenShot(nullptr, Work() + "shots\\no-room-" +
                                std::string(c.Downloaded ? "unpack" : "download") + ".bmp");
        ASSERT_TRUE(Answer(box, TAnswer::Enter, kStepMs));
        EXPECT_TRUE(FForm.WaitForPage(8, kStepMs));
        // Nothing but the archive that had come in whole before its unpack.
        std::vector<std::string> files = FilesIn(target);
        if (c.Downloaded) {
            EXPECT_EQ(files, std::vector<std::string>{"main.zip"});
        } else {
            EXPECT_TRUE(files.empty()) << files.size() << " files";
        }
        std::cout << c.Name << ": " << box.Text << "\n";
    }
}

// Another program writing on the drive of file: takes all that is free with
// file, then gives back spare bytes. The bytes free afterwards, as the system
// counts them; -1 (with a failure) when the drive did not fill up as a full
// disk does.
int64_t FillDrive(const std::string& file, int64_t spare) {
    HANDLE h = CreateFileW(Wide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << file;
    if (h == INVALID_HANDLE_VALUE) return -1;
    // A page at a time, so that the last write that fits is a whole one.
    const std::string page(4096, 'f');
    int64_t written = 0;
    DWORD n = 0;
    while (WriteFile(h, page.data(), static_cast<DWORD>(page.size()), &n, nullptr) && n > 0)
        written += n;
    const DWORD error = GetLastError();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL)) << "the filler stopped otherwise";
    LARGE_INTEGER end;
    end.QuadPart = std::max<int64_t>(0, written - spare);
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    ULARGE_INTEGER free{};
    const std::string root = file.substr(0, 3);
    if (error != ERROR_DISK_FULL ||
        !GetDiskFreeSpaceExW(Wide(root).c_str(), &free, nullptr, nullptr))
        return -1;
    return static_cast<int64_t>(free.QuadPart);
}

// A drive that fills up during the unpack, after the room check passed: the
// error box names the entry that could not be written and says that the disk
// is full in the run's language, the entries before it stay whole, no part of
// it and no temporary file is left, and the run ends on the abort page.
//
// The other writer must come between the check and the entries' writes, and
// not by luck: an old LEESMIJ.TXT held open here makes the run ask, after
// its check and before it writes anything, to close the program that holds
// it. While that question is open the drive is filled (leaving room for the
// two small entries only), then the file is let go and Retry answered.
TEST_F(RunControlTest, ADiskThatFillsUpDuringTheUnpackIsNamedInTheLanguage) {
    const std::string drive = Env("INSTALL_E2E_SMALL_DRIVE");
    if (drive.empty()) GTEST_SKIP() << "no small drive of the test's own";
    const std::string root = drive + ":\\", target = root + "TORVELINNEW\\",
                      filler = root + "FILLER.BIN", source = Work() + "archives\\fillsrc\\";
    const int64_t dataSize = static_cast<int64_t>(ReadFileBytes(source + "DATA.BIN").size());
    ASSERT_GT(dataSize, 128 * 1024);
    const std::string data = target + "DATA.BIN";
    struct Case {
        const char* Lang;
        std::string Message;
        const char* Shot;
    } cases[] = {
        {"nl_BE.UTF-8",
         "Het bestand \"DATA.BIN\" uit main.zip kon niet worden uitgepakt: Kan niet schrijven "
         "naar bestand \"" +
             data + "\". Er is niet genoeg ruimte op de schijf.",
         "disk-full-nl"},
        {"fr_FR.UTF-8",
         "Le fichier \"DATA.BIN\" de main.zip n'a pas pu être décompressé : Impossible d'écrire "
         "dans le fichier \"" +
             data + "\". Il n'y a pas assez d'espace sur le disque.",
         "disk-full-fr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Lang);
        Reset("main-fill.zip");
        if (platform::DirectoryExists(target)) platform::DeleteTree(target);
        DeleteFileW(Wide(filler).c_str());
        rtl::TScopeExit clean([&] { DeleteFileW(Wide(filler).c_str()); });
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(target, error));
        WriteFileBytes(target + "LEESMIJ.TXT", "old\r\n");
        HANDLE held = CreateFileW(Wide(target + "LEESMIJ.TXT").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        rtl::TScopeExit release([&] {
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        });

        ASSERT_NO_FATAL_FAILURE(StartAtProxyPage(c.Lang, 0, drive[0]));
        TDialog question = WaitForDialog(FProcess->Id(), 30000);
        ASSERT_TRUE(question) << "no question";
        ASSERT_NE(question.Text.find(target + "LEESMIJ.TXT"), std::string::npos) << question.Text;
        ASSERT_EQ(FilesIn(target), (std::vector<std::string>{"LEESMIJ.TXT", "main.zip"}));

        const int64_t left = FillDrive(filler, 64 * 1024);
        ASSERT_GE(left, 0);
        ASSERT_LT(left, dataSize) << "DATA.BIN would still fit";
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        ASSERT_TRUE(Answer(question, TAnswer::Enter, kStepMs));

        TDialog box = WaitForDialog(FProcess->Id(), 30000);
        ASSERT_TRUE(box) << "no message";
        EXPECT_EQ(box.Text, c.Message);
        ScreenShot(nullptr, Work() + "shots\\" + c.Shot + ".bmp");
        ASSERT_TRUE(Answer(box, TAnswer::Enter, kStepMs));
        ASSERT_TRUE(FForm.WaitForPage(8, kStepMs));
        FForm.Sync();
        TWizardView v = FForm.Read();
        EXPECT_EQ(v.Front, TFront::Finish);
        EXPECT_FALSE(v.CancelVisible);
        // The entries before the full disk whole; nothing of DATA.BIN, no
        // temporary file, no SETUP.INI, and the archive deleted as after
        // any unpack that went through all its entries.
        EXPECT_EQ(FilesIn(target), (std::vector<std::string>{"ARTIKELEN.CSV", "LEESMIJ.TXT"}));
        for (const char* name : {"ARTIKELEN.CSV", "LEESMIJ.TXT"})
            EXPECT_EQ(ReadFileBytes(target + name), ReadFileBytes(source + name)) << name;
        EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
        std::cout << c.Lang << ": " << left << " bytes left by the other writer; " << box.Text
                  << "\n";
    }
}

} // namespace
