#include "setup/Uninstall.h"

#include <algorithm>
#include <cstdio>

#include "platform/Files.h"
#include "runtime/Format.h"
#include "setup/InstallPlaces.h"

namespace setup {

namespace {

std::string Lines(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths)
        text += (text.empty() ? "" : "\r\n") + path; // as the translated texts break lines
    return text;
}

// The record that stays when some of our files could not be deleted: just
// those, so that the next uninstall removes them and nothing that is gone.
TInstallRecord RecordOfFailed(const std::string& folder, const TInstallRecord& record,
                              const std::vector<std::string>& failed) {
    const std::string prefix = platform::IncludeTrailingPathDelimiter(folder);
    TInstallRecord rest;
    for (const TRecordedFile& file : record.Files) {
        std::string path = prefix + file.Name;
        std::replace(path.begin(), path.end(), '/', platform::PathDelim());
        if (std::find(failed.begin(), failed.end(), path) != failed.end())
            rest.AddFile(file.Name, file.Size, file.Crc32);
    }
    return rest;
}

} // namespace

std::vector<TUninstallEntryValue> UninstallEntryValues(const std::string& folder,
                                                       const std::string& version,
                                                       int64_t installedBytes, int year, int month,
                                                       int day) {
    const std::string uninstaller = "\"" + folder + SUninstallerFileName + "\" " + SUninstallOption;
    // Whole KiB, rounded up: a few bytes still take room on the disk.
    const int64_t kib = (std::max<int64_t>(installedBytes, 0) + 1023) / 1024;
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", year, month, day);
    auto text = [](const char* name, std::string value) {
        return TUninstallEntryValue{name, std::move(value), 0, false};
    };
    auto number = [](const char* name, uint32_t value) {
        return TUninstallEntryValue{name, {}, value, true};
    };
    std::vector<TUninstallEntryValue> values = {
        text("DisplayName", SDisplayName),
        text("Publisher", SPublisher),
        text("InstallLocation", folder),
        text("DisplayIcon", folder + SProgramFileName),
        number("EstimatedSize", static_cast<uint32_t>(std::min<int64_t>(kib, UINT32_MAX))),
        text("InstallDate", date),
        number("NoModify", 1),
        number("NoRepair", 1),
        text("UninstallString", uninstaller),
        text("QuietUninstallString", uninstaller + " " + SQuietOption),
    };
    if (!version.empty()) values.insert(values.begin() + 1, text("DisplayVersion", version));
    return values;
}

TUninstallOutcome ExecuteUninstall(const std::string& folder, const TInstallRecord& record,
                                   const TUninstallPlan& plan, const TUninstallHooks& hooks) {
    TUninstallOutcome outcome;
    // The user's own files and the ones the user changed stay, and are named.
    outcome.Kept = plan.Kept;
    outcome.Kept.insert(outcome.Kept.end(), plan.Others.begin(), plan.Others.end());
    auto remove = [&](const std::string& path) {
        if (platform::DeleteFileByName(path) || !platform::FileExists(path))
            outcome.Removed.push_back(path);
        else
            outcome.Failed.push_back(path);
    };
    for (const std::string& path : plan.Remove)
        remove(path);
    // A killed unpack's temporary files hold no one's data.
    for (const std::string& path : plan.Leftovers)
        platform::DeleteFileByName(path);

    const std::string prefix = platform::IncludeTrailingPathDelimiter(folder);
    for (const TRecordedSetting& entry : plan.RemoveSettings)
        if (hooks.RemoveSetting) hooks.RemoveSetting(prefix + entry.File, entry);
    for (const std::string& path : plan.DeleteSettingsFiles)
        remove(path);
    for (const std::string& shortcut : plan.Shortcuts)
        if (hooks.IsOurShortcut && hooks.IsOurShortcut(shortcut)) remove(shortcut);

    for (const std::string& sub : plan.RemoveFolders)
        platform::RemoveDir(sub);
    const std::string recordFile = prefix + SInstallRecordFileName;
    if (outcome.Failed.empty())
        platform::DeleteFileByName(recordFile);
    else if (plan.FolderExists)
        SaveInstallRecord(folder, RecordOfFailed(folder, record, outcome.Failed));
    // Only an empty folder goes: whatever else is in it is someone's.
    if (plan.FolderExists && outcome.Failed.empty())
        outcome.FolderRemoved = platform::RemoveDir(folder);
    return outcome;
}

std::string UninstallReport(const TUninstallOutcome& outcome) {
    std::string text = translator::gettext(SUninstallDone);
    if (!outcome.Kept.empty())
        text +=
            "\r\n\r\n" + rtl::Format(translator::gettext(SUninstallKept), {Lines(outcome.Kept)});
    if (!outcome.Failed.empty())
        text += "\r\n\r\n" +
                rtl::Format(translator::gettext(SUninstallFailed), {Lines(outcome.Failed)});
    return text;
}

} // namespace setup
