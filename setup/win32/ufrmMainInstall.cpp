// The installation run of the wizard form: what Next does on the
// ProxySettings page, with the download-and-unpack steps and the progress bar.
#include "setup/win32/ufrmMain.h"

#include <commctrl.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/win32/Wide.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "setup/win32/Application.h"
#include "setup/win32/Dialogs.h"
#include "setup/DiskRoom.h"
#include "setup/FilesInUse.h"
#include "setup/InstallPlaces.h"
#include "setup/InstallRecord.h"
#include "setup/Unpack.h"
#include "setup/release/ReleaseKeys.h"
#include "setup/win32/Registry.h"
#include "setup/win32/RestartManager.h"
#include "setup/win32/Uninstaller.h"
#include "translation/Translator.h"

namespace setup {

namespace {
// Where the current user's desktop folder is recorded.
constexpr const char* SShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* SDesktopValue = "Desktop";
} // namespace

void TfrmMain::CreateComponents() {
    ConfigureHTTPClient(NetHTTP1);
    ConfigureIOHandler(NetHTTP1, NetIOHandler1);
    ShortenTimeouts(NetHTTP1, platform::GetEnvVar(STestTimeoutVariable));
    NetHTTP1.OnWorkBegin = [this](net::TNetComponent* s, net::TWorkMode m, int64_t max) {
        NetHTTP1WorkBegin(s, m, max);
    };
    NetHTTP1.OnWork = [this](net::TNetComponent* s, net::TWorkMode m, int64_t count) {
        NetHTTP1Work(s, m, count);
    };
    NetHTTP1.OnWorkEnd = [this](net::TNetComponent* s, net::TWorkMode m) { NetHTTP1WorkEnd(s, m); };
    // A server that sends nothing keeps the run inside a read for up to the
    // read time-out: the queue is looked at meanwhile too, so Annuleer works.
    NetIOHandler1.OnIdle = [this] {
        if (FRunning) LookAtQueue();
    };
    // An archive whose size only the server announces is held against the
    // free space before its body is read.
    NetHTTP1.OnHeadersAvailable = [this](net::TNetCustomHTTP* sender, net::TNetHeaderList&, bool&) {
        if (!FRoomFolder.empty() && sender->ResponseCode() == 200 &&
            sender->Response().HasContentLength())
            CheckRoom(FRoomFolder, sender->Response().ContentLength, FNumberStyle);
    };
    ShellLink.WindowState = TShellLinkWindowState::wsNormal;
    // An upgrade replaces the program's files: each is written beside its
    // old one and moved over it only when whole and checked, so a full
    // disk, a power cut or a killed run never leaves a half-written program.
    ArcUnZipper1.SetExtractOptions({arc::eoCreateDirs, arc::eoReplaceWhole});
    // Unpacking takes a while too, with no transfer to report: between
    // entries and within a large one, the queue is looked at as often as
    // during a download.
    ArcUnZipper1.OnArchiveProgress = [this](int, bool&) {
        ++FUnpacked;
        UnpackProgress(nullptr);
    };
    ArcUnZipper1.OnArchiveItemProgress = [this](arc::TArcArchiveItem& item, int, bool& abort) {
        // Raised inside an entry, the stop would count as the entry's
        // failure; the extractor's own abort stops it and removes its
        // partial file, and the stop is raised between entries (above).
        try {
            UnpackProgress(&item);
        } catch (const EInstallCancelled&) {
            abort = true;
        }
    };
}

void TfrmMain::UnpackProgress(arc::TArcArchiveItem* item) {
    if (FCancelled) throw EInstallCancelled();
    const uint64_t total = static_cast<uint64_t>(std::max(ArcUnZipper1.Count(), 0));
    FStatus.Unpacking(std::min(FUnpacked, total), total, item ? item->FileName() : std::string());
    KeepRespondingPaced();
}

void TfrmMain::KeepRespondingPaced() {
    if (FPacer.ShouldLookAtQueue(GetTickCount64())) LookAtQueue();
}

bool TfrmMain::IsChecked(HWND button) const {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

namespace {
std::string GetText(HWND control) {
    int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return platform::win32::Narrow(text);
}

// Handles once every window message already waiting, so the progress page is
// painted before the blocking work starts.
void ProcessPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Keyboard and mouse input that arrived while the run blocked the thread is
// the user's reaction to a window that did not answer: Annuleer clicked, Enter
// pressed, the close box tried. Handled once the run is over, it would act on
// the page the run ends on instead (a queued click asking the Cancel question
// and a queued Enter answering it; a key dismissing the error box unread), so
// it is dropped before the user gets the window back.
void DiscardQueuedInput() {
    MSG msg;
    for (auto [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                               {WM_MOUSEFIRST, WM_MOUSELAST},
                               {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}})
        while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE)) {
        }
}
} // namespace

