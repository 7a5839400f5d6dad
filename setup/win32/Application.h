#pragma once
// The program's application object: the title used by message boxes, COM on
// the GUI thread, the main form and the message loop.
#include <windows.h>
#include <memory>
#include <string>

#include "setup/CommandLine.h"

namespace setup {

class TfrmMain;

class TApplication {
  public:
    std::string Title;
    // What the command line asked for; the wizard as it is without options
    // by default.
    TSetupOptions Options;

    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Initialises COM (OLE) for the GUI thread and registers the common
    // controls. Returns false when COM could not be initialised.
    bool Initialize();
    // Creates the main form.
    void CreateForm();
    // Shows the main form, or runs the installation at once when Options
    // ask for a silent run, and handles messages until the form is closed.
    // Returns the exit code (TExitCode).
    int Run();
    // The failure message the run showed (or would have shown), or empty.
    rtl::TText FailureMessage() const;

    // The window of the form that is active now, or null when none is.
    HWND ActiveFormHandle() const;
    // The main form's window, or null when there is none (yet or any more).
    HWND MainFormHandle() const;

  private:
    bool FOleInitialized = false;
    std::unique_ptr<TfrmMain> FMainForm;
};

extern TApplication Application;

} // namespace setup
