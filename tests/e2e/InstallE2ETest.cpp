// The installation run of Setup.exe under Wine against real servers: nginx
// serves the archives (its answers switched by marker files), tinyproxy is
// the proxy, and a scripted server of the test plays a proxy whose answer is
// cut short. Each test cleans the target folder, the served files and the
// registry value first, drives the wizard to page 3, presses Next and checks
// what the run left behind and what the form shows.
//
// run-install-e2e.sh prepares the work folder and the servers and passes:
//   SETUP_EXE                 Setup.exe (B: path)
//   INSTALL_E2E_WORK          the work folder (B: path): www\, archives\, shots\ below it
//   INSTALL_E2E_PROXY_PORT    tinyproxy's port; its log is work\tinyproxy.log
//   INSTALL_E2E_SERVER_DOWN   set when no server listens on the base URL
//   INSTALL_E2E_HOSTS_ONLY    set when host names are looked up in the hosts
//                             file only
//   INSTALL_E2E_SILENT_ADDRESS  an address of the test's own network namespace
//                             whose connects never complete (unset outside one)
//   INSTALL_E2E_INPUT         set when the input helper makes real input events
//                             on request (work\input\)
//   INSTALL_E2E_SIGNED        set when Setup.exe was built with release keys:
//                             archives\release.txt is the demo release's signed
//                             manifest, and the sign helper signs the served
//                             archives on request (work\sign\)
//   INSTALL_E2E_HTTPS_SETUP_EXE  the wizard built for the HTTPS server (B: path;
//                             unset: no HTTPS tests); the server's certificate
//                             is work\certs\current.pem, its log
//                             work\logs\nginx-https.log
//   INSTALL_E2E_HTTPS_PORT    the HTTPS server's port (on localhost)
//   INSTALL_E2E_REFUSING_PROXY_PORT  a tinyproxy that refuses every tunnel
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

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
#include "setup/win32/ControlIds.h"
#include "tests/TestSupport.h"
#include "tests/e2e/InstallDriver.h"
#include "tests/e2e/WizardDriver.h"
#include "runtime/Format.h"
#include "setup/CheckedDownload.h"
#include "translation/MoFile.h"

using namespace e2e;
using platform::win32::Narrow;
using platform::win32::Wide;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000, kRunMs = 60000;
// The time-outs the stall tests give the wizard through its test variable.
constexpr DWORD kShortTimeoutMs = 3000;
const std::string kBaseURL = "http://127.0.0.1:8731/";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";


// The lowest serial the windows preset's Setup.exe takes, with which the demo
// release is signed.
constexpr int kMinimumSerial = 3;
// Has the sign helper of run-install-e2e.sh sign the served archives into the
// served manifest: with the build's "current" or "next" key or an untrusted
// "other" one, the serial, and an expiry (YYYY-MM-DD) when given.
bool SignServed(const std::string& key = "current", int serial = kMinimumSerial,
                const std::string& expires = "") {
    return RealInput(Work() + "sign\\", "sign " + key + " " + std::to_string(serial) +
                                            (expires.empty() ? "" : " " + expires));
}
// The size the served manifest lists for an archive (0 when none).
int64_t ListedSize(const std::string& archive) {
    const std::string manifest = ReadFileBytes(Served("release.txt"));
    const size_t at = manifest.find("\nfile " + archive + " ");
    return at == std::string::npos ? 0 : std::stoll(manifest.substr(at + 7 + archive.size()));
}
// A proxy's reply with the served manifest, kept alive for the archive's
// request on the same connection.
std::string ManifestReply() {
    const std::string manifest = ReadFileBytes(Served("release.txt"));
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(manifest.size()) + "\r\n\r\n" +
           manifest;
}
// A proxy's script for a run: the manifest first when the build checks one,
// then what the test has the archive's request answered with.
testing_support::ConnectionScript ThroughProxy(testing_support::ConnectionScript archive) {
    if (!Signed()) return archive;
    testing_support::ConnectionScript script = {testing_support::ReadRequest(),
                                                testing_support::Send(ManifestReply())};
    script.insert(script.end(), archive.begin(), archive.end());
    return script;
}

// The languages an error box is checked in: LANG, and the catalog of po/
// whose translations the box must show (none: the texts as the program has
// them, untranslated).
struct TLanguage {
    const char* Lang;
    const char* Catalog;
};
const TLanguage kLanguages[] = {
    {"nl_BE.UTF-8", "nl"}, {"fr_FR.UTF-8", "fr"}, {"en_GB.UTF-8", "en"}, {"C", nullptr}};

// A message text (as the catalogs key it, LF line breaks) in a language as
// the catalog of the build has it, or itself without a catalog, with its
// line breaks shown as CR LF, as the program shows them.
// A catalog that lacks the text fails the test: the box would show English.
std::string Translated(const TLanguage& language, const std::string& msgid) {
    bool found = !language.Catalog;
    std::string text = msgid;
    if (language.Catalog) {
        const std::string path = Env("INSTALL_E2E_CATALOGS", "B:\\po\\locale") + "\\" +
                                 language.Catalog + "\\LC_MESSAGES\\default.mo";
        translator::TMoFile catalog(path, 0, 0);
        text = catalog.gettext(msgid, found);
    }
    EXPECT_TRUE(found) << language.Catalog << " has no translation of " << msgid;
    std::string shown;
    for (char c : text)
        shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return shown;
}

void Copy(const std::string& from, const std::string& to) {
    ASSERT_TRUE(CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) << from << " -> " << to;
}


std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
    wchar_t buffer[256];
    GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), L"<none>", buffer, 256,
                             Wide(file).c_str());
    return Narrow(buffer);
}

HKEY OpenShellFolders(REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kShellFolders).c_str(), 0, access, &key) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

void SetDesktopValue(DWORD type, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kShellFolders).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (type == REG_NONE) {
        RegDeleteValueW(key, L"Desktop");
    } else if (type == REG_DWORD) {
        DWORD v = 42;
        RegSetValueExW(key, L"Desktop", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    } else {
        std::wstring w = Wide(text);
        RegSetValueExW(key, L"Desktop", 0, type, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

struct LinkContent {
    std::string Path, WorkingDirectory, Description;
    bool Loaded = false;
};

LinkContent ReadLink(const std::string& file) {
    LinkContent c;
    IShellLinkW* link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                         reinterpret_cast<void**>(&link)) != S_OK)
        return c;
    IPersistFile* persist = nullptr;
    if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)) == S_OK) {
        if (persist->Load(Wide(file).c_str(), STGM_READ) == S_OK) {
            c.Loaded = true;
            wchar_t buffer[MAX_PATH * 2];
            if (link->GetPath(buffer, MAX_PATH * 2, nullptr, SLGP_RAWPATH) == S_OK)
                c.Path = Narrow(buffer);
            if (link->GetWorkingDirectory(buffer, MAX_PATH * 2) == S_OK)
                c.WorkingDirectory = Narrow(buffer);
            if (link->GetDescription(buffer, MAX_PATH * 2) == S_OK) c.Description = Narrow(buffer);
        }
        persist->Release();
    }
    link->Release();
    return c;
}

// Calls change(central, local) with the offsets of each entry's central and
// local header in the archive's bytes (APPNOTE 4.3.12, 4.3.7; the archive
// has no comment, so its end record is the last 22 bytes).
template <typename F> void ForEachEntry(std::string& zip, F change) {
    auto u16 = [&](size_t at) {
        return size_t(uint8_t(zip[at])) | size_t(uint8_t(zip[at + 1])) << 8;
    };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t end = zip.size() - 22;
    size_t central = u32(end + 16);
    for (size_t i = 0, n = u16(end + 10); i < n; ++i) {
        change(central, u32(central + 42));
        central += 46 + u16(central + 28) + u16(central + 30) + u16(central + 32);
    }
}

