// Program entry of the installation wizard.
#include <windows.h>

#include "platform/win32/SystemLibrary.h"
#include "setup/win32/Application.h"
#include "setup/win32/Uninstaller.h"

namespace {

// Runs before every other initialiser of the program (priority 101 is the
// first that programs may take), so before the translation layer and the
// form load anything. Setup.exe is started from a Downloads folder: from here
// on no library is looked for there, whoever loads it. shell32, ole32 and
// comctl32, which would otherwise be loaded with the program and bring their
// own dependencies from that folder, are delay-loaded (cmake/DelayLoad.cmake)
// and so arrive after this.
__attribute__((constructor(101))) void LoadLibrariesFromTheSystemOnly() {
    platform::win32::RestrictDllSearchToSystem();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using setup::Application;
    // COM is needed only by the desktop shortcut at the end of the run, which
    // reports its own error should COM be unavailable.
    Application.Initialize();
    Application.Title = "Setup";
    if (setup::IsUninstallCommand(GetCommandLineW())) return setup::RunUninstaller(GetCommandLineW());
    Application.CreateForm();
    return Application.Run();
}
