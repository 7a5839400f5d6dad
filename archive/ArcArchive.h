#pragma once
// The generic archive of the extractor: its items, name masks, the hooks a
// component installs, and the archive object with its extraction loop. The
// ZIP archive that reads a central directory is in ZipArchive.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ZipFormat.h"
#include "runtime/DateTime.h"
#include "runtime/EnglishText.h"
#include "runtime/Streams.h"

namespace arc {

enum TArcArchiveType {
    atUnknown,
    atZip,
    atSpannedZip,
    atSelfExtZip,
    atTar,
    atGzip,
    atGzippedTar,
    atCab,
    atBzip2,
    atBzippedTar
};
enum TArcArchiveStatus { asInvalid, asIdle, asBusy };
enum TArcArchiveAction {
    aaFailed,
    aaNone,
    aaAdd,
    aaDelete,
    aaFreshen,
    aaMove,
    aaReplace,
    aaStreamAdd
};
enum TArcProcessType { ptAdd, ptDelete, ptExtract, ptFreshen, ptMove, ptReplace, ptFoundUnhandled };
// eoReplaceWhole: each file entry is written to a temporary file in its
// target's folder (platform/ReplacementFile.h) and moved over the target
// only once it is complete and its CRC-32 matches, so a decode failure, a
// checksum mismatch or a killed process leaves the old file or the new one,
// never a mix; a mismatch is reported and the old file kept. Without it an
// entry is written in place over an existing file. A killed process leaves
// its temporary file; platform::RemoveReplacementFiles(folder) removes such
// files before the next extraction into that folder.
enum TArcExtractOption { eoCreateDirs, eoRestorePath, eoReplaceWhole };
using TArcExtractOptions = std::set<TArcExtractOption>;
enum TArcErrorClass {
    ecArcError,
    ecInOutError,
    ecFilerError,
    ecFileCreateError,
    ecFileOpenError,
    ecCabError,
    ecOther
};

// Progress meter that a component may drive.
class IArcProgressMeter {
  public:
    virtual ~IArcProgressMeter() = default;
    virtual void Reset() = 0;
    virtual void DoProgress(int percent) = 0;
};

class TArcArchiveItem {
  public:
    virtual ~TArcArchiveItem() = default;
    const std::string& FileName() const { return FFileName; }
    // The name with every "/" replaced by "\"; computed, not stored, since
    // large directories keep one item per entry in memory.
    std::string DiskFileName() const;
    int64_t CompressedSize() const { return FCompressedSize; }
    int64_t UncompressedSize() const { return FUncompressedSize; }
    bool Tagged() const { return FTagged; }
    void SetTagged(bool value) { FTagged = value; }
    TArcArchiveAction Action() const { return FAction; }
    virtual bool IsDirectory() const = 0;
    // The folder part of the name (up to and including its last delimiter).
    std::string StoredPath() const;

    std::string FFileName;
    int64_t FCompressedSize = 0;
    int64_t FUncompressedSize = 0;
    TArcArchiveAction FAction = aaNone;
    bool FTagged = false;
};

// Mask matching of stored names: parts separated by ';', '*' and '?' wildcards.
bool MatchPattern(const std::string& text, const std::string& pattern);
bool MatchesStoredName(const TArcArchiveItem& item, const std::string& mask);
// Whether item matches mask and does not match exclusion.
bool MatchesStoredNameEx(const TArcArchiveItem& item, const std::string& mask,
                         const std::string& exclusion);

int PercentOf(int64_t done, int64_t total);

class TArcArchive;

// Hooks the archive calls; the component installs them.
struct TArcArchiveHooks {
    std::function<void(int percent, bool& abort)> OnArchiveProgress;
    std::function<void(TArcArchiveItem& item, int percent, bool& abort)> OnArchiveItemProgress;
    std::function<void(TArcArchiveItem& item, TArcProcessType type, bool& confirm)>
        OnConfirmProcessItem;
    std::function<void(const std::string& name, bool& confirm)> OnConfirmOverwrite;
    std::function<void(TArcArchiveItem& item, TArcProcessType type, TArcErrorClass errorClass,
                       int errorCode, const rtl::TText& message)>
        OnProcessItemFailure;
    std::function<void(TArcArchive& archive)> OnLoad;
    std::function<void(int imageNumber, std::string& imageName, bool& abort)> OnRequestImage;
    // What an extracted file receives (see TArcBaseBrowser).
    std::function<void(TArcArchiveItem& item, const std::string& target)> OnItemWriteBegin;
    std::function<void(TArcArchiveItem& item, const void* data, size_t size)> OnItemWrite;
    std::function<void(TArcArchiveItem& item, const std::string& target)> OnItemExtracted;
};

// A generic archive: an open stream, the list of items and the extraction loop.
class TArcArchive {
  public:
    virtual ~TArcArchive();

