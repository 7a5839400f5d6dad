#include "setup/win32/Uninstaller.h"

#include <windows.h>

#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ResStrings.h"
#include "runtime/Streams.h"
#include "setup/InstallPlaces.h"
#include "setup/Uninstall.h"
#include "setup/win32/Dialogs.h"
#include "setup/win32/Registry.h"
#include "setup/win32/RestartManager.h"

namespace setup {

using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

constexpr const char* SShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The copies of the uninstaller in the temporary folder.
constexpr const wchar_t* kTempCopyPrefix = L"~torvelin-uninstall-";

std::string ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    const std::wstring wa = Wide(a), wb = Wide(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

// The folder to remove: the one given, else the one this program is in
// when it holds a record, else the one the entry names.
std::string FolderToRemove(const TSetupOptions& o) {
    if (!o.Folder.empty()) return platform::IncludeTrailingPathDelimiter(o.Folder);
    const std::string own = platform::ExtractFilePath(ThisProgram());
    if (platform::FileExists(own + SInstallRecordFileName)) return own;
    TRegistry registry(HKEY_CURRENT_USER, KEY_READ);
    if (registry.OpenKey(SUninstallEntryKey, false)) {
        const std::string location = registry.ReadString("InstallLocation");
        if (!location.empty()) return platform::IncludeTrailingPathDelimiter(location);
    }
    return own;
}

// Starts a copy of this program from the temporary folder to do the work,
// so that this one's file can go; false when it could not.
bool HandOverToTempCopy(const TSetupOptions& o, const std::string& folder) {
    const std::wstring copy = Wide(platform::TempDirectory()) + kTempCopyPrefix +
                              std::to_wstring(GetCurrentProcessId()) + L".exe";
    if (!CopyFileW(Wide(ThisProgram()).c_str(), copy.c_str(), FALSE)) return false;
    // A backslash before the closing quote would escape it: doubled, the
    // pair stands for the one (CommandLineToArgvW's rule).
    std::wstring quoted = Wide(folder);
    if (!quoted.empty() && quoted.back() == L'\\') quoted += L'\\';
    std::wstring line = L"\"" + copy + L"\" /UNINSTALL /FOLDER=\"" + quoted + L"\" /WAIT=" +
                        std::to_wstring(GetCurrentProcessId());
    if (o.Ui == TUiLevel::Silent) line += L" /SILENT";
    if (o.Ui == TUiLevel::VerySilent) line += L" /VERYSILENT";
    if (o.SuppressMsgBoxes) line += L" /SUPPRESSMSGBOXES";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(copy.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        DeleteFileW(copy.c_str());
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

// Copies that earlier uninstalls left in the temporary folder; a running
// one refuses to go.
void DeleteOldTempCopies() {
    const std::string temp = platform::TempDirectory();
    const std::string self = ThisProgram();
    for (const std::string& name : platform::ListDirectory(temp)) {
        const std::wstring wide = Wide(name);
        if (wide.rfind(kTempCopyPrefix, 0) != 0) continue;
        const std::string path = platform::IncludeTrailingPathDelimiter(temp) + name;
        if (!SameFile(path, self)) platform::DeleteFileByName(path);
    }
}

// The program a shortcut starts, as stored; empty when it cannot be read.
std::string ShortcutTarget(const std::string& link) {
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return {};
    std::string target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH * 2] = {};
        if (SUCCEEDED(file->Load(Wide(link).c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH * 2, nullptr, SLGP_RAWPATH)))
            target = Narrow(path);
        file->Release();
    }
    shellLink->Release();
    return target;
}

std::string DesktopShortcut() {
    TRegistry registry(HKEY_CURRENT_USER, KEY_READ);
    if (!registry.OpenKey(SShellFoldersKey, false)) return {};
    const std::string desktop = registry.ReadString("Desktop");
    return desktop.empty() ? std::string() : LinkFileFor(desktop);
}

// Waits, in a run with a window, until no file to be removed is in use or
// the user cancels; false when some still is.
bool NoneInUse(const std::vector<std::string>& files, bool ask) {
    for (;;) {
        const TInUseReport inUse = FindFilesInUse(files);
        if (inUse.Files.empty()) return true;
        if (!ask || !AskRetry(FilesInUseQuestion(inUse.Files))) return false;
    }
}

TExitCode Uninstall(const TSetupOptions& o, const std::string& folder) {
    // A silent run asks nothing; it tells of a failure unless boxes are
    // suppressed.
    const bool ask = !o.Silent();
    if (ask && !AskConfirmation(translator::gettext(SUninstallQuestion)))
        return TExitCode::Cancelled;
    TInstallRecord record;
    try {
        record = LoadInstallRecord(folder);
    } catch (const rtl::Exception& e) {
        // A record that cannot be read removes nothing: it fails closed.
        if (o.ShowsBoxes()) ShowError(e.Message());
        return TExitCode::UnpackFailed;
    }
    TUninstallPlan plan = PlanUninstall(folder, record);
    const std::string program = folder + SProgramFileName;
    const std::string desktop = DesktopShortcut();
    if (!desktop.empty() && platform::FileExists(desktop) &&
        std::none_of(plan.Shortcuts.begin(), plan.Shortcuts.end(),
                     [&](const std::string& s) { return SameFile(s, desktop); }))
        plan.Shortcuts.push_back(desktop);
    if (!NoneInUse(plan.Remove, ask)) return ask ? TExitCode::Cancelled : TExitCode::UnpackFailed;

    TUninstallHooks hooks;
    hooks.RemoveSetting = [](const std::string& file, const TRecordedSetting& entry) {
        return WritePrivateProfileStringW(Wide(entry.Section).c_str(), Wide(entry.Key).c_str(),
                                          nullptr, Wide(file).c_str()) != 0;
    };
    hooks.IsOurShortcut = [&](const std::string& link) {
        return SameFile(ShortcutTarget(link), program);
    };
    const TUninstallOutcome outcome = ExecuteUninstall(folder, record, plan, hooks);
    if (outcome.Complete())
        TRegistry(HKEY_CURRENT_USER, KEY_ALL_ACCESS).DeleteKey(SUninstallEntryKey);
    if (ask) ShowInformation(UninstallReport(outcome));
    return outcome.Complete() ? TExitCode::Installed : TExitCode::UnpackFailed;
}

} // namespace

void InstallUninstaller(const std::string& folder, TInstallRecord& record) {
    const std::string target = folder + SUninstallerFileName;
    const std::string self = ThisProgram();
    if (!SameFile(self, target) && !CopyFileW(Wide(self).c_str(), Wide(target).c_str(), FALSE)) {
        const int error = static_cast<int>(GetLastError());
        throw rtl::EFCreateError(rtl::Compose([&] {
            return rtl::Format(rtl::LoadResString(&rtl::SFCreateErrorEx),
                               {target, rtl::SysErrorText(error)});
        }));
    }
    // Setup.exe may have been read-only where it came from.
    SetFileAttributesW(Wide(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    const TRecordedFile copy = RecordedFileOf(SUninstallerFileName, target);
    record.AddFile(copy.Name, copy.Size, copy.Crc32);
}

void RegisterInstallation(const std::string& folder, const std::string& version,
                          int64_t installedBytes) {
    SYSTEMTIME today{};
    GetLocalTime(&today);
    TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    if (!registry.OpenKey(SUninstallEntryKey, true))
        throw ERegistryException(rtl::Compose([&] {
            return rtl::Format(rtl::LoadResString(&rtl::SRegSetDataFailed), {SUninstallEntryKey});
        }));
    for (const TUninstallEntryValue& value : UninstallEntryValues(
             folder, version, installedBytes, today.wYear, today.wMonth, today.wDay)) {
        if (value.IsNumber)
            registry.WriteInteger(value.Name, value.Number);
        else
            registry.WriteString(value.Name, value.Text);
    }
}

TExitCode RunUninstaller(const TSetupOptions& o) {
    const std::string folder = FolderToRemove(o);
    if (o.WaitFor == 0 && SameFile(platform::ExtractFilePath(ThisProgram()), folder) &&
        HandOverToTempCopy(o, folder))
        return TExitCode::Installed;
    if (o.WaitFor != 0) {
        // The original ends right after starting this copy; its file can go
        // once it has.
        if (HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(o.WaitFor))) {
            WaitForSingleObject(original, 30000);
            CloseHandle(original);
        }
    }
    DeleteOldTempCopies();
    return Uninstall(o, folder);
}

} // namespace setup
