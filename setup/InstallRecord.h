#pragma once
// What the installations wrote, kept in the target folder as INSTALL.REC, so
// that an uninstaller removes exactly that and nothing else: each unpacked
// file with its size and CRC-32, the settings entries set (SETUP.INI,
// section SETUP, key TAAL) and the shortcuts made. A later installation
// merges into the record: a file written again takes its new size and CRC.
//
// The CRC-32 is the archive entry's, which the extractor has checked against
// the bytes it wrote before it reports the file in place, so recording costs
// the extraction nothing. It tells a file the user changed from the one
// written (a changed file is kept); it is no defence against someone who
// wants to have a file removed, nor needs to be: the uninstaller runs with
// the user's own rights over the user's own files.
//
//   record   = "install-record 2" EOL *( item EOL )
//   item     = "file " size " " 8lowerhex " " name         (size, CRC-32)
//            / "setting " token " " token " " name         (section, key, settings file)
//            / "shortcut " path
//   size     = "0" / %x31-39 *DIGIT                         (below 2^63)
//   token    = 1*( printable but " ", "[", "]", "=" )
//   name     = a path relative to the folder, "/" between folders: no
//              empty, "." or ".." part, no ":" or "\", no leading "/"
//   path     = 1*( any but a control character )           (absolute, as written)
//   EOL      = LF / CR LF
//
// Text is UTF-8, at most kInstallRecordMaxSize bytes. A file name or a
// settings entry appears once (file names compared without regard to ASCII
// case, as Windows compares them), a shortcut once; an empty line, another
// first line or any other item makes the record invalid (an uninstaller
// then removes none of the files: it fails closed).
//
// Writing it: a TInstallRecorder records the files an extraction writes
// (see below); the run adds the settings entry and the shortcut; then
// LoadInstallRecord, MergeInstallRecord and SaveInstallRecord, which writes
// the file whole (a temporary file moved over the old one).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/UnZipper.h"
#include "runtime/Exception.h"
#include "translation/Translator.h"

namespace setup {

inline constexpr const char* SInstallRecordFileName = "INSTALL.REC";
inline constexpr std::string_view kInstallRecordFirstLine = "install-record 2";
// About 40,000 files of ordinary names; a record that would grow past it is
// refused when written and when read.
inline constexpr size_t kInstallRecordMaxSize = 4 * 1024 * 1024;

// Message texts (Dutch; they pass through gettext).
// TRANSLATORS: the record file's full name and a line number
inline constexpr const char* SInstallRecordInvalid =
    translator::gettext_noop("Het installatieoverzicht %s is ongeldig (regel %s).");
// TRANSLATORS: the record file's full name and the largest size in bytes
inline constexpr const char* SInstallRecordTooLarge =
    translator::gettext_noop("Het installatieoverzicht %s is groter dan %s bytes.");

// A record that cannot be read or written as the grammar above says.
class EInstallRecordInvalid : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

struct TRecordedFile {
    std::string Name; // relative to the folder, "/" between folders
    int64_t Size = 0;
    uint32_t Crc32 = 0;
};

struct TRecordedSetting {
    std::string File; // the settings file, relative to the folder
    std::string Section;
    std::string Key;
};

struct TInstallRecord {
    std::vector<TRecordedFile> Files;
    std::vector<TRecordedSetting> Settings;
    std::vector<std::string> Shortcuts; // absolute paths

