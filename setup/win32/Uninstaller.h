#pragma once
// Torvelin among the installed programs, and its removal.
//
// The run registers the installation under HKEY_CURRENT_USER (see
// setup/Uninstall.h for the values) and leaves Setup.exe itself in the
// folder as UNINSTALL.EXE, recorded like the files it unpacked. Started
// with /UNINSTALL (and /VERYSILENT for no window at all), it removes what
// the installations wrote. A running program's file cannot be deleted on
// Windows, so the uninstaller in the folder copies itself to the temporary
// folder, starts the copy and ends; the copy waits for it to be gone, does
// the work, and deletes copies that earlier uninstalls left there (its own
// file stays until the next one).
//
// Exit codes, those of the installation (setup/ExitCodes.h): 0 removed
// (also when there was nothing left to remove), 2 the user said no or
// cancelled at a file in use, 5 a file of ours in use in a silent run, one
// that could not be deleted, or a record that could not be read (the entry
// then stays).
#include <string>

#include "setup/CommandLine.h"
#include "setup/ExitCodes.h"
#include "setup/InstallRecord.h"

namespace setup {

// Copies the running program into folder as the uninstaller and records it
// in record with its size and CRC-32. Raises rtl::Exception naming the file
// and the system's reason when it cannot.
void InstallUninstaller(const std::string& folder, TInstallRecord& record);

// Creates or updates the entry (setup/Uninstall.h's values). Raises
// ERegistryException when the system refuses a value.
void RegisterInstallation(const std::string& folder, const std::string& version,
                          int64_t installedBytes);

// The uninstaller (options.Mode is Uninstall): the whole removal, as the
// header above says. A silent run asks nothing and shows only a failure,
// unless boxes are suppressed.
TExitCode RunUninstaller(const TSetupOptions& options);

} // namespace setup
