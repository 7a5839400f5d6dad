#pragma once
// Unpacking a downloaded component archive beside itself.
#include <functional>
#include <string>
#include <vector>

#include "archive/UnZipper.h"
#include "translation/Translator.h"

namespace setup {

// TRANSLATORS: the entry's name, the archive's file name and the reason
inline constexpr const char* SEntryNotUnpacked =
    translator::gettext_noop("Het bestand \"%s\" uit %s kon niet worden uitgepakt: %s");

// Extracts every entry of archiveFile into the archive's own folder with the
// extractor's defaults, releases the archive and deletes its file. Entries
// that fail are skipped by the extractor; afterwards the first of them is
// raised as an error naming the entry and its failure. A stored date or time
// that cannot be converted is no such failure: the file is complete and keeps
// the current time. The archive is released on every path; after an error
// its file stays.
//
// Before anything is written, the temporary files that a killed unpack left
// in the folder are removed, and beforeReplacing (when set) is given the
// existing files the archive would write over (none: not called); it may
// raise to stop the unpack before any of them is touched, and the archive
// stays then too.
void UnpackArchive(
    arc::TArcUnZipper& unzipper, const std::string& archiveFile,
    const std::function<void(const std::vector<std::string>& replaced)>& beforeReplacing = {});

} // namespace setup
