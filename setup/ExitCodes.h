#pragma once
// How Setup.exe ends, as its exit code: the same for the wizard and the
// silent runs, so that a deployment script can tell what to do next without
// reading a log. The values are part of the program's interface (README,
// the /? box): never renumber them.
#include <exception>

namespace setup {

enum class TExitCode : int {
    Installed = 0,
    BadCommandLine = 1,
    Cancelled = 2,      // Cancel on any page, or the close box
    DownloadFailed = 3, // connection, time-out, proxy, HTTP status, TLS
    ReleaseRefused = 4, // manifest, signature, serial, expiry, size or hash
    UnpackFailed = 5,   // damaged archive, an entry not written, no room
    SettingsFailed = 6, // settings file or desktop shortcut
    AlreadyRunning = 7, // another Setup.exe runs in this session
};

// The step of the installation run that is at work; a failure's exit code
// follows from it.
enum class TInstallStep {
    Download, // the release manifest and the archives
    Unpack,
    Settings, // the settings file and the shortcut
};

// The exit code of a failure raised in step: the step's own code, except
// that a release refusal (which a download raises when an archive does not
// match the manifest) is one whatever the step, and so is no room on the
// drive (the unpack's, also when it is found before a download). The error's class decides,
// never its text.
TExitCode ExitCodeFor(TInstallStep step, const std::exception& failure);

} // namespace setup
