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
// Exit codes: 0 removed (also when there was nothing left to remove), 1 a
// file of ours could not be deleted or the record could not be read (the
// entry stays), 2 the user said no or cancelled at a file in use, 3 a file
// in use in a run without window.
#include <string>

#include "setup/InstallRecord.h"

namespace setup {

// Copies the running program into folder as the uninstaller and records it
// in record with its size and hash. Raises rtl::Exception naming the file
// and the system's reason when it cannot.
void InstallUninstaller(const std::string& folder, TInstallRecord& record);

// Creates or updates the entry (setup/Uninstall.h's values). Raises
// ERegistryException when the system refuses a value.
void RegisterInstallation(const std::string& folder, const std::string& version,
                          int64_t installedBytes);

// Whether the command line asks for the uninstaller.
bool IsUninstallCommand(const wchar_t* commandLine);

// The uninstaller: the whole removal, as the header above says; the exit code.
int RunUninstaller(const wchar_t* commandLine);

} // namespace setup
