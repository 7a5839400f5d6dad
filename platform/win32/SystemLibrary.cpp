#include "platform/win32/SystemLibrary.h"

#include <string>

namespace platform::win32 {

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearchToSystem() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesProc setDefault = nullptr;
    if (kernel && BindProc(kernel, "SetDefaultDllDirectories", setDefault) &&
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    SetDllDirectoryW(L"");
    using SetSearchPathModeProc = BOOL(WINAPI*)(DWORD);
    SetSearchPathModeProc setSearchMode = nullptr;
    if (kernel && BindProc(kernel, "SetSearchPathMode", setSearchMode))
        setSearchMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

} // namespace platform::win32
