#pragma once
// What the installations wrote, kept in the target folder as INSTALL.REC, so
// that an uninstaller removes exactly that and nothing else: each unpacked
// file with its size and SHA-256 taken while it was written, the settings
// entries set (SETUP.INI, section SETUP, key TAAL) and the shortcuts made.
// A later installation merges into the record: a file written again takes
// its new size and hash.
//
//   record   = "install-record 1" EOL *( item EOL )
//   item     = "file " size " " 64lowerhex " " name        (size, SHA-256)
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
// Writing it: a TInstallRecorder hashes the files an extraction writes (see
// below); the run adds the settings entry and the shortcut; then
// LoadInstallRecord, MergeInstallRecord and SaveInstallRecord, which writes
// the file whole (a temporary file moved over the old one).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/UnZipper.h"
#include "platform/Crypto.h"
#include "runtime/Exception.h"
#include "translation/Translator.h"

namespace setup {

inline constexpr const char* SInstallRecordFileName = "INSTALL.REC";
inline constexpr std::string_view kInstallRecordFirstLine = "install-record 1";
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
inline constexpr const char* SInstallRecordNoHash = translator::gettext_noop(
    "De geïnstalleerde bestanden kunnen niet worden vastgelegd: de cryptografische functies van "
    "het systeem zijn niet beschikbaar.");

// A record that cannot be read or written as the grammar above says.
class EInstallRecordInvalid : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

struct TRecordedFile {
    std::string Name; // relative to the folder, "/" between folders
    int64_t Size = 0;
    platform::Sha256Digest Sha256{};
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
    void AddFile(const std::string& name, int64_t size, const platform::Sha256Digest& sha256);
    void AddSetting(const std::string& file, const std::string& section, const std::string& key);
    void AddShortcut(const std::string& path);
    const TRecordedFile* FindFile(std::string_view name) const;
};

// A later installation's record merged into an earlier one: files written
// again take their new size and hash, new items are appended.
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
// and the SHA-256 of the bytes the extractor wrote, so nothing is read
// again: the bytes are copied into 1 MiB pieces that a thread of its own
// hashes while the extraction goes on (the hash and the decoding share the
// work of two cores; under Wine the pieces are large because every hand-over
// between the threads is a round trip to the Wine server). With
// background = false the bytes are hashed on the extracting thread instead.
//
//     TInstallRecord written;
//     TInstallRecorder recorder(written, targetFolder);
//     recorder.Attach(unzipper);            // sets its three item hooks
//     UnpackArchive(unzipper, archive);     // any number of extractions
//     recorder.Finish();                    // the hashes, into `written`
//
// A file enters the record only once the extractor reports it in place
// (OnItemExtracted); entries that fail are not recorded, and a name written
// twice keeps its last content's hash. Files outside folder are not
// recorded. Attach replaces the unzipper's OnItemWriteBegin, OnItemWrite and
// OnItemExtracted; the recorder clears them when it goes (so it must go
// before the unzipper, or Detach first).
class TInstallRecorder {
  public:
    TInstallRecorder(TInstallRecord& record, std::string folder, bool background = true);
    ~TInstallRecorder();
    TInstallRecorder(const TInstallRecorder&) = delete;
    TInstallRecorder& operator=(const TInstallRecorder&) = delete;

    void Attach(arc::TArcCustomUnZipper& unzipper);
    void Detach();
    // Waits until every file reported so far is hashed and adds them to the
    // record. Raises rtl::Exception SInstallRecordNoHash when the platform's
    // hash failed (no file of the run is recorded then). The recorder may go
    // on recording afterwards.
    void Finish();

    // The hooks themselves, for a caller that chains its own.
    void ItemWriteBegin(const std::string& target);
    void ItemWrite(const void* data, size_t size);
    void ItemExtracted(const std::string& target);

    class THasher;

  private:
    struct TPending {
        uint64_t File; // the hasher's number of the file
        std::string Name;
        int64_t Size;
    };
    TInstallRecord& FRecord;
    std::string FFolder; // with a trailing delimiter
    std::unique_ptr<THasher> FHasher;
    arc::TArcCustomUnZipper* FUnzipper = nullptr;
    uint64_t FCurrent = 0; // the file being written, 0 before the first
    int64_t FWritten = 0;  // its bytes so far
    std::vector<TPending> FPending;
};

// ---------------------------------------------------------------- removal

// What became of a recorded file since it was written.
enum class TFileState {
    Unchanged,  // same size and SHA-256: to be removed
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