    // Loads the directory; the load notification runs also when it fails.
    void Load();
    virtual void LoadArchive() = 0;

    int Count() const { return static_cast<int>(FItemList.size()); }
    TArcArchiveItem& Item(int index) { return *FItemList.at(static_cast<size_t>(index)); }
    TArcArchiveStatus Status() const { return FStatus; }
    void SetStatus(TArcArchiveStatus status) { FStatus = status; }
    const std::string& ArchiveName() const { return FArchiveName; }
    rtl::TStream& Stream() { return *FStream; }
    const std::string& BaseDirectory() const { return FBaseDirectory; }
    // Strips one trailing delimiter (not after a drive colon); a folder that
    // does not exist raises EArcNoSuchDirectory.
    void SetBaseDirectory(const std::string& value);
    TArcExtractOptions FExtractOptions{eoCreateDirs};

    void ExtractFilesEx(const std::string& fileMask, const std::string& exclusionMask);
    void ExtractAt(int index, const std::string& newName);
    void ExtractTaggedItems();
    void TestTaggedItems();
    void ExtractItemToStream(int index, rtl::TStream& stream);
    int FindItem(const std::string& name) const;
    // The target files that extracting the file entries matching fileMask
    // (and not exclusionMask) would write over: those that exist now, each
    // once, in directory order. Names are resolved as extraction resolves
    // them; nothing is created or asked.
    std::vector<std::string> ExistingTargets(const std::string& fileMask,
                                             const std::string& exclusionMask);

    // Reports a failure of one item through the failure hook (when set).
    void ReportItemFailure(TArcArchiveItem& item, TArcProcessType type,
                           const std::exception& error);
    // Returns true when the caller asked to stop.
    bool ReportItemProgress(TArcArchiveItem& item, int percent);

    TArcArchiveHooks FHooks;

    std::unique_ptr<rtl::TStream> FStream;
    bool FOwnsStream = true;
    std::string FArchiveName;
    unsigned FMode = 0;
    TArcArchiveStatus FStatus = asIdle;
    std::string FBaseDirectory;
    std::vector<std::unique_ptr<TArcArchiveItem>> FItemList;
    TArcArchiveItem* FCurrentItem = nullptr;
    // Set when resolving a file item's target found no file of that name,
    // so writing it whole need not look again; the extract helper takes it
    // (and clears it) for the item just resolved.
    bool FTargetAbsent = false;
    bool FIsDirty = false;
    bool FSpanned = false;
    // Settings of archive writing, copied from the component; reading and
    // extracting never use them.
    std::string FTempDirectory, FLogFile;
    bool FLogging = false;
    int FSpanningThreshold = 0;

  protected:
    // The target folder last found or created, so consecutive entries of one
    // folder cost one check.
    std::string FLastTargetFolder;
    explicit TArcArchive(const std::string& fileName, unsigned mode);
    void ReportArchiveProgress(int percent);
    // Decides where an item goes; false means skip.
    bool ResolveTargetName(TArcArchiveItem& item, const std::string& newName, std::string& target);
    // The target path alone (no folder made, nothing asked); false when the
    // item is skipped whatever the file system holds.
    bool TargetPathOf(const TArcArchiveItem& item, const std::string& newName,
                      std::string& target) const;
    virtual void ExtractEntry(TArcArchiveItem& item, const std::string& target) = 0;
    virtual void ExtractEntryToStream(TArcArchiveItem& item, rtl::TStream& stream) = 0;
    virtual void TestEntry(TArcArchiveItem& item) = 0;
};

} // namespace arc