// A real input event through the X server, made by run-install-e2e.sh's helper.
bool Input(const std::string& request) {
    return RealInput(Work() + "input\\", request);
}
POINT CentreOf(HWND wnd) {
    RECT r{};
    GetWindowRect(wnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class InstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

    void SetUp() override {
        int error = 0;
        if (platform::DirectoryExists(kTarget)) platform::DeleteTree(kTarget);
        DeleteFileW(L"C:\\TORVELINNEW");
        ASSERT_FALSE(platform::DirectoryExists(kTarget));
        DeleteFileW(L"C:\\Torvelin.lnk");
        platform::CreateDirectoryChain(kDesktop, error);
        DeleteFileW(Wide(kDesktop + "\\Torvelin.lnk").c_str());
        // A link without a desktop folder lands in the root of the current drive.
        SetCurrentDirectoryW(L"C:\\");

        SetEnvironmentVariableW(L"SETUP_TEST_TIMEOUT_MS", nullptr);
        SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", nullptr);
        CreateDirectoryW(Wide(Work() + "www\\modes").c_str(), nullptr);
        for (const char* m : {"main.204", "main.slow", "main.404big"})
            DeleteFileW(Wide(Marker(m)).c_str());
        Copy(Work() + "archives\\main.zip", Served("main.zip"));
        Copy(Work() + "archives\\upgrade.zip", Served("upgrade.zip"));
        if (Signed()) Copy(Work() + "archives\\release.txt", Served("release.txt"));
    }

    void TearDown() override {
        if (FProcess) FProcess.reset();
    }

    // Starts Setup.exe and walks it to page 3, where Next starts the run,
    // choosing the drive on page 2 unless it is C.
    void StartAtProxyPage(char drive = 'C') {
        FProcess = std::make_unique<TSetupProcess>(
            FSetupExe.empty() ? Env("SETUP_EXE", "B:\\setup\\Setup.exe") : FSetupExe);
        ASSERT_TRUE(FProcess->Started());
        FForm = TWizardForm::Find(FProcess->Id(), kStartMs);
        ASSERT_TRUE(FForm) << "no wizard form";
        RECT r;
        GetWindowRect(FForm.PageWindow(1), &r);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        for (int p = 1; p < 3; ++p) {
            FForm.Click(setup::idBtNext);
            ASSERT_TRUE(FForm.WaitForPage(p + 1, kStepMs));
            if (p + 1 == 2 && drive != 'C') {
                ASSERT_NO_FATAL_FAILURE(ChooseDrive(drive));
            }
        }
    }

    // The drive list's entries as shown.
    std::vector<std::string> DriveEntries() {
        HWND combo = FForm.PageControl(2, setup::idInstallDrive);
        std::vector<std::string> entries;
        auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256)
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            entries.push_back(Narrow(text));
        }
        return entries;
    }

    // Picks the entry of the drive as the user does: the selection moves and
    // the list tells its parent.
    void ChooseDrive(char drive) {
        HWND combo = FForm.PageControl(2, setup::idInstallDrive);
        std::vector<std::string> entries = DriveEntries();
        const std::string letter = std::string(1, drive) + ":";
        int index = -1;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].find(letter) != std::string::npos) index = static_cast<int>(i);
        ASSERT_GE(index, 0) << "no entry for drive " << letter;
        SendMessageW(combo, CB_SETCURSEL, index, 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(setup::idInstallDrive, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        FForm.Sync();
        EXPECT_NE(FForm.Read().DriveText.find(letter), std::string::npos) << FForm.Read().DriveText;
    }

    void SetProxy(bool use, const std::string& server, const std::string& port) {
        HWND box = FForm.PageControl(3, setup::idProxyUse);
        bool checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (checked != use) SendMessageW(box, BM_CLICK, 0, 0);
        SendMessageW(FForm.PageControl(3, setup::idProxyServer), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(Wide(server).c_str()));
        SendMessageW(FForm.PageControl(3, setup::idProxyPoort), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(Wide(port).c_str()));
        FForm.Sync();
    }

    // Wine's shell rewrites the Shell Folders values from its own settings
    // when a program first asks for a shell folder (Setup.exe does while
    // it starts): the value the run is to read is put in place just before
    // Next, and the run itself asks the shell nothing before it reads it.
    void PressNext() {
        if (FSetDesktop) {
            ASSERT_NO_FATAL_FAILURE(SetDesktopValue(FDesktopType, FDesktopText));
        }
        FCursorBefore = FForm.Read().Cursor;
        FForm.Click(setup::idBtNext);
    }

    // Presses Next on page 3 and waits for the run to end: on page 7, or with
    // an error box (answered, after a picture when asked for).
    struct Outcome {
        bool Finished = false; // page 7 reached without a box
        TDialog Box;
        bool SecondBox = false;
        DWORD Ms = 0;          // from Next to the end of the run
        bool BoxStayed = true; // the box was still up a while after it appeared
    };
    // `during` runs once the run has started; a box is then left up for a
    // while before it is answered, to see that nothing queued dismisses it.
    Outcome Run(const std::string& boxShot = "", const std::function<void()>& during = {}) {
        Outcome o;
        PressNext();
        HWND einde = FForm.PageWindow(7);
        DWORD start = GetTickCount();
        if (during) {
            // Asking the form which page it shows would wait for the run.
            while (!IsWindowVisible(FForm.PageWindow(4)) && GetTickCount() - start < kStepMs)
                Sleep(20);
            during();
        }
        // The form's thread is busy during the run: only what needs no
        // message to it is looked at here.
        while (GetTickCount() - start < kRunMs) {
            if (IsWindowVisible(einde)) {
                o.Finished = true;
                o.Ms = GetTickCount() - start;
                break;
            }
            TDialog d = WaitForDialog(FProcess->Id(), 50);
            if (d) {
                o.Box = d;
                o.Ms = GetTickCount() - start;
                if (!boxShot.empty()) ScreenShot(nullptr, Work() + "shots\\" + boxShot + ".bmp");
                if (during) {
                    Sleep(1000);
                    o.BoxStayed = IsWindowVisible(d.Handle);
                }
                Answer(d, TAnswer::Enter, kStepMs);
                o.SecondBox = static_cast<bool>(WaitForDialog(FProcess->Id(), 1500));
                break;
            }
        }
        FForm.Sync();
        return o;
    }

    void ExpectSuccessPage(const Outcome& o) {
        ASSERT_TRUE(o.Finished) << "box: " << o.Box.Caption << ": " << o.Box.Text;
        FForm.Sync();
        TWizardView v = FForm.Read();
        EXPECT_EQ(v.Page, 7);
        EXPECT_EQ(v.Front, TFront::Finish);
        EXPECT_TRUE(v.CancelVisible);
        EXPECT_FALSE(v.NextEnabled);
        EXPECT_EQ(v.Progress, 0);
        EXPECT_EQ(v.Cursor, FCursorBefore);
    }

    void ExpectAbort(const Outcome& o, const std::string& message) {
        ASSERT_FALSE(o.Finished) << "the run ended on page 7";
        ASSERT_TRUE(o.Box) << "no error box";
        EXPECT_EQ(o.Box.Caption, "Setup");
        EXPECT_EQ(o.Box.Text, message);
        EXPECT_FALSE(o.SecondBox) << "more than one box";
        TWizardView v = FForm.Read();
        EXPECT_EQ(v.Page, 8);
        EXPECT_EQ(v.Front, TFront::Finish);
        EXPECT_FALSE(v.CancelVisible);
        EXPECT_FALSE(v.NextEnabled);
        EXPECT_EQ(v.Cursor, FCursorBefore);
    }

    // Runs to the abort once in each language. aExpected gives the box's text
    // in a language: exactly aEnglish without a catalog, other words with one.
    // The box is shot as aShot-<catalog>.
    void ExpectAbortInEachLanguage(const std::string& aShot, const std::string& aEnglish,
                                   const std::function<std::string(const TLanguage&)>& aExpected,
                                   const std::function<void()>& aAtProxyPage = {}) {
        for (const TLanguage& language : kLanguages) {
            SCOPED_TRACE(language.Lang);
            ASSERT_TRUE(SetEnvironmentVariableW(L"LANG", Wide(language.Lang).c_str()));
            StartAtProxyPage();
            if (aAtProxyPage) aAtProxyPage();
            Outcome o = Run(aShot + "-" + (language.Catalog ? language.Catalog : "C"));
            const std::string expected = aExpected(language);
            if (language.Catalog) {
                EXPECT_NE(expected, aEnglish);
            } else {
                EXPECT_EQ(expected, aEnglish);
            }
            ExpectAbort(o, expected);
            FProcess.reset();
        }
        SetEnvironmentVariableW(L"LANG", L"C.UTF-8");
    }

    void ExpectNothingAfterTheArchives() {
        EXPECT_FALSE(platform::FileExists(kTarget + "SETUP.INI"));
        EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
    }

    std::unique_ptr<TSetupProcess> FProcess;
    std::string FSetupExe; // empty: Setup.exe
    TWizardForm FForm;
    DWORD FDesktopType = REG_SZ;
    std::string FDesktopText = kDesktop;
    bool FSetDesktop = true;
    HCURSOR FCursorBefore = nullptr; // the form's default cursor, read on page 3
};

