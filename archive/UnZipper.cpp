#include "archive/UnZipper.h"

#include <utility>

#include "archive/ArcErrors.h"
#include "archive/codecs/Codecs.h"
#include "archive/deflate/Inflate.h"
#include "archive/legacy/LegacyDecoders.h"
#include "archive/ppmd/PpmdDecoder.h"
#include "archive/ZipFormat.h"
#include "archive/ZipStreams.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/ScopeGuard.h"

namespace arc {

// ---------------------------------------------------------------- one entry

std::unique_ptr<rtl::TStream> OpenEntryData(TArcZipArchive& archive, TArcZipItem& item) {
    TArcZipLocalFileHeader local;
    archive.ReadLocalHeader(item, local);
    uint32_t checkValue = (local.FGeneralPurposeBitFlag & kFlagDataDescriptor) != 0
                              ? static_cast<uint32_t>(local.FLastModFileTime) << 16
                              : item.CRC32();
    auto subset = std::make_unique<TArcUnzipSubsetStream>(archive.Stream(), item.CompressedSize());
    if (!item.IsEncrypted()) return subset;

    int tries = 0;
    if (archive.FPassword.empty()) {
        archive.RequestPassword();
        ++tries;
    }
    if (archive.FPassword.empty()) throw EArcZipInvalidPassword();
    // The encryption header is read once; every password is tried on the same
    // twelve bytes.
    uint8_t header[kZipCryptHeaderSize];
    subset->ReadBuffer(header, sizeof header);
    const uint8_t checkByte = static_cast<uint8_t>(checkValue >> 24);
    std::unique_ptr<rtl::TStream> source = std::move(subset);
    for (;;) {
        auto decrypt =
            std::make_unique<TArcZipDecryptStream>(std::move(source), archive.FPassword, header);
        if (decrypt->Verify(checkByte)) return decrypt;
        source = decrypt->ReleaseSource();
        if (++tries > archive.FPasswordRetries) throw EArcZipInvalidPassword();
        if (!archive.RequestPassword()) throw EArcUserAbort();
    }
}

bool DecodeEntry(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& source,
                 rtl::TStream* output) {
    if (item.UncompressedSize() == 0) return true;
    TArcUnzipOutputStream out(output, item.UncompressedSize(), [&](int percent) {
        return archive.ReportItemProgress(item, percent);
    });
    const auto method = static_cast<TArcZipMethod>(item.CompressionMethod());
    switch (method) {
    case TArcZipMethod::Stored:
        out.CopyFrom(source, item.UncompressedSize());
        break;
    case TArcZipMethod::Deflated:
    case TArcZipMethod::Deflate64: {
        TArcDeflateHelper helper;
        if (method == TArcZipMethod::Deflate64) helper.FOptions |= TArcDeflateHelper::kDeflate64;
        helper.FStreamSize = item.CompressedSize();
        helper.FSkipChecksum = true; // the output wrapper keeps the CRC-32 already
        Inflate(source, out, helper);
        break;
    }
    case TArcZipMethod::Shrunk:
    case TArcZipMethod::Reduced1:
    case TArcZipMethod::Reduced2:
    case TArcZipMethod::Reduced3:
    case TArcZipMethod::Reduced4:
    case TArcZipMethod::Imploded: {
        TArcUnzipHelper helper(source, out);
        helper.FUnCompressedSize = item.UncompressedSize();
        helper.FCompressionMethod = item.CompressionMethod();
        // Flag bits 1 and 2 choose the dictionary and the tree count of
        // implode (APPNOTE 4.4.4); the other methods ignore them.
        const uint16_t flags = item.GeneralPurposeBitFlag();
        helper.FDictionarySize = (flags & kFlagImplode8KDictionary) != 0 ? 8192 : 4096;
        helper.FShannonFanoTreeCount = (flags & kFlagImplode3Trees) != 0 ? 3 : 2;
        helper.Execute();
        break;
    }
    case TArcZipMethod::BZip2:
        DecodeBZip2(source, out, item.UncompressedSize());
        break;
    case TArcZipMethod::Lzma:
        // With or without the end marker (flag bit 1): the entry's size ends it.
        DecodeLZMA(source, out, item.UncompressedSize());
        break;
    case TArcZipMethod::WavPack:
        DecodeWavPack(source, out);
        break;
    case TArcZipMethod::PPMd:
        DecodePpmdEntry(source, out);
        break;
    default:
        throw EArcZipInvalidMethod();
    }
    if (out.CRC32() == item.CRC32()) return true;
    EArcZipBadCRC error;
    if (!archive.FHooks.OnProcessItemFailure) throw error;
    archive.FHooks.OnProcessItemFailure(item, ptExtract, ecArcError, error.ErrorCode, error.Text());
    return false;
}

// A user's abort leaves the archive marked invalid: nothing more is read
// from it.
bool DecodeEntryMarkingAbort(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& source,
                             rtl::TStream* target) {
    try {
        return DecodeEntry(archive, item, source, target);
    } catch (const EArcUserAbort&) {
        archive.SetStatus(asInvalid);
        throw;
    }
}

namespace {

// The file of an entry as the decoder sees it when the caller taps what the
// file receives (OnItemWrite): each piece goes to the file, then to the tap.
class TArcTapStream : public rtl::TStream {
  public:
    TArcTapStream(rtl::TStream& file, TArcArchive& archive, TArcArchiveItem& item)
        : FFile(file), FArchive(archive), FItem(item) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        FFile.WriteBuffer(buffer, count);
        FArchive.FHooks.OnItemWrite(FItem, buffer, count);
        return count;
    }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override {
        return FFile.Seek(offset, origin);
    }
    void SetSize(int64_t newSize) override { FFile.SetSize(newSize); }

