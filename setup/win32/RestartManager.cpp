#include "setup/win32/RestartManager.h"

#include <windows.h>

#include <restartmanager.h>
#include <tlhelp32.h>

#include "platform/Files.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

namespace setup {

namespace {

using platform::win32::BindProc;
using platform::win32::Narrow;
using platform::win32::Wide;

// The Restart Manager's functions, bound once for the program's life; all
// null where the system has none (before Vista) or lacks one of them.
struct TRestartManagerApi {
    decltype(&RmStartSession) StartSession = nullptr;
    decltype(&RmRegisterResources) RegisterResources = nullptr;
    decltype(&RmGetList) GetList = nullptr;
    decltype(&RmShutdown) Shutdown = nullptr;
    decltype(&RmEndSession) EndSession = nullptr;
    bool Loaded() const { return StartSession != nullptr; }
};

const TRestartManagerApi& RestartManager() {
    static const TRestartManagerApi api = [] {
        TRestartManagerApi rm;
        HMODULE module = platform::win32::LoadSystemLibrary(L"rstrtmgr.dll");
        if (!module || !BindProc(module, "RmStartSession", rm.StartSession) ||
            !BindProc(module, "RmRegisterResources", rm.RegisterResources) ||
            !BindProc(module, "RmGetList", rm.GetList) ||
            !BindProc(module, "RmShutdown", rm.Shutdown) ||
            !BindProc(module, "RmEndSession", rm.EndSession))
            return TRestartManagerApi{};
        return rm;
    }();
    return api;
}

// One Restart Manager session with a set of files registered, ended when
// the object goes.
class TSession {
  public:
    TSession(const TRestartManagerApi& rm, const std::vector<std::string>& files) : FRm(rm) {
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        FError = FRm.StartSession(&FHandle, 0, key);
        if (FError != ERROR_SUCCESS) return;
        FStarted = true;
        std::vector<std::wstring> wide;
        for (const std::string& file : files)
            wide.push_back(Wide(file));
        std::vector<LPCWSTR> names;
        for (const std::wstring& name : wide)
            names.push_back(name.c_str());
        FError = FRm.RegisterResources(FHandle, static_cast<UINT>(names.size()), names.data(), 0,
                                       nullptr, 0, nullptr);
    }
    ~TSession() {
        if (FStarted) FRm.EndSession(FHandle);
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // ERROR_SUCCESS when the session started and took the files.
    DWORD Error() const { return FError; }
    DWORD Handle() const { return FHandle; }

    // The names of the applications holding any of the files; false when
    // the Restart Manager could not tell.
    bool Applications(std::vector<std::string>& names) const {
        if (FError != ERROR_SUCCESS) return false;
        std::vector<RM_PROCESS_INFO> infos;
        UINT needed = 0, count = 0;
        DWORD reasons = 0;
        DWORD result = FRm.GetList(FHandle, &needed, &count, nullptr, &reasons);
        // The list can grow between the calls: ask again with room for it.
        for (int tries = 0; result == ERROR_MORE_DATA && tries < 8; ++tries) {
            infos.resize(needed);
            count = needed;
            result = FRm.GetList(FHandle, &needed, &count, infos.data(), &reasons);
        }
        if (result != ERROR_SUCCESS) return false;
        names.clear();
        for (UINT i = 0; i < count && i < infos.size(); ++i)
            names.push_back(Narrow(infos[i].strAppName));
        return true;
    }

  private:
    const TRestartManagerApi& FRm;
    DWORD FHandle = 0;
    DWORD FError = ERROR_SUCCESS;
    bool FStarted = false;
};

// True when another handle (or a running program's image) holds the file:
// opening it for writing without sharing meets a sharing or lock violation.
// A file that is refused for any other reason (read-only, no rights) is not
// in use as far as this can tell.
bool IsHeldOpen(const std::string& file) {
    HANDLE h = CreateFileW(Wide(file).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The file name of the running program whose image file is, empty when
// none is: the Restart Manager's answer where it gives none.
std::string RunningProgramOf(const std::string& file) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(Wide(file).c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return {};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    std::string name;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && name.empty();
         more = Process32NextW(snapshot, &entry)) {
        HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process) continue;
        wchar_t image[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process, 0, image, &size) &&
            CompareStringOrdinal(image, static_cast<int>(size), full, static_cast<int>(length),
                                 TRUE) == CSTR_EQUAL)
            name = Narrow(entry.szExeFile);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return name;
}

} // namespace

TInUseReport FindFilesInUse(const std::vector<std::string>& files) {
    TInUseReport report;
    std::vector<std::string> existing;
    for (const std::string& file : files)
        if (platform::FileExists(file)) existing.push_back(file);
    if (existing.empty()) return report;

    // The applications holding each file. One session answers for all the
    // files at once; only when it names someone are the files asked about
    // one by one, to tell which file each application holds.
    std::vector<std::vector<std::string>> holders(existing.size());
    const TRestartManagerApi& rm = RestartManager();
    std::vector<std::string> any;
    if (rm.Loaded() && TSession(rm, existing).Applications(any)) {
        report.RestartManagerAnswered = true;
        if (existing.size() == 1)
            holders[0] = any;
        else if (!any.empty())
            for (size_t i = 0; i < existing.size(); ++i)
                TSession(rm, {existing[i]}).Applications(holders[i]);
    }
    for (size_t i = 0; i < existing.size(); ++i) {
        for (const std::string& application : holders[i])
            report.Files.push_back({existing[i], application});
        if (holders[i].empty() && IsHeldOpen(existing[i]))
            report.Files.push_back({existing[i], RunningProgramOf(existing[i])});
    }
    return report;
}

bool CloseApplicationsUsing(const std::vector<std::string>& files, int& error) {
    const TRestartManagerApi& rm = RestartManager();
    if (!rm.Loaded()) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return false;
    }
    std::vector<std::string> existing;
    for (const std::string& file : files)
        if (platform::FileExists(file)) existing.push_back(file);
    TSession session(rm, existing);
    DWORD result = session.Error();
    if (result == ERROR_SUCCESS) result = rm.Shutdown(session.Handle(), 0, nullptr);
    error = static_cast<int>(result);
    return result == ERROR_SUCCESS;
}

} // namespace setup