const std::vector<std::string> kInstalled = {"ARTIKELEN.CSV", "HANDLEIDING.TXT", "LEESMIJ.TXT",
                                             "SETUP.INI",     "TORVELIN.EXE",    "VERSIE.TXT"};

// ---------------------------------------------------------------------------
// No server on the base URL: these run before the script starts nginx.

TEST_F(InstallTest, NoServerRefusedConnection) {
    if (Env("INSTALL_E2E_SERVER_DOWN").empty()) GTEST_SKIP() << "the download server is running";
    StartAtProxyPage();
    Outcome o = Run();
    ExpectAbort(o, "Socket Error # 10061\r\nConnection refused.");
    EXPECT_TRUE(platform::DirectoryExists(kTarget)); // made before the download failed
    ExpectNothingAfterTheArchives();
}

// The same failure in the user's language: the box shows the catalog's
// words for it (the Windows Sockets text of that language).
TEST_F(InstallTest, NoServerRefusedConnectionInEachLanguage) {
    if (Env("INSTALL_E2E_SERVER_DOWN").empty()) GTEST_SKIP() << "the download server is running";
    ExpectAbortInEachLanguage("error-box-refused", "Socket Error # 10061\r\nConnection refused.",
                              [](const TLanguage& language) {
                                  return rtl::Format(
                                      Translated(language, "Socket Error # %d\n%s"),
                                      {10061, Translated(language, "Connection refused.")});
                              });
}

// ---------------------------------------------------------------------------
// With nginx serving the archives.

class ServedInstallTest : public InstallTest {
  protected:
    void SetUp() override {
        if (!Env("INSTALL_E2E_SERVER_DOWN").empty())
            GTEST_SKIP() << "no download server in this pass";
        InstallTest::SetUp();
    }
};

TEST_F(ServedInstallTest, SuccessfulRunInstallsFilesSettingsAndShortcut) {
    StartAtProxyPage();
    Outcome o = Run();
    ExpectSuccessPage(o);
    ScreenShot(FForm.Handle(), Work() + "shots\\page7-einde.bmp");

    EXPECT_EQ(FilesIn(kTarget), kInstalled); // flat, both archives gone
    EXPECT_EQ(IniValue(kTarget + "SETUP.INI", "SETUP", "TAAL"), "NLB");
    LinkContent link = ReadLink(kDesktop + "\\Torvelin.lnk");
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Path, kTarget + "TORVELIN.EXE");
    EXPECT_EQ(link.WorkingDirectory, kTarget);
    EXPECT_EQ(link.Description, "Torvelin");
    // The script reads this copy natively.
    Copy(kDesktop + "\\Torvelin.lnk", Work() + "Torvelin.lnk");

    FForm.Click(setup::idBtFinish);
    EXPECT_TRUE(FProcess->WaitForExit(kStepMs));
}

TEST_F(ServedInstallTest, BZip2LZMAAndWavPackEntriesAreInstalled) {
    // main.zip with ARTIKELEN.CSV and LEESMIJ.TXT in bzip2, TORVELIN.EXE in
    // LZMA and GELUID.wav in WavPack (made by run-install-e2e.sh).
    const std::string codecs = Work() + "archives\\codecs\\";
    Copy(Work() + "archives\\main-codecs.zip", Served("main.zip"));
    if (Signed()) {
        ASSERT_TRUE(SignServed()) << "the archive was not signed";
    }
    StartAtProxyPage();
    ExpectSuccessPage(Run());
    std::vector<std::string> expected = kInstalled;
    expected.push_back("GELUID.wav");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(kTarget), expected);
    for (const char* name : {"ARTIKELEN.CSV", "LEESMIJ.TXT", "TORVELIN.EXE"})
        EXPECT_TRUE(ReadFileBytes(kTarget + name) == ReadFileBytes(codecs + "files\\" + name))
            << name;
    const std::string wav = ReadFileBytes(codecs + "wav\\GELUID.wav");
    EXPECT_FALSE(wav.empty());
    EXPECT_TRUE(ReadFileBytes(kTarget + "GELUID.wav") == wav);
    FForm.Click(setup::idBtFinish);
    EXPECT_TRUE(FProcess->WaitForExit(kStepMs));
}

TEST_F(ServedInstallTest, ProgressBarRisesDuringASlowDownloadAndIsBackAtZeroAfter) {
    WriteFileBytes(Marker("main.slow"), "");
    StartAtProxyPage();
    HWND bar = FForm.PageControl(4, setup::idProgressBar);
    PressNext();
    // The form handles no messages during the transfer: read the bar from
    // the screen, as the user sees it.
    std::vector<double> seen;
    bool shot = false, hourglass = false;
    int samples = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kRunMs && !IsWindowVisible(FForm.PageWindow(7)) &&
           !WaitForDialog(FProcess->Id(), 0)) {
        if (IsWindowVisible(FForm.PageWindow(4))) {
            CURSORINFO ci{};
            ci.cbSize = sizeof ci;
            if (GetCursorInfo(&ci) && ci.hCursor != FCursorBefore) hourglass = true;
            double fill = BarFill(bar);
            ++samples;
            if (seen.empty() || fill != seen.back()) seen.push_back(fill);
            if (!shot && fill > 0.3) {
                ScreenShot(FForm.Handle(), Work() + "shots\\page4-installmain.bmp");
                shot = true;
            }
        }
        Sleep(40);
    }
    DeleteFileW(Wide(Marker("main.slow")).c_str());
    ASSERT_TRUE(IsWindowVisible(FForm.PageWindow(7)));
    // Several distinct, rising fill levels were on the screen.
    int rises = 0;
    for (size_t i = 1; i < seen.size(); ++i)
        if (seen[i] > seen[i - 1]) ++rises;
    std::string trace;
    for (double f : seen)
        trace += std::to_string(static_cast<int>(f * 100)) + " ";
    std::cout << "progress bar fill seen (%): " << trace << "in " << samples << " looks over "
              << GetTickCount() - start << " ms\n";
    EXPECT_GE(rises, 3) << trace;
    EXPECT_TRUE(shot) << trace;
    EXPECT_TRUE(hourglass) << "the cursor did not change during the download";
    FForm.Sync();
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_LT(BarFill(bar), 0.02);
}

TEST_F(ServedInstallTest, NotFoundFailsTheRunWithTheStatusLine) {
    DeleteFileW(Wide(Served("main.zip")).c_str());
    StartAtProxyPage();
    Outcome o = Run("error-box");
    // The client itself fails a 404 with the status line.
    ExpectAbort(o, "HTTP/1.1 404 Not Found");
    ScreenShot(FForm.Handle(), Work() + "shots\\page8-abort.bmp");
    ExpectNothingAfterTheArchives();
}

// A 404 in the user's language: the server's status line as it was sent,
// inside the catalog's words.
TEST_F(ServedInstallTest, NotFoundInEachLanguage) {
    DeleteFileW(Wide(Served("main.zip")).c_str());
    ExpectAbortInEachLanguage(
        "error-box-404", "HTTP/1.1 404 Not Found", [](const TLanguage& language) {
            return rtl::Format(Translated(language, "%s"), {"HTTP/1.1 404 Not Found"});
        });
}

TEST_F(ServedInstallTest, NoContentIsNotADownload) {
    WriteFileBytes(Marker("main.204"), "");
    StartAtProxyPage();
    Outcome o = Run();
    DeleteFileW(Wide(Marker("main.204")).c_str());
    ExpectAbort(o, "HTTP Error:204: HTTP/1.1 204 No Content");
    EXPECT_EQ(ReadFileBytes(kTarget + "main.zip"), ""); // kept, as far as written
    ExpectNothingAfterTheArchives();
}