void KeepResponding() {
    // A window whose thread has not looked at its queue for five seconds
    // counts as not responding. Looking without taking anything keeps it
    // responding: posted messages and input stay queued for later, only
    // messages sent from other threads (a reader of the progress bar, an
    // accessibility tool) are answered here.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void TfrmMain::LookAtQueue() {
    KeepResponding();
    const uint64_t now = GetTickCount64();
    FStatus.Idle(now);
    ShowStatus(now);
    if (!TakeQueuedCancelRequest()) return;
    // The wizard's own question, as Cancel asks it on the other pages; the
    // run waits meanwhile (a server may give up the connection: the
    // resuming download takes that over after a no).
    if (!AskConfirmation(Wizard.CancelQuestion())) return;
    FCancelled = true;
    FFailure = rtl::Compose([this] { return Wizard.CancelQuestion(); });
    throw EInstallCancelled();
}

bool TfrmMain::IsCancelRequest(const MSG& msg) const {
    if (!IsWindowVisible(btCANCEL) || !(msg.hwnd == FHandle || IsChild(FHandle, msg.hwnd)))
        return false;
    switch (msg.message) {
    case WM_KEYDOWN:
        return msg.wParam == VK_ESCAPE;
    case WM_SYSKEYDOWN:
        // Alt+A, Annuleer's mnemonic; Alt+F4 closes.
        return msg.wParam == 'A' || msg.wParam == VK_F4;
    case WM_LBUTTONUP:
        return msg.hwnd == btCANCEL;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
        return msg.hwnd == FHandle && msg.wParam == HTCLOSE;
    }
    return false;
}

bool TfrmMain::TakeQueuedCancelRequest() {
    bool cancel = false;
    MSG msg;
    // Input during the run is dropped as it comes (handled after the run it
    // would act on the page the run ends on); only a request to stop counts.
    for (auto [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                               {WM_MOUSEFIRST, WM_MOUSELAST},
                               {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}})
        while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE))
            cancel = IsCancelRequest(msg) || cancel;
    // Annuleer pressed by a program (BM_CLICK, as accessibility tools do)
    // and the close command posted to the window (the system menu's Close).
    while (PeekMessageW(&msg, btCANCEL, BM_CLICK, BM_CLICK, PM_REMOVE))
        cancel = cancel || IsWindowVisible(btCANCEL);
    if (PeekMessageW(&msg, FHandle, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) &&
        (msg.wParam & 0xFFF0) == SC_CLOSE) {
        PeekMessageW(&msg, FHandle, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE);
        cancel = cancel || IsWindowVisible(btCANCEL);
    }
    return cancel;
}

void TfrmMain::ShowStatus(uint64_t nowMs) {
    if (!FStatusPacer.Due(nowMs)) return;
    const std::string text =
        FStatus.Text(nowMs, [this](const std::string& t) { return FitsStatusLine(t); });
    if (!FStatusPacer.Changed(text, nowMs)) return;
    SetWindowTextW(StatusLine, platform::win32::Wide(text).c_str());
    // The thread handles no messages during the run: paint now.
    UpdateWindow(StatusLine);
}

