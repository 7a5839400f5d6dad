#pragma once
// A program still open holds files an upgrade must replace: what the run
// tells the user before anything is replaced (the finding itself is the
// system's: setup/win32/RestartManager.h).
#include <string>
#include <vector>

#include "setup/RunOutcome.h" // EInstallCancelled, which the question ends with
#include "translation/Translator.h"

namespace setup {

struct TFileInUse {
    std::string File;        // the path as given
    std::string Application; // the program holding it; empty when only the file is known
};

// TRANSLATORS: the lines that follow name each file, one a line
inline constexpr const char* SFilesInUseQuestion = translator::gettext_noop(
    "Een programma dat nog open is, gebruikt bestanden die de installatie moet vervangen:\n\n%s\n\n"
    "Sluit het programma en kies Opnieuw, of kies Annuleren om de installatie af te breken.");
// TRANSLATORS: a run without window ends so; the lines that follow name each file, one a line
inline constexpr const char* SFilesInUseFailure = translator::gettext_noop(
    "Een programma dat nog open is, gebruikt bestanden die de installatie moet vervangen:\n\n%s\n\n"
    "Sluit het programma en start de installatie opnieuw.");
// TRANSLATORS: the program's name and the file's full name
inline constexpr const char* SFileUsedByProgram = translator::gettext_noop("%s gebruikt %s");
// TRANSLATORS: the file's full name, when the program holding it is not known
inline constexpr const char* SFileInUse = translator::gettext_noop("%s is in gebruik");

// The question to the user naming every file and, where known, its program,
// one a line; a file that two programs hold is named on one line each.
std::string FilesInUseQuestion(const std::vector<TFileInUse>& files);
// The same files as a run without window ends with them.
rtl::TText FilesInUseFailure(const std::vector<TFileInUse>& files);

} // namespace setup
