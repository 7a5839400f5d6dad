#pragma once
// The ZIP extraction component and the helpers that extract one entry.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArcTypeDetection.h"
#include "archive/ZipArchive.h"
#include "runtime/Streams.h"

namespace arc {

// Reads the entry's local header and returns its data: a window of the
// compressed size, decrypted when the entry is encrypted.
std::unique_ptr<rtl::TStream> OpenEntryData(TArcZipArchive& archive, TArcZipItem& item);
// Decodes the entry from source into output and checks its CRC-32; output
// may be null to only check. A mismatch raises EArcZipBadCRC, or, when the
// archive's failure hook is set, is reported there and gives false.
bool DecodeEntry(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& source,
                 rtl::TStream* output);
// The extract helpers the component installs in its archive.
void UnzipToFile(TArcZipArchive& archive, TArcZipItem& item, const std::string& target);
void UnzipToStream(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& stream);
void TestUnzip(TArcZipArchive& archive, TArcZipItem& item);
// Sets a file's time and attributes from the item; an impossible DOS date
// raises EConvertError, failures of the system calls are ignored.
void ApplyItemTimeAndAttributes(TArcZipItem& item, const std::string& target);

class TArcBaseBrowser {
  public:
    TArcBaseBrowser() = default;
    virtual ~TArcBaseBrowser();
    TArcBaseBrowser(const TArcBaseBrowser&) = delete;
    TArcBaseBrowser& operator=(const TArcBaseBrowser&) = delete;

    void OpenArchive(const std::string& fileName) { SetFileName(fileName); }
    void CloseArchive();
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& fileName);
    const std::string& BaseDirectory() const { return FBaseDirectory; }
    void SetBaseDirectory(const std::string& value);
    TArcArchiveType ArchiveType() const { return FArchiveType; }
    void SetArchiveType(TArcArchiveType value) { FArchiveType = value; }
    bool ForceType() const { return FForceType; }
    void SetForceType(bool value) { FForceType = value; }
    int Count() const { return FArchive ? FArchive->Count() : 0; }
    TArcArchiveStatus Status() const { return FArchive ? FArchive->Status() : asInvalid; }
    TArcArchive* Archive() { return FArchive.get(); }

    std::function<void(int percent, bool& abort)> OnArchiveProgress;
    std::function<void(TArcArchiveItem& item, int percent, bool& abort)> OnArchiveItemProgress;
    std::function<void()> OnChange;
    std::function<void(TArcArchiveItem& item, TArcProcessType type, bool& confirm)>
        OnConfirmProcessItem;
    std::function<void()> OnLoad;
    // The item, the kind of processing, the error class and code, and the
    // error's message text (with its English, where the error has one).
    std::function<void(TArcArchiveItem& item, TArcProcessType type, TArcErrorClass errorClass,
                       int errorCode, const rtl::TText& message)>
        OnProcessItemFailure;
    std::function<void(int imageNumber, std::string& imageName, bool& abort)> OnRequestImage;
    // What the extracted files receive, for a caller that records what it
    // wrote (a hash of each file, say), without reading the files again.
    // For each file entry: OnItemWriteBegin once its file is open, with the
    // name the file ends up with (the target, also while eoReplaceWhole
    // writes a temporary file); OnItemWrite with every piece of bytes the
    // file receives, in order, on the extracting thread (the data is valid
    // during the call only); OnItemExtracted when the file is in place under
    // that name holding exactly those bytes, before its time and attributes
    // are set. An entry that fails gets no OnItemExtracted, nor does one
    // whose checksum did not match under eoReplaceWhole, which keeps the old
    // file (written in place, such a file stays and is reported); the next
    // OnItemWriteBegin starts a new file. An entry of size 0
    // gets no OnItemWrite. Folder entries get none of the three.
    std::function<void(TArcArchiveItem& item, const std::string& target)> OnItemWriteBegin;
    std::function<void(TArcArchiveItem& item, const void* data, size_t size)> OnItemWrite;
    std::function<void(TArcArchiveItem& item, const std::string& target)> OnItemExtracted;
    IArcProgressMeter* ArchiveProgressMeter = nullptr;
    IArcProgressMeter* ItemProgressMeter = nullptr;

    // Settings of archive writing, kept for the component's interface:
    // reading and extracting never use them.
    std::string FTempDirectory, FLogFile;
    bool FLogging = false;
    int FSpanningThreshold = 0;

  protected:
    virtual std::unique_ptr<TArcArchive> CreateArchive(TArcArchiveType type) = 0;
    virtual void ConfigureArchive();

    std::unique_ptr<TArcArchive> FArchive;
    std::string FFileName;
    std::string FBaseDirectory;
    TArcArchiveType FArchiveType = atUnknown;
    bool FForceType = false;
};

class TArcCustomZipBrowser : public TArcBaseBrowser {
  public:
    TArcZipItem& Items(int index) { return ZipArchive().ZipItem(index); }
    std::string ZipfileComment() {
        return FArchive ? ZipArchive().Info().FZipfileComment : std::string();
    }
    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& value);
    int PasswordRetries() const { return FPasswordRetries; }
    void SetPasswordRetries(int value) { FPasswordRetries = value; }

    std::function<void(std::string& newPassword)> OnNeedPassword;
    std::function<void(bool& abort)> OnRequestLastDisk;
    std::function<void(int diskNumber, bool& abort)> OnRequestNthDisk;

  protected:
    std::unique_ptr<TArcArchive> CreateArchive(TArcArchiveType type) override;
    void ConfigureArchive() override;
    TArcZipArchive& ZipArchive();

    std::string FPassword;
    // How many passwords (the first asked for included) an encrypted entry
    // may try through OnNeedPassword; a wrong one past that fails the entry
    // with EArcZipInvalidPassword, as no password at all does, and an empty
    // answer to a later question with EArcUserAbort.
    int FPasswordRetries = 3;
};

class TArcCustomUnZipper : public TArcCustomZipBrowser {
  public:
    void ExtractFiles(const std::string& fileMask);
    void ExtractFilesEx(const std::string& fileMask, const std::string& exclusionMask);
    void ExtractAt(int index, const std::string& newName);
    void ExtractTaggedItems();
    void ExtractToStream(const std::string& fileName, rtl::TStream& stream);
    void TestTaggedItems();
    // The existing files that extracting the file entries matching fileMask
    // would write over (those whose target exists now), each once, as the
    // current options and base folder resolve them: for finding out before
    // an extraction which of them are in use. Raises as extraction would for
    // a name with invalid characters; EArcNoArchive without an archive.
    std::vector<std::string> ExistingTargets(const std::string& fileMask);
    const TArcExtractOptions& ExtractOptions() const { return FExtractOptions; }
    void SetExtractOptions(const TArcExtractOptions& value);

    std::function<void(const std::string& name, bool& confirm)> OnConfirmOverwrite;

  protected:
    void ConfigureArchive() override;
    TArcArchive& RequireArchive();

    TArcExtractOptions FExtractOptions{eoCreateDirs};
};

class TArcUnZipper : public TArcCustomUnZipper {};

} // namespace arc