bool TfrmMain::FitsStatusLine(const std::string& text) const {
    RECT client{};
    GetClientRect(StatusLine, &client);
    const std::wstring wide = platform::win32::Wide(text);
    HDC dc = GetDC(StatusLine);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(StatusLine, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(StatusLine, dc);
    return size.cx <= client.right - client.left;
}

namespace {
// The marks of the locale of the language the wizard speaks, so that its
// numbers read as the sentence around them; the program's own texts are
// Dutch.
TNumberStyle WizardNumberStyle() {
    std::string language =
        translator::GlobalInstance ? translator::GlobalInstance->GetCurrentLanguage() : "";
    if (language.empty() || language == "C") language = "nl";
    TNumberStyle style = NumberStyleForLanguage(language);
    std::replace(language.begin(), language.end(), '_', '-');
    const std::wstring name = platform::win32::Wide(language);
    wchar_t mark[8];
    if (GetLocaleInfoEx(name.c_str(), LOCALE_SDECIMAL, mark, 8) > 1)
        style.Decimal = platform::win32::Narrow(mark);
    if (GetLocaleInfoEx(name.c_str(), LOCALE_STHOUSAND, mark, 8) > 1)
        style.Thousands = platform::win32::Narrow(mark);
    return style;
}
} // namespace

void TfrmMain::RunInstallation() {
    // The run blocks this thread by design. The system must not replace the
    // window by a ghost ("Not Responding") that hides the progress bar and
    // offers to close the program halfway through; a stalled transfer can
    // keep the thread from its queue for the whole read time-out.
    DisableProcessWindowsGhosting();
    // While the run waits on the network it still answers messages sent by
    // other threads (see KeepResponding); a WM_CLOSE among them must not
    // destroy the form under the run's feet.
    FRunning = true;
    FCancelled = false;
    rtl::TScopeExit running([this] { FRunning = false; });
    FStatus = TRunStatus();
    FNumberStyle = WizardNumberStyle();
    FStatus.SetNumberStyle(FNumberStyle);
    FStatusPacer.Reset();
    FTaskbar.Attach(FHandle);
    FTaskbar.SetState(TTaskbarProgress::TState::Normal);
    Wizard.SetNextEnabled(false);
    Wizard.SetPageIndex(Wizard.PageIndex() + 1);
    Wizard.SetCursor(TAppCursor::HourGlass);
    // /SILENT: the window appears now, on the progress page, never on a page
    // to click.
    if (FShowWhenRunning) Show();
    ProcessPendingMessages();

    int64_t proxyPort = 0;
    if (IsChecked(PROXY_USE)) {
        NetHTTP1.ProxyParams.ProxyServer = GetText(PROXY_SERVER);
        proxyPort = PROXY_POORT.AsInteger();
        // A number beyond the port range fails the run below, in its guard.
        NetHTTP1.ProxyParams.ProxyPort =
            proxyPort >= 0 && proxyPort <= 65535 ? static_cast<int>(proxyPort) : 0;
    }
    const std::string target = TargetFolder(InstallDrive.Drive());
    // A folder that cannot be made shows itself when the first download
    // cannot create its file.
    int error = 0;
    if (!platform::DirectoryExists(target)) platform::CreateDirectoryChain(target, error);
    LogRunStart(target, NetHTTP1.ProxyParams);

    rtl::TText failure;
    bool failed = false, cancelled = false;
    FStep = TInstallStep::Download;
    try {
        InstallInto(target, proxyPort);
    } catch (const EInstallCancelled&) {
        cancelled = true;
    } catch (const ENotEnoughRoom& e) {
        failed = true, failure = e.Text(), FExitCode = ExitCodeFor(FStep, e);
        // Said before anything was written: not even the empty file that
        // was to receive the archive stays.
        if (platform::FileSizeByName(FCurrentArchive) == 0)
            platform::DeleteFileByName(FCurrentArchive);
    } catch (const rtl::Exception& e) {
        failed = true, failure = e.Text(), FExitCode = ExitCodeFor(FStep, e);
    } catch (const std::exception& e) {
        failed = true, failure = e.what(), FExitCode = ExitCodeFor(FStep, e);
    }

    DiscardQueuedInput();
    // A step that the stop interrupted may end in an error of its own (an
    // entry reported as not unpacked): the user's choice is what ended it.
    if (cancelled || FCancelled) {
        FOutcome = TRunOutcome::Cancelled;
        FExitCode = TExitCode::Cancelled;
        LogLine("Cancelled by the user");
        FTaskbar.SetState(TTaskbarProgress::TState::None);
        ShowRunCancelled();
    } else if (failed) {
        FOutcome = TRunOutcome::Failed;
        FFailure = failure;
        LogLine("Failed: " + failure.Text);
        // Red on the button while the error box tells why.
        FTaskbar.SetState(TTaskbarProgress::TState::Error);
        ShowRunFailed(failure);
    } else {
        FOutcome = TRunOutcome::Completed;
        FExitCode = TExitCode::Installed;
        LogLine("Installed into " + target);
        FTaskbar.SetState(TTaskbarProgress::TState::None);
        ShowRunFinished();
    }
}

void TfrmMain::InstallInto(const std::string& target, int64_t proxyPort) {
    ProxyPortFrom(proxyPort);
    // With release keys nothing else is requested before the manifest
    // proved to be the maker's; every archive is then held to it.
    const TReleaseKeys& keys = BuiltInReleaseKeys();
    if (!keys.Keys.empty()) {
        FTransferURL = DownloadBaseURL() + SManifestPath;
        LogLine("Release manifest " + FTransferURL);
        FRelease = DownloadManifest(NetHTTP1, DownloadBaseURL(), keys,
                                    static_cast<int64_t>(platform::UtcNowUnixSeconds()),
                                    ManifestRetryPolicy());
        LogLine("Release manifest serial " + std::to_string(FRelease->Serial) +
                ", signature verified with built-in release key " +
                std::to_string(FRelease->VerifiedByKey + 1) + " of " +
                std::to_string(keys.Keys.size()) + ", " + std::to_string(FRelease->Files.size()) +
                " files");
    }
    // What this run writes joins the record of the earlier ones, also when
    // the run fails halfway: an uninstall removes exactly that.
    TInstallRecord written;
    TInstallRecorder recorder(written, target);
    recorder.Attach(ArcUnZipper1);
    rtl::TScopeExit detach([&recorder] { recorder.Detach(); });
    rtl::TScopeFail keep([&] {
        // A run that wrote nothing leaves no record behind either.
        if (!written.Files.empty()) SaveMergedRecord(target, written);
    });
    DownloadToFile(SMainArchivePath, target + "main.zip", 1);
    UnpackArchive(target + "main.zip");
    DownloadToFile(SUpgradeArchivePath, target + "upgrade.zip", 2);
    UnpackArchive(target + "upgrade.zip");
    FCurrentArchive.clear();

    FStep = TInstallStep::Settings;
    const std::string language =
        LanguageCode({IsChecked(rbNEDERLANDS), IsChecked(rbFRANS), IsChecked(rbENGELS),
                      IsChecked(rbITALIAANS), IsChecked(rbSPAANS)});
    WriteProfileString(target + SSettingsFileName, SSettingsSection, SSettingsLanguageKey,
                       language);
    written.AddSetting(SSettingsFileName, SSettingsSection, SSettingsLanguageKey);
    LogLine("Settings file " + target + SSettingsFileName + ": [" + SSettingsSection + "] " +
            SSettingsLanguageKey + "=" + language);

    TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    // Without the Shell Folders key there is no desktop to put the
    // shortcut on; the installation itself is still complete.
    if (registry.OpenKey(SShellFoldersKey, true)) {
        ShellLink.Description = SLinkDescription;
        ShellLink.ProgramFile = target + SProgramFileName;
        ShellLink.LinkFile = LinkFileFor(registry.ReadString(SDesktopValue));
        ShellLink.Write();
        written.AddShortcut(ShellLink.LinkFile);
        LogLine("Shortcut " + ShellLink.LinkFile + " to " + ShellLink.ProgramFile);
    } else {
        LogLine("No shortcut: the Shell Folders key cannot be opened");
    }

    InstallUninstaller(target, written);
    const TInstallRecord record = SaveMergedRecord(target, written);
    // Last, so that a failed run leaves an existing entry as it was and
    // creates none.
    int64_t bytes = 0;
    for (const TRecordedFile& file : record.Files)
        bytes += file.Size;
    RegisterInstallation(target, FRelease ? std::to_string(FRelease->Serial) : std::string(),
                         bytes);
}

TInstallRecord TfrmMain::SaveMergedRecord(const std::string& target, const TInstallRecord& written) {
    TInstallRecord record = LoadInstallRecord(target);
    MergeInstallRecord(record, written);
    SaveInstallRecord(target, record);
    return record;
}

void TfrmMain::ApplyOptions(const TSetupOptions& options) {
    FShowBoxes = options.ShowsBoxes();
    if (options.Drive) InstallDrive.SetDrive(options.Drive);
    if (options.Proxy) {
        const TProxyOption& proxy = *options.Proxy;
        SendMessageW(PROXY_USE, BM_SETCHECK, proxy.Server.empty() ? BST_UNCHECKED : BST_CHECKED, 0);
        SetWindowTextW(PROXY_SERVER, platform::win32::Wide(proxy.Server).c_str());
        if (proxy.Port) PROXY_POORT.SetAsInteger(proxy.Port);
        NetHTTP1.ProxyParams.ProxyUsername = proxy.Username;
        NetHTTP1.ProxyParams.ProxyPassword = proxy.Password;
        NetHTTP1.ProxyParams.BasicAuthentication = !proxy.Username.empty();
    }
}

void TfrmMain::RunUnattended(const TSetupOptions& options) {
    ApplyOptions(options);
    FUnattended = true;
    FCloseApplications = options.CloseApplications;
    FShowWhenRunning = options.Ui == TUiLevel::Silent;
    Wizard.SetPageIndex(pgProxySettings);
    RunInstallation();
    Close();
}

void TfrmMain::LogRunStart(const std::string& target, const net::TNetProxyConnectionInfo& proxy) {
    if (!RunLog()) return;
    ULARGE_INTEGER free{};
    const std::wstring root = platform::win32::Wide(target.substr(0, 3));
    const bool known = GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr);
    LogLine("Target " + target + ", " +
            (known ? std::to_string(free.QuadPart) + " bytes free on " + target.substr(0, 2)
                   : std::string("free space unknown")));
    LogLine(proxy.ProxyServer.empty()
                ? std::string("Proxy: none")
                : "Proxy: " + proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort) +
                      (proxy.ProxyUsername.empty()
                           ? ""
                           : " as " + proxy.ProxyUsername + " (password not shown)"));
}