TEST_F(ServedInstallTest, FailingSecondArchiveLeavesTheFirstUnpacked) {
    DeleteFileW(Wide(Served("upgrade.zip")).c_str());
    StartAtProxyPage();
    Outcome o = Run();
    ExpectAbort(o, "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(platform::FileExists(kTarget + "TORVELIN.EXE"));
    EXPECT_TRUE(platform::FileExists(kTarget + "ARTIKELEN.CSV"));
    EXPECT_FALSE(platform::FileExists(kTarget + "main.zip"));
    EXPECT_FALSE(platform::FileExists(kTarget + "VERSIE.TXT"));
    ExpectNothingAfterTheArchives();
}

TEST_F(ServedInstallTest, CorruptEntryEndsOnTheAbortPageAfterExtractingTheRest) {
    // Damage the data of the first entry of main.zip (APPNOTE 4.3.7: the
    // data follows the 30-byte local header, the name and the extra field).
    std::string zip = ReadFileBytes(Work() + "archives\\main.zip");
    ASSERT_GT(zip.size(), 64u);
    auto u16 = [&](size_t at) {
        return static_cast<size_t>(uint8_t(zip[at]) | uint8_t(zip[at + 1]) << 8);
    };
    size_t nameLength = u16(26), extraLength = u16(28);
    size_t packed = u16(18) | u16(20) << 16;
    std::string firstName = zip.substr(30, nameLength);
    size_t data = 30 + nameLength + extraLength;
    for (size_t i = 0; i < 8 && i < packed; ++i)
        zip[data + packed / 2 + i] ^= 0x5A;
    WriteFileBytes(Served("main.zip"), zip);
    if (Signed()) {
        ASSERT_TRUE(SignServed()) << "the changed archive was not signed";
    }

    StartAtProxyPage();
    Outcome o = Run();
    const std::string prefix =
        "Het bestand \"" + firstName + "\" uit main.zip kon niet worden uitgepakt: ";
    EXPECT_EQ(o.Box.Text.rfind(prefix, 0), 0u) << o.Box.Text;
    ExpectAbort(o, o.Box.Text);
    // The other entries of main.zip were extracted; the run stopped there.
    EXPECT_TRUE(platform::FileExists(
        kTarget + (firstName == "TORVELIN.EXE" ? "LEESMIJ.TXT" : "TORVELIN.EXE")));
    EXPECT_FALSE(platform::FileExists(kTarget + "VERSIE.TXT"));
    ExpectNothingAfterTheArchives();
}

TEST_F(ServedInstallTest, ProxyPathGoesThroughTinyproxy) {
    std::string log = Work() + "tinyproxy.log";
    size_t before = ReadFileBytes(log).size();
    StartAtProxyPage();
    SetProxy(true, "127.0.0.1", Env("INSTALL_E2E_PROXY_PORT"));
    ExpectSuccessPage(Run());
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
    std::string added = ReadFileBytes(log).substr(before);
    EXPECT_NE(added.find("GET " + kBaseURL + "zividezeru/Files/main.zip"), std::string::npos)
        << added;
    EXPECT_NE(added.find("GET " + kBaseURL + "zividezeru/Files/upgrade.zip"), std::string::npos)
        << added;
}

TEST_F(ServedInstallTest, UntickedProxyBoxIgnoresTheTypedValues) {
    std::string log = Work() + "tinyproxy.log";
    size_t before = ReadFileBytes(log).size();
    StartAtProxyPage();
    SetProxy(true, "127.0.0.1", Env("INSTALL_E2E_PROXY_PORT"));
    SetProxy(false, "no-such-host.invalid", "1");
    ExpectSuccessPage(Run());
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
    EXPECT_EQ(ReadFileBytes(log).substr(before).find("zividezeru"), std::string::npos);
}

TEST_F(ServedInstallTest, TickedProxyBoxWithAnEmptyPortNeedsAPort) {
    StartAtProxyPage();
    SetProxy(true, "127.0.0.1", "");
    ExpectAbort(Run(), "A Port is required");
}

TEST_F(ServedInstallTest, UnresolvableServerName) {
    // The base URL names the loopback address; the name to resolve is the
    // proxy's. Only where names come from the hosts file alone: no name
    // server is ever asked.
    if (Env("INSTALL_E2E_HOSTS_ONLY").empty())
        GTEST_SKIP() << "host names may reach a name server here";
    StartAtProxyPage();
    SetProxy(true, "no-such-host.invalid", "3128");
    ExpectAbort(Run(), "Socket Error # 11001\r\nHost not found.");
    ExpectNothingAfterTheArchives();
}

TEST_F(ServedInstallTest, BodyCutShortIsAnIncompleteDownload) {
    using namespace testing_support;
    // A release lists main.zip's size, which the announced length must be.
    const std::string size = Signed() ? std::to_string(ListedSize("main.zip")) : "100000";
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + size + "\r\nConnection: close\r\n\r\n";
    // Without a validator each retry asks for the whole body again, and the
    // server cuts it at the same place: three retries get no further.
    const ConnectionScript cut = {ReadRequest(), Send(head + std::string(1000, 'P')), Close()};
    ScriptedServer proxy({ThroughProxy(cut), cut, cut, cut});
    SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", L"10");
    StartAtProxyPage();
    SetProxy(true, "127.0.0.1", std::to_string(proxy.Port()));
    ExpectAbort(Run(), "De download van " + kBaseURL +
                           "zividezeru/Files/main.zip is onvolledig: 1000 van de " + size +
                           " bytes zijn ontvangen.");
    std::vector<std::string> requests = proxy.Requests();
    ASSERT_EQ(requests.size(), Signed() ? 5u : 4u);
    for (size_t i = Signed() ? 1 : 0; i < requests.size(); ++i) {
        EXPECT_EQ(
            requests[i].rfind("GET " + kBaseURL + "zividezeru/Files/main.zip HTTP/1.1\r\n", 0), 0u)
            << requests[i];
        EXPECT_EQ(requests[i].find("Range:"), std::string::npos) << requests[i];
    }
    EXPECT_FALSE(platform::FileExists(kTarget + "TORVELIN.EXE")); // never unpacked
    ExpectNothingAfterTheArchives();
}

TEST_F(ServedInstallTest, ExistingFolderAndSettingsFileKeepTheirOtherContent) {
    int error = 0;
    ASSERT_TRUE(platform::CreateDirectoryChain(kTarget, error));
    WriteFileBytes(kTarget + "SETUP.INI",
                   "[SETUP]\r\nPAD=D:\\DATA\r\nTAAL=FRB\r\n[ANDERS]\r\nX=1\r\n");
    WriteFileBytes(kTarget + "EIGEN.TXT", "mine");
    WriteFileBytes(kTarget + "main.zip", std::string(300000, 'o')); // a stale download, replaced
    StartAtProxyPage();
    ExpectSuccessPage(Run());
    EXPECT_EQ(ReadFileBytes(kTarget + "EIGEN.TXT"), "mine");
    EXPECT_FALSE(platform::FileExists(kTarget + "main.zip"));
    EXPECT_EQ(IniValue(kTarget + "SETUP.INI", "SETUP", "TAAL"), "NLB");
    EXPECT_EQ(IniValue(kTarget + "SETUP.INI", "SETUP", "PAD"), "D:\\DATA");
    EXPECT_EQ(IniValue(kTarget + "SETUP.INI", "ANDERS", "X"), "1");
}

TEST_F(ServedInstallTest, TargetFolderThatCannotBeMadeFailsTheFirstDownload) {
    // A file where the folder should be.
    WriteFileBytes("C:\\TORVELINNEW", "in the way");
    StartAtProxyPage();
    Outcome o = Run();
    const std::string prefix = "Cannot create file \"C:\\TORVELINNEW\\main.zip\". ";
    EXPECT_EQ(o.Box.Text.rfind(prefix, 0), 0u) << o.Box.Text;
    EXPECT_GT(o.Box.Text.size(), prefix.size()) << "no system text";
    ExpectAbort(o, o.Box.Text);
    DeleteFileW(L"C:\\TORVELINNEW");
}

TEST_F(ServedInstallTest, SettingsFileThatCannotBeWritten) {
    // A folder of the settings file's name: the profile writer fails.
    int error = 0;
    ASSERT_TRUE(platform::CreateDirectoryChain(kTarget + "SETUP.INI", error));
    StartAtProxyPage();
    ExpectAbort(Run(), "Unable to write to C:\\TORVELINNEW\\SETUP.INI");
    EXPECT_TRUE(platform::FileExists(kTarget + "TORVELIN.EXE"));
    EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
}

TEST_F(ServedInstallTest, SecondFixedDriveIsListedAndInstalledOn) {
    const std::string target = "D:\\TORVELINNEW\\";
    if (!platform::DirectoryExists("D:\\") || GetDriveTypeW(L"D:\\") != DRIVE_FIXED)
        GTEST_SKIP() << "no fixed drive D: in this prefix";
    platform::DeleteTree(target);
    StartAtProxyPage('D');
    std::vector<std::string> entries = DriveEntries();
    ASSERT_EQ(entries.size(), 2u); // C: and D:, nothing removable
    ExpectSuccessPage(Run());
    EXPECT_EQ(FilesIn(target), kInstalled);
    EXPECT_FALSE(platform::DirectoryExists(kTarget));
    EXPECT_EQ(IniValue(target + "SETUP.INI", "SETUP", "TAAL"), "NLB");
    LinkContent link = ReadLink(kDesktop + "\\Torvelin.lnk");
    EXPECT_EQ(link.Path, target + "TORVELIN.EXE");
    EXPECT_EQ(link.WorkingDirectory, target);
    platform::DeleteTree(target);
}

TEST_F(ServedInstallTest, MissingOrEmptyDesktopValuePutsTheLinkInTheDriveRoot) {
    for (DWORD type : {DWORD(REG_NONE), DWORD(REG_SZ)}) {
        SCOPED_TRACE(type == REG_NONE ? "missing" : "empty");
        InstallTest::SetUp();
        FDesktopType = type, FDesktopText = "";
        StartAtProxyPage();
        ExpectSuccessPage(Run());
        LinkContent link = ReadLink("C:\\Torvelin.lnk");
        EXPECT_TRUE(link.Loaded);
        EXPECT_EQ(link.Path, kTarget + "TORVELIN.EXE");
        EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
        DeleteFileW(L"C:\\Torvelin.lnk");
        FProcess.reset();
    }
}

TEST_F(ServedInstallTest, ExpandableDesktopValueIsUsedAsStored) {
    FDesktopType = REG_EXPAND_SZ;
    StartAtProxyPage();
    ExpectSuccessPage(Run());
    EXPECT_TRUE(ReadLink(kDesktop + "\\Torvelin.lnk").Loaded);
}

TEST_F(ServedInstallTest, DesktopValueOfTheWrongType) {
    FDesktopType = REG_DWORD;
    StartAtProxyPage();
    ExpectAbort(Run(), "Invalid data type for 'Desktop'");
    EXPECT_EQ(FilesIn(kTarget), kInstalled); // everything before the shortcut is done
}

TEST_F(ServedInstallTest, ShellFoldersKeyThatCannotBeOpenedMeansNoShortcut) {
    SetDesktopValue(REG_SZ, kDesktop);
    FSetDesktop = false;
    // An empty access list refuses every access to the key but to its owner,
    // who keeps the right to change the list back.
    HKEY key = OpenShellFolders(READ_CONTROL | WRITE_DAC);
    ASSERT_TRUE(key);
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> saved(size);
    ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data(), &size),
              ERROR_SUCCESS);
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SECURITY_DESCRIPTOR denied;
    InitializeSecurityDescriptor(&denied, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&denied, TRUE, &empty, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &denied), ERROR_SUCCESS);
    struct Restore {
        HKEY Key;
        std::vector<BYTE>& Saved;
        ~Restore() {
            RegSetKeySecurity(Key, DACL_SECURITY_INFORMATION, Saved.data());
            RegCloseKey(Key);
        }
    } restore{key, saved};
    HKEY probe = OpenShellFolders(KEY_ALL_ACCESS);
    if (probe) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this system does not refuse access to a registry key by its access list";
    }

    StartAtProxyPage();
    ExpectSuccessPage(Run());
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
    EXPECT_FALSE(platform::FileExists(kDesktop + "\\Torvelin.lnk"));
    EXPECT_FALSE(platform::FileExists("C:\\Torvelin.lnk"));
}

