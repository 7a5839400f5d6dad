// Program entry of the installation wizard.
#include <windows.h>

#include "setup/Application.h"
#include "setup/Dialogs.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using setup::Application;
    if (!Application.Initialize()) {
        // Without COM the desktop shortcut could never be written.
        Application.Title = "Setup";
        setup::ShowError("COM could not be initialised.");
        return 1;
    }
    Application.Title = "Setup";
    Application.CreateForm();
    return Application.Run();
}