void TfrmMain::ShowRunFinished() {
    Wizard.SetCursor(TAppCursor::Default);
    Wizard.SetPageIndex(pgEinde);
    Wizard.BringFinishToFront();
    // Next had the focus and was disabled: without this no control has
    // it, and Enter would do nothing.
    SetFocus(btFINISH);
}

void TfrmMain::ShowRunCancelled() {
    // Nothing more is read or written: the connection goes at once, and
    // the archive that was coming in or being unpacked with it. Entries
    // already unpacked stay, as after a failure.
    NetHTTP1.Disconnect();
    if (!FCurrentArchive.empty()) platform::DeleteFileByName(FCurrentArchive);
    // Finish in front before the page shows, as after a failure.
    Wizard.BringFinishToFront();
    Wizard.ShowAbortPage();
    SetFocus(btFINISH);
    Wizard.SetCursor(TAppCursor::Default);
}

void TfrmMain::ShowRunFailed(const std::string& failure) {
    Wizard.SetPageIndex(Wizard.PageCount() - 1);
    Wizard.BringFinishToFront();
    Wizard.SetCancelVisible(false);
    // Given back when the error box is dismissed.
    SetFocus(btFINISH);
    // A silent run with /SUPPRESSMSGBOXES reports through its exit code and
    // log only.
    if (FShowBoxes) ShowError(failure);
    Wizard.SetCursor(TAppCursor::Default);
}