// ---------------------------------------------------------------------------
// A bad network, a busy window and odd archives.

TEST_F(ServedInstallTest, StalledTransfersEndOnTheAbortPageWithTheTimeOut) {
    using namespace testing_support;
    const int64_t size = Signed() ? ListedSize("main.zip") : 100000;
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    const std::string nowhere = Env("INSTALL_E2E_SILENT_ADDRESS");
    // A body that stalls halfway is asked for again, and stalls at the same
    // place each time: three more attempts get no further.
    const ConnectionScript stall = {ReadRequest(), Send(head + std::string(50000, 'h')),
                                    WaitForClose(20000)};
    struct Case {
        const char* Name;
        std::vector<ConnectionScript> Proxy; // none: connect to an address that never answers
        std::string Message;
        DWORD Attempts = 1;
    } cases[] = {
        {"silent after the request", {{ReadRequest(), WaitForClose(20000)}}, "Read timed out."},
        {"body stalls halfway", {stall, stall, stall, stall}, "Read timed out.", 4},
        {"connect never completes", {}, "Connect timed out."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const bool connect = c.Proxy.empty();
        if (connect && nowhere.empty()) {
            std::cout << "not tried without a network namespace: " << c.Name << "\n";
            continue;
        }
        InstallTest::SetUp();
        // A signed build first asks for the manifest on the first connection.
        std::vector<ConnectionScript> scripts = c.Proxy;
        if (!connect) scripts[0] = ThroughProxy(scripts[0]);
        ScriptedServer proxy(scripts);
        SetEnvironmentVariableW(L"SETUP_TEST_TIMEOUT_MS",
                                Wide(std::to_string(kShortTimeoutMs)).c_str());
        SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", L"10");
        StartAtProxyPage();
        SetProxy(true, connect ? nowhere : "127.0.0.1",
                 connect ? "3128" : std::to_string(proxy.Port()));
        // Keys a user presses at a window that does not answer; queued, they
        // would dismiss the error box the moment it appears.
        bool typed = false;
        Outcome o =
            Run("", [&] { typed = Env("INSTALL_E2E_INPUT").empty() || Input("key Return space"); });
        EXPECT_TRUE(typed);
        ExpectAbort(o, c.Message);
        EXPECT_TRUE(o.BoxStayed) << "keys pressed during the run dismissed the error box";
        EXPECT_GE(o.Ms + 100, c.Attempts * kShortTimeoutMs);
        EXPECT_LT(o.Ms, c.Attempts * kShortTimeoutMs + 6000);
        std::cout << c.Name << ": abort page after " << o.Ms << " ms (time-outs " << kShortTimeoutMs
                  << " ms)\n";
        ExpectNothingAfterTheArchives();
        FProcess.reset();
    }
}

TEST_F(ServedInstallTest, NotFoundWithA200MBBodyKeepsTheWizardsMemoryFlat) {
    WriteFileBytes(Marker("main.404big"), "");
    const std::string log = Work() + "logs\\nginx-access.log";
    const size_t logBefore = ReadFileBytes(log).size();
    StartAtProxyPage();
    const size_t before = PeakWorkingSet(FProcess->Handle());
    Outcome o = Run();
    const size_t after = PeakWorkingSet(FProcess->Handle());
    DeleteFileW(Wide(Marker("main.404big")).c_str());
    ExpectAbort(o, "HTTP/1.1 404 Not Found");
    // The whole body went out to the wizard, which read it to the end.
    EXPECT_NE(ReadFileBytes(log).substr(logBefore).find("\" 404 209715200 "), std::string::npos);
    constexpr size_t MiB = 1 << 20;
    std::cout << "peak working set of Setup.exe: " << before / MiB << " MiB before the run, "
              << after / MiB << " MiB after reading a 404 with a 200 MiB body\n";
    ASSERT_GT(before, 0u) << "the system reports no working set";
    EXPECT_LT(after - before, 32 * MiB);
}

TEST_F(ServedInstallTest, ClickEnterAndCloseDuringTheRunAreDroppedAndEnterThenFinishes) {
    if (Env("INSTALL_E2E_INPUT").empty()) GTEST_SKIP() << "no real input events in this run";
    WriteFileBytes(Marker("main.slow"), "");
    StartAtProxyPage();
    HWND bar = FForm.PageControl(4, setup::idProgressBar);
    PressNext();
    // The wizard looks at its queue at each step of the transfer: the bar's
    // position can be read each time it changes, no read waits for long, and
    // the window never counts as hung, however long the download takes.
    std::vector<LRESULT> positions;
    int unanswered = 0;
    bool hung = false, clicked = false, transferred = false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kRunMs && !IsWindowVisible(FForm.PageWindow(7)) &&
           !WaitForDialog(FProcess->Id(), 0)) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 2000, &answer)) {
            unanswered += transferred ? 0 : 1;
            continue;
        }
        const auto pos = static_cast<LRESULT>(answer);
        if (positions.empty() || positions.back() != pos) positions.push_back(pos);
        transferred = transferred || (pos == 0 && positions.size() > 1); // back to 0 at its end
        if (!transferred) hung = hung || IsHungAppWindow(FForm.Handle());
        if (!clicked && pos > 0) {
            // A click anywhere but on Annuleer (which asks to stop the run,
            // RunControlE2ETest) is dropped.
            POINT cancel = CentreOf(bar);
            ASSERT_TRUE(
                Input("click " + std::to_string(cancel.x) + " " + std::to_string(cancel.y)));
            ASSERT_TRUE(Input("key Return"));
            // A close request sent by another program (as a task manager
            // may) is answered while the wizard waits, and must not end it.
            DWORD_PTR ignored = 0;
            EXPECT_TRUE(
                SendMessageTimeoutW(FForm.Handle(), WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &ignored));
            clicked = true;
        }
    }
    DeleteFileW(Wide(Marker("main.slow")).c_str());
    std::string trace;
    for (LRESULT p : positions)
        trace += std::to_string(p) + " ";
    std::cout << "progress positions read: " << trace << "\n";
    EXPECT_EQ(unanswered, 0) << "the window left messages unanswered during the download";
    EXPECT_FALSE(hung) << "the window counted as not responding during the download";
    EXPECT_TRUE(transferred) << trace;
    EXPECT_GE(positions.size(), 5u) << trace;
    ASSERT_TRUE(clicked);
    ASSERT_TRUE(IsWindowVisible(FForm.PageWindow(7)));
    Sleep(1500);
    EXPECT_FALSE(WaitForDialog(FProcess->Id(), 0)) << "the queued click asked the Cancel question";
    EXPECT_EQ(FForm.Read().Page, 7);
    EXPECT_EQ(FForm.FocusedControlId(), setup::idBtFinish);
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
    ASSERT_TRUE(Input("key Return"));
    EXPECT_TRUE(FProcess->WaitForExit(kStepMs)) << "Enter did not press Finish";
}

