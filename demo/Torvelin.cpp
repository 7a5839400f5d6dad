// A stand-in for the installed ordering program, so the wizard has something
// real to install and the desktop shortcut something to start. It shows where
// it runs from and the language that the wizard recorded in SETUP.INI.
#include <windows.h>

#include <string>

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring Summary() {
    std::wstring folder = ProgramFolder();
    wchar_t language[32];
    GetPrivateProfileStringW(L"SETUP", L"TAAL", L"(geen)", language, 32, (folder + L"SETUP.INI").c_str());
    return L"Torvelin bestelprogramma (demo)\r\n\r\nGe\u00EFnstalleerd in: " + folder +
           L"\r\nTaal (SETUP.INI): " + language;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, Summary().c_str(), L"Torvelin", MB_OK | MB_ICONINFORMATION);
    return 0;
}