void TfrmMain::DownloadToFile(const std::string& relativePath, const std::string& localFile,
                              int index) {
    FStep = TInstallStep::Download;
    FTransferURL = DownloadBaseURL() + relativePath;
    LogLine("Download " + FTransferURL + " to " + localFile);
    const net::TNetRetryPolicy retry = RetryPolicy();
    FCurrentArchive = localFile;
    FStatus.Archive(platform::ExtractFileName(localFile), index, 2);
    const std::string folder = platform::ExtractFilePath(localFile);
    if (!FRelease) {
        FRoomFolder = folder;
        rtl::TScopeExit checked([this] { FRoomFolder.clear(); });
        return setup::DownloadToFile(NetHTTP1, DownloadBaseURL(), relativePath, localFile, retry);
    }
    const std::string name = relativePath.substr(relativePath.rfind('/') + 1);
    const TReleaseFile* listed = FRelease->Find(name);
    if (!listed) throw EReleaseRefused(translator::ComposeMessage(SArchiveNotInRelease, {name}));
    CheckRoom(folder, listed->Size, FNumberStyle);
    setup::DownloadToFile(NetHTTP1, DownloadBaseURL(), relativePath, localFile, *listed, retry);
}

net::TNetRetryPolicy TfrmMain::ManifestRetryPolicy() {
    // Built as the manifest's request starts: the status line says that step.
    FStatus.Manifest();
    return RetryPolicy();
}