TEST_F(ServedInstallTest, ErrorBoxIsOwnedByTheWizardWhileAnotherWindowIsActive) {
    using namespace testing_support;
    ScriptedServer proxy({ThroughProxy({ReadRequest(), Pause(2500),
                                        Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"),
                                        WaitForClose()})});
    StartAtProxyPage();
    SetProxy(true, "127.0.0.1", std::to_string(proxy.Port()));
    PressNext();
    ASSERT_TRUE(FForm.WaitForPage(4, kStepMs));
    HWND other = CreateWindowExW(0, L"Static", L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 50, 50, 300, 200, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    EXPECT_EQ(GetForegroundWindow(), other);
    TDialog box = WaitForDialog(FProcess->Id(), 20000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box.Text, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(GetWindow(box.Handle, GW_OWNER), FForm.Handle());
    EXPECT_FALSE(IsWindowEnabled(FForm.Handle())) << "the wizard stays usable under its error box";
    Answer(box, TAnswer::Enter, kStepMs);
    DestroyWindow(other);
}

TEST_F(ServedInstallTest, EntriesDatedZeroAreInstalledWithTheCurrentTime) {
    std::string zip = ReadFileBytes(Work() + "archives\\main.zip");
    ForEachEntry(zip, [&](size_t central, size_t local) {
        for (size_t at : {central + 12, central + 14, local + 10, local + 12})
            zip[at] = zip[at + 1] = 0; // DOS time and date 0: month 0 cannot be converted
    });
    WriteFileBytes(Served("main.zip"), zip);
    if (Signed()) {
        ASSERT_TRUE(SignServed()) << "the changed archive was not signed";
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    StartAtProxyPage();
    ExpectSuccessPage(Run());
    EXPECT_EQ(FilesIn(kTarget), kInstalled);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(
        GetFileAttributesExW(Wide(kTarget + "TORVELIN.EXE").c_str(), GetFileExInfoStandard, &data));
    auto ticks = [](FILETIME t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
    EXPECT_GE(ticks(data.ftLastWriteTime) + 600000000ull, ticks(now)) << "not the current time";
}

TEST_F(ServedInstallTest, InvalidUtf8InAnEntryNameGivesAValidNameOnDisk) {
    // LEESMIJ.TXT becomes L, an overlong "/" (C0 AF), an encoded surrogate
    // (ED A0 80) and J.TXT: the same length, marked as UTF-8 by flag bit 11.
    const std::string name = "LEESMIJ.TXT", bad = "L\xC0\xAF\xED\xA0\x80J.TXT";
    std::string zip = ReadFileBytes(Work() + "archives\\main.zip");
    int renamed = 0;
    ForEachEntry(zip, [&](size_t central, size_t local) {
        if (zip.compare(central + 46, name.size(), name) != 0) return;
        zip.replace(central + 46, name.size(), bad);
        zip.replace(local + 30, name.size(), bad);
        zip[central + 9] = char(zip[central + 9] | 0x08);
        zip[local + 7] = char(zip[local + 7] | 0x08);
        ++renamed;
    });
    ASSERT_EQ(renamed, 1);
    WriteFileBytes(Served("main.zip"), zip);
    if (Signed()) {
        ASSERT_TRUE(SignServed()) << "the changed archive was not signed";
    }
    StartAtProxyPage();
    ExpectSuccessPage(Run());
    EXPECT_EQ(ReadFileBytes(kTarget + "L\uFFFD\uFFFD\uFFFDJ.TXT").empty(), false);
    EXPECT_FALSE(platform::FileExists(kTarget + name));
}

// ---------------------------------------------------------------------------
// A signed release: nothing is requested before the manifest proved to be the
// maker's, and each archive is held to it while it downloads. Every refusal
// ends on the abort page with its own message (the scenarios take turns at
// French, English and the program's own Dutch) and leaves nothing of the
// refused archive behind.

TEST_F(ServedInstallTest, SignedReleaseIsCheckedBeforeAnythingIsUnpacked) {
    using namespace testing_support;
    if (!Signed()) GTEST_SKIP() << "Setup.exe was built without release keys";
    const std::vector<std::string> none,
        mainFiles = {"ARTIKELEN.CSV", "LEESMIJ.TXT", "TORVELIN.EXE"};
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string chunk = "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
    constexpr int64_t MiB = 1 << 20;
    auto size = [](const std::string& file) { return std::to_string(ReadFileBytes(file).size()); };
    auto listed = [](const char* archive) { return std::to_string(ListedSize(archive)); };
    auto changeByte = [](const std::string& file, size_t at) {
        std::string bytes = ReadFileBytes(file);
        bytes[at] = static_cast<char>(bytes[at] == '0' ? '1' : bytes[at] ^ 0x01);
        WriteFileBytes(file, bytes);
    };
    struct Scenario {
        const char* Name;
        std::function<void()> Prepare;           // what is served instead of the release
        std::function<ConnectionScript()> Proxy; // the main.zip request's answer through a proxy
        const char* Msgid;                       // none: the run succeeds
        std::function<std::vector<std::string>()> Args;
        const std::vector<std::string>& Left; // the target folder after a refusal
        bool ArchiveRequested;
    } scenarios[] = {
        {"the honest release", [] {}, nullptr, nullptr, nullptr, kInstalled, true},
        {"signed with the next key", [] { ASSERT_TRUE(SignServed("next")); }, nullptr, nullptr,
         nullptr, kInstalled, true},
        {"main.zip replaced by another archive",
         [] { Copy(Work() + "archives\\upgrade.zip", Served("main.zip")); }, nullptr,
         setup::SArchiveSizeAnnounced,
         [&] {
             return std::vector<std::string>{"main.zip", size(Served("main.zip")),
                                             listed("main.zip")};
         },
         none, true},
        {"upgrade.zip replaced by another archive",
         [] { Copy(Work() + "archives\\main.zip", Served("upgrade.zip")); }, nullptr,
         setup::SArchiveSizeAnnounced,
         [&] {
             return std::vector<std::string>{"upgrade.zip", size(Served("upgrade.zip")),
                                             listed("upgrade.zip")};
         },
         mainFiles, true},
        {"one byte of main.zip changed",
         [&] { changeByte(Served("main.zip"), ReadFileBytes(Served("main.zip")).size() / 2); },
         nullptr, setup::SArchiveDigest, [] { return std::vector<std::string>{"main.zip"}; }, none,
         true},
        {"no manifest", [] { DeleteFileW(Wide(Served("release.txt")).c_str()); }, nullptr,
         setup::SManifestNotFetched,
         [] {
             return std::vector<std::string>{"release.txt", "HTTP/1.1 404 Not Found"};
         },
         none, false},
        {"one byte of the manifest changed",
         [&] {
             changeByte(Served("release.txt"),
                        ReadFileBytes(Served("release.txt")).find("file main.zip ") + 20);
         },
         nullptr, setup::SManifestSignature, [] { return std::vector<std::string>{}; }, none,
         false},
        {"signed with a key the program does not trust", [] { ASSERT_TRUE(SignServed("other")); },
         nullptr, setup::SManifestSignature, [] { return std::vector<std::string>{}; }, none,
         false},
        {"a serial below the minimum",
         [] { ASSERT_TRUE(SignServed("current", kMinimumSerial - 1)); }, nullptr,
         setup::SManifestOldSerial,
         [] {
             return std::vector<std::string>{std::to_string(kMinimumSerial - 1),
                                             std::to_string(kMinimumSerial)};
         },
         none, false},
        {"an expired manifest",
         [] { ASSERT_TRUE(SignServed("current", kMinimumSerial, "2020-01-01")); }, nullptr,
         setup::SManifestExpired, [] { return std::vector<std::string>{"2020-01-01T00:00:00Z"}; },
         none, false},
        // The proxy then waits: reading the body would end in a time-out.
        {"a length above the listed size", [] {},
         [&] {
             return ConnectionScript{ReadRequest(),
                                     Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                          std::to_string(ListedSize("main.zip") + 1) + "\r\n\r\n"),
                                     WaitForClose(20000)};
         },
         setup::SArchiveSizeAnnounced,
         [] {
             return std::vector<std::string>{"main.zip", std::to_string(ListedSize("main.zip") + 1),
                                             std::to_string(ListedSize("main.zip"))};
         },
         none, true},
        {"a chunked body that runs past the listed size", [] {},
         [&] {
             return ConnectionScript{ReadRequest(), Send(chunkedHead), Flood(chunk, 1024 * MiB),
                                     WaitForClose(5000)};
         },
         setup::SArchiveTooLong,
         [] {
             return std::vector<std::string>{"main.zip", std::to_string(ListedSize("main.zip"))};
         },
         none, true},
    };
    const TLanguage languages[] = {kLanguages[1], kLanguages[2], kLanguages[3]};
    const std::string log = Work() + "logs\\nginx-access.log";
    int turn = 0;
    for (const Scenario& c : scenarios) {
        SCOPED_TRACE(c.Name);
        InstallTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(c.Prepare());
        const TLanguage& language = languages[turn++ % 3];
        ASSERT_TRUE(SetEnvironmentVariableW(L"LANG", Wide(language.Lang).c_str()));
        std::unique_ptr<ScriptedServer> proxy;
        if (c.Proxy)
            proxy = std::make_unique<ScriptedServer>(
                std::vector<ConnectionScript>{ThroughProxy(c.Proxy())});
        const size_t logBefore = ReadFileBytes(log).size();
        StartAtProxyPage();
        if (proxy) SetProxy(true, "127.0.0.1", std::to_string(proxy->Port()));
        const size_t memoryBefore = PeakWorkingSet(FProcess->Handle());
        Outcome o = Run();
        const size_t memoryAfter = PeakWorkingSet(FProcess->Handle());
        SetEnvironmentVariableW(L"LANG", L"C.UTF-8");
        if (!c.Msgid) {
            ExpectSuccessPage(o);
        } else {
            std::vector<rtl::FormatArg> args;
            const std::vector<std::string> texts = c.Args();
            for (const std::string& t : texts)
                args.emplace_back(t);
            ExpectAbort(o, rtl::Format(Translated(language, c.Msgid), args));
            ExpectNothingAfterTheArchives();
        }
        EXPECT_EQ(FilesIn(kTarget), c.Left);
        const std::string served = ReadFileBytes(log).substr(logBefore);
        if (!proxy) {
            // The manifest comes first; after a refused one, no archive is asked for.
            const size_t manifestAt = served.find("GET /zividezeru/Files/release.txt ");
            const size_t archiveAt = served.find(".zip HTTP/1.1\"");
            EXPECT_NE(manifestAt, std::string::npos) << served;
            if (c.ArchiveRequested)
                EXPECT_LT(manifestAt, archiveAt) << served;
            else
                EXPECT_EQ(archiveAt, std::string::npos) << served;
        } else {
            std::cout << c.Name << ": the proxy sent " << proxy->Sent() / 1024 << " KiB; "
                      << "Setup.exe's peak working set grew by "
                      << (memoryAfter - memoryBefore) / 1024 << " KiB; the box came after " << o.Ms
                      << " ms\n";
            // Cut off near the listed size: the rest is what the sockets held.
            EXPECT_LT(proxy->Sent(), ListedSize("main.zip") + 32 * MiB);
            EXPECT_LT(memoryAfter - memoryBefore, size_t(32 * MiB));
            EXPECT_LT(o.Ms, 5000u) << "the body was read";
        }
        FProcess.reset();
    }
}

// ---------------------------------------------------------------------------
// Over HTTPS: the wizard built for the tests' HTTPS server, which serves the
// same folder with a certificate of a test authority that the prefix trusts
// as a root.

class HttpsInstallTest : public ServedInstallTest {
  protected:
    void SetUp() override {
        if (Env("INSTALL_E2E_HTTPS_SETUP_EXE").empty())
            GTEST_SKIP() << "no HTTPS wizard in this run";
        ServedInstallTest::SetUp();
        FSetupExe = Env("INSTALL_E2E_HTTPS_SETUP_EXE");
        UseCertificate("server");
    }
    void TearDown() override {
        ServedInstallTest::TearDown();
        if (!FSetupExe.empty()) UseCertificate("server");
    }
    // The certificate the server presents from its next handshake on.
    void UseCertificate(const std::string& name) {
        Copy(Work() + "certs\\" + name + ".pem", Work() + "certs\\current.pem");
    }
    // The lines the HTTPS server logged since the last call: the number of
    // the connection, the path and the status of each request.
    std::vector<std::string> NewRequests() {
        const std::string log = ReadFileBytes(Work() + "logs\\nginx-https.log");
        std::vector<std::string> lines;
        for (size_t at = std::min(FLogSeen, log.size()), end; at < log.size(); at = end + 1) {
            end = log.find('\n', at);
            if (end == std::string::npos) end = log.size();
            lines.push_back(log.substr(at, end - at));
        }
        FLogSeen = log.size();
        return lines;
    }
    size_t FLogSeen = 0;
};

// Both archives come over one TLS connection, directly and through the
// proxy's tunnel, and the installation completes.
TEST_F(HttpsInstallTest, InstallsDirectlyAndThroughTheProxy) {
    for (bool proxy : {false, true}) {
        SCOPED_TRACE(proxy ? "through tinyproxy" : "direct");
        InstallTest::SetUp();
        NewRequests();
        StartAtProxyPage();
        if (proxy) SetProxy(true, "127.0.0.1", Env("INSTALL_E2E_PROXY_PORT"));
        ExpectSuccessPage(Run());
        EXPECT_EQ(FilesIn(kTarget), kInstalled);
        EXPECT_EQ(IniValue(kTarget + "SETUP.INI", "SETUP", "TAAL"), "NLB");
        // A build with release keys asks for the signed manifest first, over
        // the same connection.
        std::vector<std::string> paths = {"/zividezeru/Files/main.zip",
                                          "/zividezeru/Files/upgrade.zip"};
        if (Signed()) paths.insert(paths.begin(), "/zividezeru/Files/release.txt");
        std::vector<std::string> requests = NewRequests();
        ASSERT_EQ(requests.size(), paths.size());
        const std::string connection = requests[0].substr(0, requests[0].find(' '));
        for (size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(requests[i], connection + " " + paths[i] + " 200");
        FProcess.reset();
    }
    const std::string proxyLog = ReadFileBytes(Work() + "tinyproxy.log");
    EXPECT_NE(proxyLog.find("CONNECT localhost:"), std::string::npos) << "no tunnel was asked for";
}

// A server whose certificate fails a check, and a proxy that refuses the
// tunnel, end the run on the abort page with their message; no request went
// out and nothing was written from the connection.
TEST_F(HttpsInstallTest, RefusedCertificatesAndTunnelEndTheRunWithTheirMessage) {
    const std::string untrusted =
        "The certificate of localhost is not issued by a trusted certification authority.";
    struct Case {
        const char* Certificate;
        bool ThroughRefusingProxy;
        std::string Message;
    } cases[] = {
        {"selfsigned", false, untrusted},
        {"untrusted", false, untrusted}, // issued by a root the prefix does not trust
        {"partial", false, untrusted},   // the intermediate left out
        {"expired", false, "The certificate of localhost has expired or is not valid yet."},
        {"wronghost", false, "The certificate of the server is not valid for the name localhost."},
        {"server", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Certificate +
                     std::string(c.ThroughRefusingProxy ? " through the refusing proxy" : ""));
        InstallTest::SetUp();
        UseCertificate(c.Certificate);
        NewRequests();
        StartAtProxyPage();
        std::string message = c.Message;
        if (c.ThroughRefusingProxy) {
            SetProxy(true, "127.0.0.1", Env("INSTALL_E2E_REFUSING_PROXY_PORT"));
            message =
                "The proxy refused the connection to localhost:" + Env("INSTALL_E2E_HTTPS_PORT") +
                ": HTTP/1.1 403 Access violation";
        }
        ExpectAbort(Run(), message);
        EXPECT_TRUE(NewRequests().empty()) << "a request went out";
        EXPECT_EQ(ReadFileBytes(kTarget + "main.zip"), "") << "bytes were written";
        ExpectNothingAfterTheArchives();
        FProcess.reset();
    }
}

// The refusal in the user's language.
TEST_F(HttpsInstallTest, UntrustedCertificateInEachLanguage) {
    UseCertificate("untrusted");
    ExpectAbortInEachLanguage(
        "error-box-untrusted",
        "The certificate of localhost is not issued by a trusted certification authority.",
        [](const TLanguage& language) {
            return rtl::Format(
                Translated(language,
                           "The certificate of %s is not issued by a trusted certification "
                           "authority."),
                {"localhost"});
        });
}

// ---------------------------------------------------------------------------
// A line that breaks: a file server of the test's own, used as the proxy,
// drops every connection after 3 MiB. main.zip carries a 12 MiB entry.

// The archives the file server serves: main.zip with BIG.BIN, upgrade.zip.
struct BrokenLine {
    std::string Main = ReadFileBytes(Work() + "archives\\main-big.zip");
    std::string Upgrade = ReadFileBytes(Work() + "archives\\upgrade.zip");
    // A build with release keys checks them against a release that lists
    // them: the served folder gets them and is signed.
    std::string Manifest = SignedFor(Main);
    // Serves the archives (and the manifest) by name, dropping each
    // connection after 3 MiB; a rest asked for comes from the byte asked
    // for, or 1000 bytes early.
    testing_support::RangeServer::Handler Serve(bool early, bool reset) const {
        return [=, this](testing_support::RangeRequest r) {
            if (r.Target.find("release.txt") != std::string::npos)
                return testing_support::FileReply(r, Manifest, "\"r\"", 3 << 20, reset);
            const bool main = r.Target.find("main.zip") != std::string::npos;
            if (early && r.From >= 0) r.From -= 1000;
            return testing_support::FileReply(r, main ? Main : Upgrade, main ? "\"m\"" : "\"u\"",
                                              3 << 20, reset);
        };
    }
    int64_t Size() const {
        return static_cast<int64_t>(Main.size() + Upgrade.size() + Manifest.size());
    }

  private:
    static std::string SignedFor(const std::string& main) {
        if (!Signed()) return "";
        WriteFileBytes(Served("main.zip"), main);
        EXPECT_TRUE(SignServed());
        return ReadFileBytes(Served("release.txt"));
    }
};

TEST_F(ServedInstallTest, DroppedConnectionsAreResumedAndTheArchiveArrivesWhole) {
    const BrokenLine line;
    ASSERT_GT(line.Main.size(), 12u << 20);
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "resets" : "closes");
        InstallTest::SetUp();
        testing_support::RangeServer proxy(line.Serve(false, reset));
        StartAtProxyPage();
        SetProxy(true, "127.0.0.1", std::to_string(proxy.Port()));
        // The pauses between attempts are the wizard's own: 1 s each.
        Outcome o = Run();
        ExpectSuccessPage(o);
        EXPECT_TRUE(ReadFileBytes(kTarget + "BIG.BIN") ==
                    ReadFileBytes(Work() + "archives\\bigsrc\\BIG.BIN"));
        const int64_t served = line.Size();
        EXPECT_LE(proxy.BodyBytesSent(), served * 105 / 100);
        EXPECT_GE(o.Ms, 4000u) << "four resumes, a pause of a second before each";
        std::cout << (reset ? "resets" : "closes") << ": " << proxy.Requests().size()
                  << " requests, " << proxy.BodyBytesSent() << " body bytes sent for " << served
                  << ", installed after " << o.Ms << " ms\n";
        FProcess.reset();
    }
}

// A server whose rest never continues the archive: after the first refused
// answer the archive starts over, after the second the run ends on the abort
// page, in the user's language.
TEST_F(ServedInstallTest, RestThatNeverContinuesTheArchiveEndsOnTheAbortPageInEachLanguage) {
    const BrokenLine line;
    testing_support::RangeServer proxy(line.Serve(true, false));
    SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_MS", L"10");
    const std::string url = kBaseURL + "zividezeru/Files/main.zip",
                      range = "bytes 3144728-" + std::to_string(line.Main.size() - 1) + "/" +
                              std::to_string(line.Main.size());
    const char* text =
        "Asked for the rest of %s from byte %s, the server sent something else (Content-Range "
        "\"%s\").";
    ExpectAbortInEachLanguage(
        "error-box-other-range", rtl::Format(text, {url, "3145728", range}),
        [&](const TLanguage& language) {
            return rtl::Format(Translated(language, text), {url, "3145728", range});
        },
        [&] { SetProxy(true, "127.0.0.1", std::to_string(proxy.Port())); });
    // Per language: the whole archive, a rest refused, the whole again, a
    // rest refused again (after the manifest, in a build that checks one).
    std::vector<testing_support::RangeRequest> requests;
    for (const testing_support::RangeRequest& r : proxy.Requests())
        if (r.Target.find("release.txt") == std::string::npos) requests.push_back(r);
    ASSERT_EQ(requests.size(), 4 * std::size(kLanguages));
    for (size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].From, i % 2 == 0 ? -1 : 3 << 20) << "request " << i;
    EXPECT_FALSE(platform::FileExists(kTarget + "TORVELIN.EXE"));
}

} // namespace
