#pragma once
// TShellLink writes a Windows shortcut (shell link) file through the shell's
// own link object over COM. The calling thread must have COM initialised.
#include <cstdint>
#include <string>

#include "runtime/Exception.h"

namespace setup {

enum class TShellLinkWindowState : uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

// A COM call that failed, with its HRESULT.
class EOleSysError : public rtl::Exception {
public:
    EOleSysError(std::string message, long errorCode) : rtl::Exception(std::move(message)), ErrorCode(errorCode) {}
    long ErrorCode;
};

// The object lacks an interface the caller needs.
class EIntfCastError : public rtl::Exception {
    using rtl::Exception::Exception;
};

class TShellLink {
public:
    // The properties read and write their values directly.
    std::string Arguments;
    std::string Description;
    std::string IconFile;          // empty: the link gets no icon of its own
    uint32_t IconIndex = 0;
    uint16_t HotKey = 0;           // low byte virtual-key code, high byte modifier flags
    std::string LinkFile;          // the .lnk file to write
    std::string ProgramFile;       // the link's target
    TShellLinkWindowState WindowState = TShellLinkWindowState::wsNormal;
    std::string WorkingDirectory;  // empty: the folder of ProgramFile, set by Write

    // Writes the shortcut to LinkFile, replacing a file of that name. Only the
    // creation of the link object and a missing interface raise; a setter or
    // the save that fails (say, LinkFile's folder does not exist) does not.
    void Write();
};

// The show command the shell stores for a window state (1, 6 or 3).
int ShowCommandFor(TShellLinkWindowState state);

} // namespace setup