net::TNetRetryPolicy TfrmMain::RetryPolicy() {
    return {InstallDownloadRetries, [this](int ms) { PauseBeforeRetry(ms); },
            [this](const net::TNetRetryNotice& notice) {
                LogRetry(notice);
                FStatus.Reconnecting(
                    notice.Attempt,
                    GetTickCount64() +
                        ShortenedPause(notice.PauseMs, platform::GetEnvVar(STestPauseVariable)));
                // Said at once, not at the next turn of the pacer.
                FStatusPacer.Reset();
                FTaskbar.SetState(TTaskbarProgress::TState::Paused);
                ShowStatus(GetTickCount64());
            }};
}

void TfrmMain::PauseBeforeRetry(int milliseconds) {
    // The bar stays where the broken transfer left it, and the window keeps
    // answering while the run waits for the next attempt.
    const uint64_t end =
        GetTickCount64() + ShortenedPause(milliseconds, platform::GetEnvVar(STestPauseVariable));
    for (uint64_t now; (now = GetTickCount64()) < end;) {
        Sleep(static_cast<DWORD>(std::min<uint64_t>(end - now, TProgressPacer::kQueueIntervalMs)));
        LookAtQueue();
    }
}

void TfrmMain::UnpackArchive(const std::string& archiveFile) {
    FStep = TInstallStep::Unpack;
    LogLine("Archive " + archiveFile + ": " +
            std::to_string(platform::FileSizeByName(archiveFile)) + " bytes, " +
            (FRelease ? "size and SHA-256 match the release manifest"
                      : "not checked (this build has no release keys)"));
    FUnpacked = 0;
    // The entries' sizes against what is free beside the archive, which is
    // deleted only after them.
    int64_t needed = 0;
    {
        rtl::TScopeExit close([this] { ArcUnZipper1.CloseArchive(); });
        ArcUnZipper1.OpenArchive(archiveFile);
        needed = UnpackedSize(ArcUnZipper1);
    }
    CheckRoom(platform::ExtractFilePath(archiveFile), needed, FNumberStyle);
    const int64_t start = platform::NowMs();
    setup::UnpackArchive(ArcUnZipper1, archiveFile,
                         [this](const std::vector<std::string>& replaced) {
                             WaitUntilNotInUse(replaced);
                         });
    LogLine("Unpacked " + archiveFile + " in " + std::to_string(platform::NowMs() - start) + " ms");
}

void TfrmMain::LogTransferBegin(int64_t expected) {
    FTransferStartMs = platform::NowMs();
    FTransferExpected = expected;
    FTransferReceived = 0;
    FLogSteps.Begin(expected);
    LogLine("Request " + FTransferURL + ": " + NetHTTP1.ResponseText() + ", " +
            (expected >= 0 ? std::to_string(expected) + " bytes announced" : "length unknown"));
}

void TfrmMain::LogTransferEnd() {
    if (!RunLog()) return;
    const int64_t ms = std::max<int64_t>(1, platform::NowMs() - FTransferStartMs);
    LogLine("Transfer " + FTransferURL + " ended: " + std::to_string(FTransferReceived) +
            " bytes in " + std::to_string(ms) + " ms (" +
            std::to_string(FTransferReceived * 1000 / ms / 1024) + " KiB/s)");
}

void TfrmMain::LogRetry(const net::TNetRetryNotice& n) {
    LogLine("Retry " + FTransferURL + ": attempt " + std::to_string(n.Attempt) + " in " +
            std::to_string(n.PauseMs) + " ms, " +
            (n.Resume ? "resuming at byte " : "starting over after ") + std::to_string(n.Received) +
            " of " + (n.Expected >= 0 ? std::to_string(n.Expected) : "?") +
            " bytes; the last attempt ended: " + n.Reason);
}