  private:
    rtl::TStream& FFile;
    TArcArchive& FArchive;
    TArcArchiveItem& FItem;
};

// Decodes a file entry into file, telling the caller's hooks what it
// receives; true when the CRC-32 matched (a mismatch was reported).
bool WriteEntry(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& data, rtl::TStream& file,
                const std::string& target) {
    const TArcArchiveHooks& hooks = archive.FHooks;
    if (hooks.OnItemWriteBegin) hooks.OnItemWriteBegin(item, target);
    if (!hooks.OnItemWrite) return DecodeEntryMarkingAbort(archive, item, data, &file);
    TArcTapStream tap(file, archive, item);
    return DecodeEntryMarkingAbort(archive, item, data, &tap);
}

// Writes over an existing file in place; a failed entry leaves no partial
// file behind, a checksum mismatch keeps the decoded file.
void UnzipInPlace(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& data,
                  const std::string& target) {
    auto file = std::make_unique<rtl::TFileStream>(target, rtl::fmCreate);
    rtl::TScopeFail remove([&] {
        file.reset();
        platform::DeleteFileByName(target);
    });
    WriteEntry(archive, item, data, *file, target);
    file.reset();
}

// Writes the entry beside the target and moves it over only when it is
// whole and checked; false when the checksum did not match and the old file
// stays as it was.
bool UnzipReplacingWhole(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& data,
                         const std::string& target) {
    const bool absent = std::exchange(archive.FTargetAbsent, false);
    rtl::TReplacementFileStream file(target, absent ? platform::ReplacementTarget::Absent
                                                    : platform::ReplacementTarget::Unknown);
    if (!WriteEntry(archive, item, data, file, target)) return false;
    file.Commit();
    return true;
}

} // namespace

void ApplyItemTimeAndAttributes(TArcZipItem& item, const std::string& target) {
    int year, month, day, hour, minute, second;
    item.LastModTimeParts(year, month, day, hour, minute, second);
    platform::SetFileLastWriteLocal(target, year, month, day, hour, minute, second);
    uint32_t attributes = item.NativeFileAttributes();
    // A read-only folder would refuse the files that belong in it (POSIX
    // honours the bit on folders); Windows ignores it there anyway.
    if (item.IsDirectory()) attributes &= ~static_cast<uint32_t>(platform::faReadOnly);
    platform::SetFileAttributesByName(target, attributes);
}

