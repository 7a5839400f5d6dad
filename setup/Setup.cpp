// Program entry of the installation wizard.
#include <windows.h>

#include "setup/Application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using setup::Application;
    // COM is needed only by the desktop shortcut at the end of the run, which
    // reports its own error should COM be unavailable.
    Application.Initialize();
    Application.Title = "Setup";
    Application.CreateForm();
    return Application.Run();
}
