#pragma once
// What the installation tests read from the screen while Setup.exe's window
// thread is busy and answers no messages: pictures and the progress bar's
// fill as drawn.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace e2e {

// Where the installation runs of every e2e program install, and the desktop
// folder the tests make and point the prefix's Shell Folders at.
inline const std::string kTarget = "C:\\TORVELINNEW\\";
inline const std::string kDesktop = "C:\\E2EDESKTOP";

// Saves the screen area of the window (the whole screen for null) as a
// 24-bit BMP file. Returns false when the picture could not be taken or saved.
bool ScreenShot(HWND window, const std::string& bmpFile);

// The share of the progress bar's inner width, 0 to 1, drawn in the
// highlight colour along its middle row.
double BarFill(HWND bar);

// Has the input helper of run-install-e2e.sh (which watches the folder) make
// a real input event through the X server: "click X Y" at screen coordinates,
// or "key NAME..." (X key names). True when the event was made.
bool RealInput(const std::string& folder, const std::string& request);

// The run's work folder, as run-install-e2e.sh makes it (INSTALL_E2E_WORK),
// the files its nginx serves, and the marker files that switch its modes.
std::string Env(const char* name, const char* fallback = "");
std::string Work();
std::string Served(const std::string& name);
std::string Marker(const std::string& name);
// A build with release keys fetches and checks the release manifest first.
bool Signed();

// The names of the files and folders in folder, sorted: the program's, so
// the uninstaller and its record of what the runs wrote are left out (the
// uninstall tests check them).
std::vector<std::string> FilesIn(const std::string& folder);

// The largest working set the process has had so far, in bytes; 0 when the
// system does not tell.
size_t PeakWorkingSet(HANDLE process);

} // namespace e2e
