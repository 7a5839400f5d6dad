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

// Limits the search for every library loaded from now on, by the program
// and by the system DLLs on its behalf (COM, the shell and the common controls
// load more at run time), to the system folder. Where the system lacks
// SetDefaultDllDirectories (Vista and 7 without update KB2533623) the nearest
// it offers is done instead: the current folder is taken out of the search
// (SetDllDirectoryW with an empty path) and SearchPath is put in its safe
// mode; the program's own loads name the system folder in full anyway. Call
// it before anything loads a library; it raises nothing.
void RestrictDllSearchToSystem();

// Binds one export to a typed function pointer; false when it is missing.
template <typename F> bool BindProc(HMODULE module, const char* name, F& target) {
    target = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}

} // namespace platform::win32
