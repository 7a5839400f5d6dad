#pragma once
// The ZIP archive: its items as the central directory describes them, the
// archive object that reads that directory (also across the images of a
// spanned or split set) and finds each entry's data, and the stream that
// reads such a set as one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/ArcArchive.h"
#include "archive/ArcErrors.h"
#include "archive/ZipFormat.h"
#include "runtime/DateTime.h"
#include "runtime/Streams.h"

namespace arc {

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
    // See TArcCustomZipBrowser::FPasswordRetries, which is copied here.
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
    // The steps of ReadCentralDirectory: the end record's position (asking
    // for the last disk of a spanned set on removable media), the stream
    // at the first directory entry, and the entries read into the item list.
    int64_t FindEndRecord();
    void SeekToDirectory(bool zip64, uint32_t zip64Disk, uint64_t zip64Offset);
    void ReadDirectoryEntries();
    // Marks the archive unusable and raises error.
    template <typename E> [[noreturn]] void Invalidate(E error) {
        FStatus = asInvalid;
        throw error;
    }
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

} // namespace arc
