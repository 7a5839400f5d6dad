#pragma once
// Loading a system DLL at run time by its full path in the system folder.
// A bare name would be searched for in the program's own folder first, and a
// downloaded Setup.exe sits in the user's Downloads folder beside whatever
// else was saved there: a DLL planted under a system DLL's name would run its
// code inside the wizard. Every run-time load of the Windows adapters goes
// through here.
#include <windows.h>

namespace platform::win32 {

// The module, or nullptr with GetLastError() set. Libraries the named DLL
// imports in turn are searched from the system folder too
// (LOAD_WITH_ALTERED_SEARCH_PATH), never from the program's folder first.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Binds one export to a typed function pointer; false when it is missing.
template <typename F> bool BindProc(HMODULE module, const char* name, F& target) {
    target = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}

} // namespace platform::win32
