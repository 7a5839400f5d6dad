#pragma once
// What the installation tests read from the screen while Setup.exe's window
// thread is busy and answers no messages: pictures and the progress bar's
// fill as drawn.
#include <windows.h>

#include <string>

namespace e2e {

// Saves the screen area of the window (the whole screen for null) as a
// 24-bit BMP file. Returns false when the picture could not be taken or saved.
bool ScreenShot(HWND window, const std::string& bmpFile);

// The share of the progress bar's inner width, 0 to 1, drawn in the
// highlight colour along its middle row.
double BarFill(HWND bar);

} // namespace e2e
