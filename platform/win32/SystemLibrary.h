#pragma once
// Loading a system DLL at run time by its full path in the system folder.
// A bare name would be searched for in the program's own folder first, and a
// downloaded Setup.exe sits in the user's Downloads folder beside whatever
// else was saved there: a DLL planted under a system DLL's name would run its
// code inside the wizard. Every run-time load of the Windows adapters goes
// through here.
#include <windows.h>

#include <mutex>

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

// One entry point of a DLL that is loaded when first needed: its export name
// and, once bound, its address typed as the SDK declares the function. It is
// called as the function itself. A table of them is a struct of Export
// members (each declared with WIN32_EXPORT), bound at once by BindExports,
// once per process through BoundOnce.
template <typename F> class Export {
  public:
    explicit constexpr Export(const char* name) : FName(name) {}
    bool Bind(HMODULE module) { return BindProc(module, FName, FProc); }
    operator F() const { return FProc; }

  private:
    const char* FName;
    F FProc = nullptr;
};

// Binds every export listed from module, in order: false when module is null
// or an export is missing (GetLastError says why), and then no export of the
// table is to be called.
template <typename... F> bool BindExports(HMODULE module, Export<F>&... exports) {
    return module != nullptr && (exports.Bind(module) && ...);
}

// The one table of type Table (its Export members and what its Bind() makes
// of them), bound by Bind() on the first call from any thread, which the
// others wait for, and kept for the life of the process.
template <typename Table> Table& BoundOnce() {
    static Table table;
    static std::once_flag once;
    std::call_once(once, [] { table.Bind(); });
    return table;
}

} // namespace platform::win32

// A table member named as the function it binds. decltype names the
// function's type without using the function, so the program gains no
// import of its DLL.
// clang-format off
#define WIN32_EXPORT(Function) ::platform::win32::Export<decltype(&::Function)> Function{#Function}
// clang-format on