void TfrmMain::WaitUntilNotInUse(const std::vector<std::string>& files) {
    // Nothing is replaced while a program holds one of the files: the user
    // closes it and tries again, or cancels with every old file as it was.
    // A run without anyone to ask closes them when /CLOSEAPPLICATIONS says
    // so, and otherwise ends with their names.
    bool closed = false;
    for (;;) {
        const TInUseReport inUse = FindFilesInUse(files);
        if (inUse.Files.empty()) return;
        if (FUnattended) {
            int error = 0;
            if (FCloseApplications && !closed) {
                closed = true;
                LogLine("Closing the programs that hold files to be replaced");
                if (CloseApplicationsUsing(files, error)) continue;
                LogLine("The Restart Manager could not close them (error " + std::to_string(error) +
                        ")");
            }
            throw rtl::Exception(FilesInUseFailure(inUse.Files));
        }
        Wizard.SetCursor(TAppCursor::Default);
        const bool retry = AskRetry(FilesInUseQuestion(inUse.Files));
        Wizard.SetCursor(TAppCursor::HourGlass);
        if (!retry) {
            FFailure = rtl::Compose([&] { return FilesInUseQuestion(inUse.Files); });
            throw EInstallCancelled();
        }
    }
}

void TfrmMain::SetProgressMax(int32_t max) {
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, max);
}

void TfrmMain::ResetProgressPacer() {
    RECT client{};
    GetClientRect(ProgressBar, &client);
    FPacer.SetRange(static_cast<int32_t>(SendMessageW(ProgressBar, PBM_GETRANGE, FALSE, 0)),
                    client.right - client.left);
}

void TfrmMain::SetProgressPosition(int32_t position) {
    if (SendMessageW(ProgressBar, PBM_GETPOS, 0, 0) == position) return;
    // The version 6 bar does not jump to a higher position: it animates
    // there on a timer, which this thread, blocked in the transfer, never
    // runs, so the bar would not move. A lower position it draws at once.
    // So the bar is set one step past the position and then back to it; at
    // the maximum, the range is widened by one step for that and narrowed
    // again, which draws the full bar at once too.
    const auto max = static_cast<int32_t>(SendMessageW(ProgressBar, PBM_GETRANGE, FALSE, 0));
    auto set = [this](int32_t p) {
        SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(p), 0);
    };
    if (position < max) {
        set(position + 1);
        set(position);
    } else if (max < std::numeric_limits<int32_t>::max()) {
        SendMessageW(ProgressBar, PBM_SETRANGE32, 0, max + 1);
        set(max + 1);
        set(max);
        SendMessageW(ProgressBar, PBM_SETRANGE32, 0, max);
    } else {
        set(position);
    }
    // The thread handles no messages during the transfer: paint now.
    UpdateWindow(ProgressBar);
    FTaskbar.SetValue(static_cast<uint64_t>(std::max(position, 0)), static_cast<uint64_t>(max));
}

void TfrmMain::NetHTTP1WorkBegin(net::TNetComponent*, net::TWorkMode mode, int64_t workCountMax) {
    LogTransferBegin(workCountMax);
    int32_t max;
    if (FProgress.WorkBegin(workCountMax, max)) SetProgressMax(max);
    ResetProgressPacer();
    if (mode == net::TWorkMode::wmRead) {
        FStatus.TransferBegin(workCountMax);
        FTaskbar.SetState(TTaskbarProgress::TState::Normal);
    }
}

void TfrmMain::NetHTTP1Work(net::TNetComponent*, net::TWorkMode mode, int64_t workCount) {
    // Work arrives every 32 KiB; the bar is drawn only when the user would
    // see it change, and the queue looked at only as often as it must be.
    const uint64_t now = GetTickCount64();
    FTransferReceived = workCount;
    if (RunLog() && FLogSteps.Crossed(workCount))
        LogLine("Receiving " + FTransferURL + ": " + std::to_string(workCount) + " of " +
                (FTransferExpected >= 0 ? std::to_string(FTransferExpected) : "?") + " bytes");
    const int32_t position = FProgress.Position(workCount);
    if (mode == net::TWorkMode::wmRead) FStatus.Transfer(now, workCount);
    if (FPacer.ShouldDraw(position, now)) SetProgressPosition(position);
    if (FPacer.ShouldLookAtQueue(now)) LookAtQueue();
}

void TfrmMain::NetHTTP1WorkEnd(net::TNetComponent*, net::TWorkMode) {
    LogTransferEnd();
    FProgress.WorkEnd();
    SetProgressPosition(0);
    ResetProgressPacer();
    LookAtQueue();
}

} // namespace setup