void UnzipToFile(TArcZipArchive& archive, TArcZipItem& item, const std::string& target) {
    if (item.IsDirectory()) {
        int error = 0;
        if (!platform::CreateDirectoryChain(target, error)) rtl::RaiseInOutError(error);
    } else {
        std::unique_ptr<rtl::TStream> data = OpenEntryData(archive, item);
        if (archive.FExtractOptions.count(eoReplaceWhole) != 0) {
            if (!UnzipReplacingWhole(archive, item, *data, target)) return;
        } else {
            UnzipInPlace(archive, item, *data, target);
        }
        if (archive.FHooks.OnItemExtracted) archive.FHooks.OnItemExtracted(item, target);
    }
    ApplyItemTimeAndAttributes(item, target);
}

void UnzipToStream(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& stream) {
    std::unique_ptr<rtl::TStream> data = OpenEntryData(archive, item);
    DecodeEntryMarkingAbort(archive, item, *data, &stream);
}

void TestUnzip(TArcZipArchive& archive, TArcZipItem& item) {
    std::unique_ptr<rtl::TStream> data = OpenEntryData(archive, item);
    DecodeEntry(archive, item, *data, nullptr);
}

// ---------------------------------------------------------------- components

TArcBaseBrowser::~TArcBaseBrowser() = default;

void TArcBaseBrowser::CloseArchive() {
    if (!FFileName.empty()) SetFileName(std::string());
}

void TArcBaseBrowser::SetFileName(const std::string& fileName) {
    if (!fileName.empty()) {
        if (!platform::FileExists(fileName)) throw EArcFileNotFound();
        if (platform::FileSizeByName(fileName) <= 0) throw EArcBadStream();
    }
    FFileName = fileName;
    FArchive.reset();
    if (fileName.empty() || !platform::FileExists(fileName)) return;

    TArcArchiveType type = FForceType ? FArchiveType : GuessArchiveType(fileName);
    FArchive = CreateArchive(type);
    ConfigureArchive();
    FArchive->Load();
    FArchiveType = type;
    if (OnChange) OnChange();
}

void TArcBaseBrowser::SetBaseDirectory(const std::string& value) {
    FBaseDirectory = value;
    if (FArchive) {
        FArchive->SetBaseDirectory(value);
        FBaseDirectory = FArchive->BaseDirectory();
    }
}

void TArcBaseBrowser::ConfigureArchive() {
    if (ArchiveProgressMeter) ArchiveProgressMeter->Reset();
    if (ItemProgressMeter) ItemProgressMeter->Reset();
    TArcArchive& a = *FArchive;
    a.FSpanningThreshold = FSpanningThreshold;
    a.FLogFile = FLogFile;
    a.FLogging = FLogging;
    a.FTempDirectory = FTempDirectory;
    a.SetBaseDirectory(FBaseDirectory);
    FBaseDirectory = a.BaseDirectory();
    TArcArchiveHooks& h = a.FHooks;
    h.OnArchiveProgress = [this](int percent, bool& abort) {
        if (ArchiveProgressMeter) ArchiveProgressMeter->DoProgress(percent);
        if (OnArchiveProgress) OnArchiveProgress(percent, abort);
    };
    h.OnArchiveItemProgress = [this](TArcArchiveItem& item, int percent, bool& abort) {
        if (ItemProgressMeter) ItemProgressMeter->DoProgress(percent);
        if (OnArchiveItemProgress) OnArchiveItemProgress(item, percent, abort);
    };
    h.OnConfirmProcessItem = [this](TArcArchiveItem& item, TArcProcessType type, bool& confirm) {
        if (OnConfirmProcessItem) OnConfirmProcessItem(item, type, confirm);
    };
    h.OnLoad = [this](TArcArchive&) {
        if (OnLoad) OnLoad();
    };
    h.OnProcessItemFailure = [this](TArcArchiveItem& item, TArcProcessType type,
                                    TArcErrorClass errorClass, int errorCode,
                                    const rtl::TText& message) {
        if (OnProcessItemFailure) OnProcessItemFailure(item, type, errorClass, errorCode, message);
    };
    h.OnRequestImage = [this](int number, std::string& name, bool& abort) {
        if (OnRequestImage) OnRequestImage(number, name, abort);
    };
    h.OnItemWriteBegin = [this](TArcArchiveItem& item, const std::string& target) {
        if (OnItemWriteBegin) OnItemWriteBegin(item, target);
    };
    h.OnItemWrite = [this](TArcArchiveItem& item, const void* data, size_t size) {
        if (OnItemWrite) OnItemWrite(item, data, size);
    };
    h.OnItemExtracted = [this](TArcArchiveItem& item, const std::string& target) {
        if (OnItemExtracted) OnItemExtracted(item, target);
    };
}

