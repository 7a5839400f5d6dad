// The installation run of the wizard form: what Next does on the
// ProxySettings page, with the download-and-unpack steps and the progress bar.
#include "setup/ufrmMain.h"

#include <commctrl.h>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "runtime/Exception.h"
#include "setup/Application.h"
#include "setup/Dialogs.h"
#include "setup/Registry.h"

namespace setup {

void TfrmMain::CreateComponents() {
    ConfigureHTTPClient(NetHTTP1);
    NetHTTP1.OnWorkBegin = [this](net::TNetComponent* s, net::TWorkMode m, int64_t max) { NetHTTP1WorkBegin(s, m, max); };
    NetHTTP1.OnWork = [this](net::TNetComponent* s, net::TWorkMode m, int64_t count) { NetHTTP1Work(s, m, count); };
    NetHTTP1.OnWorkEnd = [this](net::TNetComponent* s, net::TWorkMode m) { NetHTTP1WorkEnd(s, m); };
    ShellLink.WindowState = TShellLinkWindowState::wsNormal;
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
} // namespace

void TfrmMain::RunInstallation() {
    Wizard.SetNextEnabled(false);
    Wizard.SetPageIndex(Wizard.PageIndex() + 1);
    Wizard.SetCursor(TAppCursor::HourGlass);
    ProcessPendingMessages();

    int64_t proxyPort = 0;
    if (IsChecked(PROXY_USE)) {
        NetHTTP1.ProxyParams.ProxyServer = GetText(PROXY_SERVER);
        proxyPort = PROXY_POORT.AsInteger();
        // A number beyond the port range fails the run below, in its guard.
        NetHTTP1.ProxyParams.ProxyPort = proxyPort >= 0 && proxyPort <= 65535 ? static_cast<int>(proxyPort) : 0;
    }
    const std::string target = TargetFolder(InstallDrive.Drive());
    // A folder that cannot be made shows itself when the first download
    // cannot create its file.
    int error = 0;
    if (!platform::DirectoryExists(target)) platform::CreateDirectoryChain(target, error);

    std::string failure;
    bool failed = false;
    try {
        ProxyPortFrom(proxyPort);
        DownloadToFile(SMainArchivePath, target + "main.zip");
        UnpackArchive(target + "main.zip");
        DownloadToFile(SUpgradeArchivePath, target + "upgrade.zip");
        UnpackArchive(target + "upgrade.zip");

        WriteProfileString(target + SSettingsFileName, SSettingsSection, SSettingsLanguageKey,
                           LanguageCode({IsChecked(rbNEDERLANDS), IsChecked(rbFRANS), IsChecked(rbENGELS),
                                         IsChecked(rbITALIAANS), IsChecked(rbSPAANS)}));

        TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        // Without the Shell Folders key there is no desktop to put the
        // shortcut on; the installation itself is still complete.
        if (registry.OpenKey(SShellFoldersKey, true)) {
            ShellLink.Description = SLinkDescription;
            ShellLink.ProgramFile = target + SProgramFileName;
            ShellLink.LinkFile = LinkFileFor(registry.ReadString(SDesktopValue));
            ShellLink.Write();
        }
    } catch (const rtl::Exception& e) {
        failed = true, failure = e.Message();
    } catch (const std::exception& e) {
        failed = true, failure = e.what();
    }

    if (!failed) {
        Wizard.SetCursor(TAppCursor::Default);
        Wizard.SetPageIndex(pgEinde);
        Wizard.BringFinishToFront();
        return;
    }
    Wizard.SetPageIndex(Wizard.PageCount() - 1);
    Wizard.BringFinishToFront();
    Wizard.SetCancelVisible(false);
    ShowError(failure);
    Wizard.SetCursor(TAppCursor::Default);
}

void TfrmMain::DownloadToFile(const std::string& relativePath, const std::string& localFile) {
    setup::DownloadToFile(NetHTTP1, DownloadBaseURL(), relativePath, localFile);
}

void TfrmMain::UnpackArchive(const std::string& archiveFile) { setup::UnpackArchive(ArcUnZipper1, archiveFile); }

void TfrmMain::SetProgressMax(int32_t max) { SendMessageW(ProgressBar, PBM_SETRANGE32, 0, max); }

void TfrmMain::SetProgressPosition(int32_t position) {
    if (SendMessageW(ProgressBar, PBM_GETPOS, 0, 0) == position) return;
    SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    // The GUI thread is inside the transfer and handles no messages: paint now.
    UpdateWindow(ProgressBar);
}

void TfrmMain::NetHTTP1WorkBegin(net::TNetComponent*, net::TWorkMode, int64_t workCountMax) {
    int32_t max;
    if (FProgress.WorkBegin(workCountMax, max)) SetProgressMax(max);
}

void TfrmMain::NetHTTP1Work(net::TNetComponent*, net::TWorkMode, int64_t workCount) {
    SetProgressPosition(FProgress.Position(workCount));
}

void TfrmMain::NetHTTP1WorkEnd(net::TNetComponent*, net::TWorkMode) {
    FProgress.WorkEnd();
    SetProgressPosition(0);
}

} // namespace setup
