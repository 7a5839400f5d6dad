#pragma once
// The archive side of the ZIP extractor: items, the generic archive object
// with its extraction loop, and the ZIP archive that reads the central
// directory.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ZipFormat.h"
#include "runtime/DateTime.h"
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
enum TArcExtractOption { eoCreateDirs, eoRestorePath };
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

class TArcZipItem : public TArcArchiveItem {
  public:
    // Reads one central directory entry at the stream's position.
    void LoadFromStream(rtl::TStream& stream);

    uint32_t CRC32() const { return FItemInfo.FCRC32; }
    uint32_t ExternalFileAttributes() const { return FItemInfo.FExternalFileAttributes; }
    uint16_t InternalFileAttributes() const { return FItemInfo.FInternalFileAttributes; }
    bool IsEncrypted() const { return FItemInfo.IsEncrypted(); }
    uint16_t CompressionMethod() const { return FItemInfo.FCompressionMethod; }
    uint16_t VersionMadeBy() const { return FItemInfo.FVersionMadeBy; }
    uint16_t VersionNeededToExtract() const { return FItemInfo.FVersionNeededToExtract; }
    uint16_t GeneralPurposeBitFlag() const { return FItemInfo.FGeneralPurposeBitFlag; }
    const std::string& FileComment() const { return FItemInfo.FFileComment; }
    TArcExtraField& ExtraField() { return FItemInfo.FExtraField; }
    const std::string& RawFileName() const { return FItemInfo.DecodedFileName(); }
    uint16_t LastModFileTime() const { return FLastModFileTime; }
    uint16_t LastModFileDate() const { return FLastModFileDate; }

    bool IsDirectory() const override;
    // MS-DOS attributes, from the DOS byte or from a Unix mode.
    uint32_t NativeFileAttributes() const;
    // The DOS date and time; an impossible value raises EConvertError.
    rtl::TDateTime LastModTimeAsDateTime() const;
    // The same, split into its parts (validated like LastModTimeAsDateTime).
    void LastModTimeParts(int& year, int& month, int& day, int& hour, int& minute,
                          int& second) const;

    int64_t FRelativeOffset = 0;
    uint32_t FDiskNumberStart = 0;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    TArcZipDirectoryFileHeader FItemInfo;
    TArcExtraField FLFHExtraField;
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
                       int errorCode, const std::string& message)>
        OnProcessItemFailure;
    std::function<void(TArcArchive& archive)> OnLoad;
    std::function<void(int imageNumber, std::string& imageName, bool& abort)> OnRequestImage;
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
    bool FIsDirty = false;
    bool FSpanned = false;
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
    virtual void ExtractEntry(TArcArchiveItem& item, const std::string& target) = 0;
    virtual void ExtractEntryToStream(TArcArchiveItem& item, rtl::TStream& stream) = 0;
    virtual void TestEntry(TArcArchiveItem& item) = 0;
};

class TArcZipArchive;
using TArcExtractHelper =
    std::function<void(TArcZipArchive& archive, TArcZipItem& item, const std::string& target)>;
using TArcExtractToStreamHelper =
    std::function<void(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& stream)>;
using TArcTestHelper = std::function<void(TArcZipArchive& archive, TArcZipItem& item)>;

class TArcZipArchive : public TArcArchive {
  public:
    // Opens the file for reading; other processes may read and write it.
    explicit TArcZipArchive(const std::string& fileName);
    // Reads an archive from a stream that the caller opened (the archive
    // keeps it but does not count as its owner: spanned sets are refused).
    TArcZipArchive(std::unique_ptr<rtl::TStream> stream, const std::string& name);
    ~TArcZipArchive() override;

    void LoadArchive() override;
    TArcZipItem& ZipItem(int index) { return static_cast<TArcZipItem&>(Item(index)); }
    const TArcZipDirectoryFileFooter& Info() const { return FInfo; }

    // Reads the central directory.
    void ReadCentralDirectory();
    // Positions the archive at the item's local header, reads it and leaves
    // the stream at the first data byte.
    void ReadLocalHeader(TArcZipItem& item, TArcZipLocalFileHeader& header);
    // Asks for a password through the need-password hook; false means abort.
    bool RequestPassword();

    TArcZipDirectoryFileFooter FInfo;
    bool FIsExecutable = false;
    std::string FPassword;
    int FPasswordRetries = 3;
    int64_t FStubSize = 0;
    TArcExtractHelper FExtractHelper;
    TArcExtractToStreamHelper FExtractToStreamHelper;
    TArcTestHelper FTestHelper;
    std::function<void(std::string& newPassword)> FOnNeedPassword;
    std::function<void(bool& abort)> FOnRequestLastDisk;
    std::function<void(int diskNumber, bool& abort)> FOnRequestNthDisk;

  protected:
    void ExtractEntry(TArcArchiveItem& item, const std::string& target) override;
    void ExtractEntryToStream(TArcArchiveItem& item, rtl::TStream& stream) override;
    void TestEntry(TArcArchiveItem& item) override;

  private:
    class TArcSpanReadStream* SpanStream();
    void SeekTo(uint32_t disk, int64_t offset);
};

// Reads a set of images as one stream: image n (from 0) other than the last
// is the file ImageFileName(n + 1); the last is the archive itself. Only the
// current position can be asked for; Seek otherwise raises EArcException.
class TArcSpanReadStream : public rtl::TStream {
  public:
    TArcSpanReadStream(const std::string& archiveName, std::unique_ptr<rtl::TStream> lastImage,
                       uint32_t lastImageNumber, TArcZipArchive& owner);
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}
    int64_t Size() override;
    // Moves to image and offset.
    void SeekImage(uint32_t image, int64_t offset);
    void SwitchToImage(uint32_t image);
    std::string ImageFileName(uint32_t number) const;
    uint32_t CurrentImage() const { return FCurrentImage; }

  private:
    std::string FArchiveName;
    std::unique_ptr<rtl::TStream> FImage;
    uint32_t FCurrentImage;
    uint32_t FLastImage;
    bool FSplit;
    TArcZipArchive& FOwner;
};

// Type detection.
TArcArchiveType GuessArchiveType(const std::string& fileName);
TArcArchiveType ProbeZipStream(rtl::TStream& stream);
TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream);

} // namespace arc
