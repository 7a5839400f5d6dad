#include "setup/win32/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "setup/win32/ufrmMain.h"

namespace setup {

TApplication Application;

TApplication::~TApplication() {
    FMainForm.reset();
    if (FOleInitialized) OleUninitialize();
}

bool TApplication::Initialize() {
    // OLE rather than bare COM: the shell's link object and drag and drop
    // need a single-threaded apartment on the GUI thread.
    FOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    return FOleInitialized;
}

void TApplication::CreateForm() {
    FMainForm = std::make_unique<TfrmMain>();
    frmMain = FMainForm.get();
}

int TApplication::Run() {
    if (!FMainForm) return 0;
    if (Options.Silent()) {
        // The run happens here, before the loop; the form posts its own
        // close at the end, which the loop below then handles.
        FMainForm->RunUnattended(Options);
    } else {
        FMainForm->ApplyOptions(Options);
        FMainForm->Show();
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (FMainForm->PreTranslateMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(FMainForm->ExitCode());
}

rtl::TText TApplication::FailureMessage() const {
    return FMainForm ? FMainForm->FailureMessage() : rtl::TText();
}

HWND TApplication::MainFormHandle() const {
    return FMainForm && IsWindow(FMainForm->Handle()) ? FMainForm->Handle() : nullptr;
}

HWND TApplication::ActiveFormHandle() const {
    HWND active = GetActiveWindow();
    if (FMainForm && active && active == FMainForm->Handle()) return active;
    return nullptr;
}

} // namespace setup
