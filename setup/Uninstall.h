#pragma once
// Carrying out an uninstall plan (setup/InstallRecord.h decides what goes):
// the unchanged files the installations wrote, the temporary files of a
// killed unpack, our settings entries (and a settings file with nothing
// else in it), the shortcuts that still point at the program, the folders
// the files emptied, the record and, when nothing else is left, the folder.
// What the user changed or made stays byte for byte.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "setup/InstallRecord.h"
#include "translation/Translator.h"

namespace setup {

// The uninstaller beside the program: Setup.exe itself under this name,
// started with SUninstallOption (and SQuietOption for no window).
inline constexpr const char* SUninstallerFileName = "UNINSTALL.EXE";
inline constexpr const char* SUninstallOption = "/UNINSTALL";
inline constexpr const char* SQuietOption = "/VERYSILENT /SUPPRESSMSGBOXES";

// Message texts (Dutch; they pass through gettext).
inline constexpr const char* SUninstallQuestion = translator::gettext_noop(
    "Torvelin en alle onderdelen ervan verwijderen? Bestanden die u zelf gemaakt of gewijzigd "
    "hebt, blijven staan.");
inline constexpr const char* SUninstallDone =
    translator::gettext_noop("Torvelin is van deze computer verwijderd.");
// TRANSLATORS: one full file name a line
inline constexpr const char* SUninstallKept = translator::gettext_noop(
    "Deze bestanden zijn gewijzigd of niet door de installatie gemaakt, en zijn niet "
    "verwijderd:\n%s");
// TRANSLATORS: one full file name a line
inline constexpr const char* SUninstallFailed =
    translator::gettext_noop("Deze bestanden konden niet worden verwijderd:\n%s");

// The program's entry among the installed programs of the current user
// (HKEY_CURRENT_USER, no elevation), under a key of its own that every run
// updates.
inline constexpr const char* SUninstallEntryKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Torvelin";
inline constexpr const char* SDisplayName = "Torvelin";
// The maker, as the abort page names it.
inline constexpr const char* SPublisher = "Kelmar BVBA";

struct TUninstallEntryValue {
    std::string Name;
    std::string Text;    // a string value, unless IsNumber
    uint32_t Number = 0; // a DWORD value
    bool IsNumber = false;
};

// The entry's values for an installation in folder (with its trailing
// delimiter) of the given version, whose files take installedBytes, made on
// the given day.
std::vector<TUninstallEntryValue> UninstallEntryValues(const std::string& folder,
                                                       const std::string& version,
                                                       int64_t installedBytes, int year, int month,
                                                       int day);

struct TUninstallHooks {
    // Removes one settings entry from its file (full path); true when done.
    std::function<bool(const std::string& file, const TRecordedSetting& entry)> RemoveSetting;
    // Whether a shortcut still points at this installation's program: a
    // shortcut the user pointed elsewhere stays.
    std::function<bool(const std::string& shortcut)> IsOurShortcut;
};

struct TUninstallOutcome {
    std::vector<std::string> Removed; // full paths of the files deleted
    std::vector<std::string> Kept;    // changed, unreadable or the user's own: left alone
    std::vector<std::string> Failed;  // ours, but the system refused to delete them
    bool FolderRemoved = false;
    // Nothing of ours is left behind: the registry entry may go too.
    bool Complete() const { return Failed.empty(); }
};

// Carries out plan for folder. A file that cannot be deleted stays in the
// record (written again with only those), so a later uninstall finishes the
// work; otherwise the record goes. Raises nothing for a file it cannot
// delete; a record it cannot write raises as SaveInstallRecord does.
TUninstallOutcome ExecuteUninstall(const std::string& folder, const TInstallRecord& record,
                                   const TUninstallPlan& plan, const TUninstallHooks& hooks);

// The message the uninstaller ends with: done, then the files kept and the
// files that could not be deleted, each a line.
std::string UninstallReport(const TUninstallOutcome& outcome);

} // namespace setup