    // Each adds one item; one recorded already (a file of that name, the
    // same entry, the same shortcut) is updated in its place instead.
    // Invalid names raise EInstallRecordInvalid (line 0).
    void AddFile(const std::string& name, int64_t size, uint32_t crc32);
    void AddSetting(const std::string& file, const std::string& section, const std::string& key);
    void AddShortcut(const std::string& path);
    const TRecordedFile* FindFile(std::string_view name) const;
};

// A later installation's record merged into an earlier one: files written
// again take their new size and CRC, new items are appended.
void MergeInstallRecord(TInstallRecord& into, const TInstallRecord& later);

// The text and back. ParseInstallRecord raises EInstallRecordInvalid naming
// fileName (for the message only) and the first line that breaks the
// grammar; ComposeInstallRecord raises it when the text would pass the cap.
std::string ComposeInstallRecord(const TInstallRecord& record, const std::string& fileName = {});
TInstallRecord ParseInstallRecord(std::string_view text, const std::string& fileName = {});

// The record of folder (an empty one when the folder has none); file errors
// raise as streams raise them (EFOpenError, EReadError).
TInstallRecord LoadInstallRecord(const std::string& folder);
// Writes the record into folder whole (rtl::TReplacementFileStream): the old
// record stays until the new one is complete.
void SaveInstallRecord(const std::string& folder, const TInstallRecord& record);

// Records the files an extraction writes below folder, each with its size
// and the CRC-32 the extractor checked, as the extractor reports each one in
// place (OnItemExtracted): entries that fail are not recorded, and a name
// written twice keeps its last content's. Files outside folder are not
// recorded. The extraction must replace files whole (eoReplaceWhole): written
// in place, an entry whose checksum did not match stays and is reported, and
// its recorded CRC would then not be that of its bytes (an uninstaller would
// keep the file as changed).
//
//     TInstallRecord written;
//     TInstallRecorder recorder(written, targetFolder);
//     recorder.Attach(unzipper);            // sets its OnItemExtracted
//     UnpackArchive(unzipper, archive);     // any number of extractions
//
// The recorder clears the hook when it goes (so it must go before the
// unzipper, or Detach first).
class TInstallRecorder {
  public:
    TInstallRecorder(TInstallRecord& record, std::string folder);
    ~TInstallRecorder();
    TInstallRecorder(const TInstallRecorder&) = delete;
    TInstallRecorder& operator=(const TInstallRecorder&) = delete;

    void Attach(arc::TArcCustomUnZipper& unzipper);
    void Detach();
    // The hook itself, for a caller that chains its own.
    void ItemExtracted(const arc::TArcArchiveItem& item, const std::string& target);

  private:
    TInstallRecord& FRecord;
    std::string FFolder; // with a trailing delimiter
    arc::TArcCustomUnZipper* FUnzipper = nullptr;
};

// The record of the file at path as it is now, under name: its size and
// CRC-32, read whole. Raises rtl::EStreamError or rtl::EInOutError when it
// cannot be opened or read.
TRecordedFile RecordedFileOf(const std::string& name, const std::string& path);

// ---------------------------------------------------------------- removal

// What became of a recorded file since it was written.
enum class TFileState {
    Unchanged,  // same size and CRC-32: to be removed
    Changed,    // changed or replaced by someone: kept, and named to the user
    Gone,       // no longer there: nothing to do
    Unreadable, // cannot be read now (in use, no rights): kept, and named
};

struct TPlannedFile {
    std::string Path; // full path
    TFileState State;
};

// What removing an installation from folder does, decided from its record
// and the file system as it is now; nothing is changed here. The caller
// removes Remove's paths, then the RemoveSettings entries, then the
// DeleteSettingsFiles, the record itself, and the folder when
// FolderEmptyAfterwards; it names Kept's paths to the user.
struct TUninstallPlan {
    bool FolderExists = false;
    std::vector<TPlannedFile> Files; // every recorded file, in record order
    std::vector<std::string> Remove; // full paths of the Unchanged files
    std::vector<std::string> Kept;   // full paths of the Changed and Unreadable ones
    // Temporary files of an unpack that was killed: ours, removed too.
    std::vector<std::string> Leftovers;
    // Files and folders in folder that no installation wrote: they stay.
    std::vector<std::string> Others;
    // Recorded entries whose settings file exists, and the settings files
    // (full paths) with nothing else left in them once those are removed.
    std::vector<TRecordedSetting> RemoveSettings;
    std::vector<std::string> DeleteSettingsFiles;
    // Recorded shortcuts that exist (whether each still points at this
    // program is the caller's to check).
    std::vector<std::string> Shortcuts;
    // Sub-folders holding recorded files that nothing else will be left in,
    // deepest first.
    std::vector<std::string> RemoveFolders;
    // Nothing is left in folder once the above (and the record) are removed.
    bool FolderEmptyAfterwards = false;
};

TUninstallPlan PlanUninstall(const std::string& folder, const TInstallRecord& record);

// Whether a settings file's text holds nothing but the given keys (and
// section headers left empty by their removal, blank lines): then the file
// can go once the keys are removed. A comment, another key or another
// section keeps it. UTF-16 text with its byte order mark is read too.
bool SettingsFileHoldsOnly(std::string_view text, const std::vector<TRecordedSetting>& keys);

} // namespace setup
