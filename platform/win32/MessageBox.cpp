#include "platform/MessageBox.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

void ShowMessageBox(const std::string& caption, const std::string& text) {
    MessageBoxW(nullptr, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), MB_OK);
}

} // namespace platform
