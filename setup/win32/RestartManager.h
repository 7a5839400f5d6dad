#pragma once
// Which of the files an installation will write over are in use, and by
// which program, so the wizard can ask the user to close it before anything
// is replaced (a program still open would otherwise stop the unpack halfway,
// with the old and the new release side by side).
//
// The Restart Manager (rstrtmgr.dll from the system folder, loaded at run
// time through platform/win32/SystemLibrary.h) names the applications that
// hold the files. Where it cannot answer (a system without it, or one that
// answers without knowing, as Wine does), each file it named no holder for
// is opened for writing without sharing: a sharing or lock violation means
// the file is in use; the file is then named with the running program whose
// image it is, if any (a program file held open is most often the program
// itself), else without an application. A
// program's image is held that way too, so a running TORVELIN.EXE is found
// either way.
//
//     std::vector<std::string> files = unzipper.ExistingTargets("*.*");
//     TInUseReport inUse = FindFilesInUse(files);
//     for (const TFileInUse& f : inUse.Files) ... // ask to close f.Application (or say f.File)
//
// To check the Restart Manager's side on real Windows, run
// setup_win32_tests.exe there (--gtest_filter=FilesInUse.*): away from Wine
// it requires the Restart Manager to answer and to name the application of
// the suspended copy of the test program that holds TORVELIN.EXE.
#include <string>
#include <vector>

#include "setup/FilesInUse.h"

namespace setup {

struct TInUseReport {
    // Each file in use, in the order given; a file that two applications
    // hold is listed once for each.
    std::vector<TFileInUse> Files;
    // Whether the Restart Manager could be asked about the files at all;
    // false when every file was tried by opening it. (Wine's answers, with
    // an empty list, so there the files are tried by opening them too.)
    bool RestartManagerAnswered = false;
};

// Finds out which of files are in use now. Files that do not exist are
// never in use; a file that cannot be opened for another reason (read-only,
// no rights) is not reported as in use. Raises nothing.
TInUseReport FindFilesInUse(const std::vector<std::string>& files);

// Asks the applications that hold any of files to close, through the
// Restart Manager (RmShutdown without force: each application may refuse or
// ask its user to save first), and waits until they have. True when they
// closed; false with error set to the system's code when one refused or the
// Restart Manager is not there to ask (ERROR_CALL_NOT_IMPLEMENTED). An
// emulated Restart Manager may say yes without closing anything: ask
// FindFilesInUse again afterwards.
bool CloseApplicationsUsing(const std::vector<std::string>& files, int& error);

} // namespace setup