std::unique_ptr<TArcArchive> TArcCustomZipBrowser::CreateArchive(TArcArchiveType type) {
    switch (type) {
    case atZip:
    case atSpannedZip:
    case atSelfExtZip:
        return std::make_unique<TArcZipArchive>(FFileName);
    default:
        // Only ZIP archives are read; other kinds are recognised and refused.
        throw EArcUnhandledType();
    }
}

TArcZipArchive& TArcCustomZipBrowser::ZipArchive() {
    if (!FArchive) throw EArcNoArchive();
    return static_cast<TArcZipArchive&>(*FArchive);
}

void TArcCustomZipBrowser::SetPassword(const std::string& value) {
    FPassword = value;
    if (FArchive) ZipArchive().FPassword = value;
}

void TArcCustomZipBrowser::ConfigureArchive() {
    TArcBaseBrowser::ConfigureArchive();
    TArcZipArchive& a = ZipArchive();
    a.FPassword = FPassword;
    a.FOnRequestNthDisk = nullptr;
    if (OnRequestNthDisk)
        a.FOnRequestNthDisk = [this](int disk, bool& abort) { OnRequestNthDisk(disk, abort); };
    a.FOnRequestLastDisk = nullptr;
    if (OnRequestLastDisk) a.FOnRequestLastDisk = [this](bool& abort) { OnRequestLastDisk(abort); };
    a.FPasswordRetries = FPasswordRetries;
    a.FOnNeedPassword = [this](std::string& password) {
        if (OnNeedPassword) {
            OnNeedPassword(password);
            FPassword = password;
        }
    };
}

void TArcCustomUnZipper::ConfigureArchive() {
    TArcCustomZipBrowser::ConfigureArchive();
    TArcZipArchive& a = ZipArchive();
    a.FExtractOptions = FExtractOptions;
    a.FHooks.OnConfirmOverwrite = [this](const std::string& name, bool& confirm) {
        confirm = true;
        if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
    };
    a.FExtractHelper = UnzipToFile;
    a.FExtractToStreamHelper = UnzipToStream;
    a.FTestHelper = TestUnzip;
}

TArcArchive& TArcCustomUnZipper::RequireArchive() {
    if (!FArchive) throw EArcNoArchive();
    return *FArchive;
}

void TArcCustomUnZipper::SetExtractOptions(const TArcExtractOptions& value) {
    FExtractOptions = value;
    if (FArchive) FArchive->FExtractOptions = value;
}

void TArcCustomUnZipper::ExtractFiles(const std::string& fileMask) {
    RequireArchive().ExtractFilesEx(fileMask, {});
}

void TArcCustomUnZipper::ExtractFilesEx(const std::string& fileMask,
                                        const std::string& exclusionMask) {
    RequireArchive().ExtractFilesEx(fileMask, exclusionMask);
}

void TArcCustomUnZipper::ExtractAt(int index, const std::string& newName) {
    RequireArchive().ExtractAt(index, newName);
}

void TArcCustomUnZipper::ExtractTaggedItems() {
    RequireArchive().ExtractTaggedItems();
}

std::vector<std::string> TArcCustomUnZipper::ExistingTargets(const std::string& fileMask) {
    return RequireArchive().ExistingTargets(fileMask, {});
}

void TArcCustomUnZipper::TestTaggedItems() {
    RequireArchive().TestTaggedItems();
}

void TArcCustomUnZipper::ExtractToStream(const std::string& fileName, rtl::TStream& stream) {
    TArcArchive& a = RequireArchive();
    int index = a.FindItem(fileName);
    if (index < 0) throw EArcFileNotFound();
    a.ExtractItemToStream(index, stream);
}

} // namespace arc
