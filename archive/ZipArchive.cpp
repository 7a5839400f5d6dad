// The ZIP archive: its items, the central directory, spanned and split sets,
// and the local header of an entry.
#include <algorithm>
#include <cstring>

#include "archive/ZipArchive.h"

#include "archive/ArcErrors.h"
#include "archive/ArcTexts.h"
#include "archive/Crc32.h"
#include "archive/ZipStreams.h"
#include "platform/CodePages.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/RemovableMedia.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"
#include "runtime/Format.h"

namespace arc {

namespace {

bool IsDelimiter(char c) {
    return c == '\\' || c == '/';
}

} // namespace

// ---------------------------------------------------------------- items

void TArcZipItem::LoadFromStream(rtl::TStream& stream) {
    TArcZipDirectoryFileHeader& h = FItemInfo;
    h.LoadFromStream(stream);

    const uint8_t* data = nullptr;
    uint16_t size = 0;
    std::string ansiName; // the header name in the ANSI code page, computed once
    auto headerNameAsAnsi = [&]() -> const std::string& {
        if (ansiName.empty()) ansiName = platform::Utf8ToAnsi(h.FFileName);
        return ansiName;
    };
    if ((h.FGeneralPurposeBitFlag & kFlagUtf8Names) != 0 ||
        ClassifyNameBytes(h.FRawFileName) == TArcNameEncoding::neUtf8) {
        FFileName = DecodeUtf8NameBytes(h.FRawFileName);
    } else if (h.FExtraField.FindSubField(kExtraUnicodePath, data, size) && size > 6 &&
               data[0] == 1 &&
               rtl::LoadLE32(data + 1) ==
                   TArcCrc32::Of(headerNameAsAnsi().data(), headerNameAsAnsi().size())) {
        FFileName = DecodeUtf8NameBytes(
            std::string_view(reinterpret_cast<const char*>(data + 5), size - 5u));
    } else if (h.FExtraField.FindSubField(kExtraUnicodeRecord, data, size) && size > 10 &&
               rtl::LoadLE32(data) == kUnicodeRecordSignature &&
               size == 8 + 2 * uint64_t(rtl::LoadLE32(data + 4))) {
        std::u16string text;
        for (uint32_t i = 0, n = rtl::LoadLE32(data + 4); i < n; ++i)
            text.push_back(char16_t(rtl::LoadLE16(data + 8 + 2 * i)));
        FFileName = platform::Utf16ToUtf8(text);
    } else if (platform::AnsiCodePage() != platform::OemCodePage()) {
        const std::string& bytes = headerNameAsAnsi();
        if (h.HostSystem() != kHostMsDos && !LooksLikeOemName(bytes, platform::OemCodePage()))
            FFileName = h.FFileName;
        else
            FFileName = platform::OemToUtf8(bytes);
    } else {
        FFileName = h.FFileName;
    }
    // A name must be valid UTF-8 for everything downstream; every rule above
    // gives valid UTF-8.

    FUncompressedSize = h.FUncompressedSize;
    FCompressedSize = h.FCompressedSize;
    FRelativeOffset = h.FRelativeOffset;
    FDiskNumberStart = h.FDiskNumberStart;
    if (h.FExtraField.FindSubField(kExtraZip64, data, size)) {
        size_t pos = 0;
        auto take = [&](size_t width) -> uint64_t {
            if (pos + width > size)
                throw rtl::EReadError(
                    rtl::Compose([] { return rtl::LoadResString(&rtl::SReadError); }));
            uint64_t v = width == 8 ? rtl::LoadLE64(data + pos) : rtl::LoadLE32(data + pos);
            pos += width;
            return v;
        };
        if (h.FUncompressedSize == 0xFFFFFFFF) FUncompressedSize = static_cast<int64_t>(take(8));
        if (h.FCompressedSize == 0xFFFFFFFF) FCompressedSize = static_cast<int64_t>(take(8));
        if (h.FRelativeOffset == 0xFFFFFFFF) FRelativeOffset = static_cast<int64_t>(take(8));
        if (h.FDiskNumberStart == 0xFFFF) FDiskNumberStart = static_cast<uint32_t>(take(4));
    }
    FLastModFileTime = h.FLastModFileTime;
    FLastModFileDate = h.FLastModFileDate;
    h.ShareNameWithRawBytes();
    FAction = aaNone;
    FTagged = false;
}

bool TArcZipItem::IsDirectory() const {
    return (FItemInfo.FExternalFileAttributes & platform::faDirectory) != 0 ||
           (!FFileName.empty() && IsDelimiter(FFileName.back()));
}

uint32_t TArcZipItem::NativeFileAttributes() const {
    uint32_t external = FItemInfo.FExternalFileAttributes;
    if (FItemInfo.HostSystem() != kHostUnix && external < 0x20000) return external & 0xFF;
    uint32_t mode = external >> 16;
    uint32_t result = 0;
    if ((mode & 0x80) == 0) result |= platform::faReadOnly;
    switch (mode & 0xF000) {
    case 0x4000:
        result |= platform::faDirectory;
        break;
    case 0x1000:
    case 0x2000:
    case 0x6000:
    case 0xA000:
    case 0xC000:
        result |= platform::faSysFile;
        break;
    default:
        break;
    }
    return result;
}

void TArcZipItem::LastModTimeParts(int& year, int& month, int& day, int& hour, int& minute,
                                   int& second) const {
    year = 1980 + (FLastModFileDate >> 9);
    month = (FLastModFileDate >> 5) & 0x0F;
    day = FLastModFileDate & 0x1F;
    hour = FLastModFileTime >> 11;
    minute = (FLastModFileTime >> 5) & 0x3F;
    second = 2 * (FLastModFileTime & 0x1F);
    // Validate both halves with the runtime's own error texts.
    rtl::EncodeDate(year, month, day);
    rtl::EncodeTime(hour, minute, second, 0);
}

rtl::TDateTime TArcZipItem::LastModTimeAsDateTime() const {
    int y, mo, d, h, mi, s;
    LastModTimeParts(y, mo, d, h, mi, s);
    return rtl::EncodeDate(y, mo, d) + rtl::EncodeTime(h, mi, s, 0);
}

// ---------------------------------------------------------------- masks

// ---------------------------------------------------------------- span stream

TArcSpanReadStream::TArcSpanReadStream(const std::string& archiveName,
                                       std::unique_ptr<rtl::TStream> lastImage,
                                       uint32_t lastImageNumber, TArcZipArchive& owner)
    : FArchiveName(archiveName), FImage(std::move(lastImage)), FCurrentImage(lastImageNumber),
      FLastImage(lastImageNumber), FOwner(owner) {
    FSplit = platform::FileExists(ImageFileName(1)) || !platform::IsRemovableDrive(archiveName);
}

std::string TArcSpanReadStream::ImageFileName(uint32_t number) const {
    std::string digits = (number < 10 ? "0" : "") + std::to_string(number);
    // "name.zip" -> "name.z01"; without an extension (or a lone dot) "name.01".
    size_t slash = FArchiveName.find_last_of("/\\:");
    size_t dot = FArchiveName.find_last_of('.');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string stem = hasExtension ? FArchiveName.substr(0, dot) : FArchiveName;
    std::string extension = hasExtension ? FArchiveName.substr(dot) : std::string();
    std::string name =
        extension.size() >= 2 ? stem + extension.substr(0, 2) + digits : stem + "." + digits;
    if (FOwner.FHooks.OnRequestImage) {
        bool abort = false;
        FOwner.FHooks.OnRequestImage(static_cast<int>(number), name, abort);
        if (abort) throw EArcUserAbort();
    }
    return name;
}

void TArcSpanReadStream::SwitchToImage(uint32_t image) {
    FImage.reset();
    if (FSplit) {
        std::string name = image == FLastImage ? FArchiveName : ImageFileName(image + 1);
        FImage = std::make_unique<rtl::TFileStream>(name, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    } else {
        for (;;) {
            bool abort = false;
            if (FOwner.FOnRequestNthDisk)
                FOwner.FOnRequestNthDisk(static_cast<int>(image + 1), abort);
            else
                abort = !platform::AskOkCancel(
                    ArcTexts.Format(kArcMsgInsertNthDiskRes, {static_cast<int64_t>(image + 1)}),
                    ArcTexts.Load(kArcMsgInsertCaptionRes));
            if (abort) throw EArcUserAbort();
            if (platform::DriveReportsFreeSpace(FArchiveName)) break;
        }
        FImage = std::make_unique<rtl::TFileStream>(FArchiveName,
                                                    rtl::fmOpenRead | rtl::fmShareDenyWrite);
    }
    FCurrentImage = image;
}

void TArcSpanReadStream::SeekImage(uint32_t image, int64_t offset) {
    if (image != FCurrentImage || !FImage) SwitchToImage(image);
    FImage->SetPosition(offset);
}

size_t TArcSpanReadStream::Read(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        size_t n = FImage ? FImage->Read(p + done, count - done) : 0;
        done += n;
        if (n == 0) {
            if (FCurrentImage >= FLastImage) break;
            SwitchToImage(FCurrentImage + 1);
        }
    }
    return done;
}

int64_t TArcSpanReadStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    if (offset == 0 && origin == rtl::TSeekOrigin::soCurrent)
        return FImage ? FImage->Position() : 0;
    throw EArcException(ArcTexts.Load(kArcMsgSpanSeekRes));
}

int64_t TArcSpanReadStream::Size() {
    return FImage ? FImage->Size() : 0;
}

// ---------------------------------------------------------------- archive

TArcZipArchive::TArcZipArchive(const std::string& fileName)
    : TArcArchive(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone) {
    FStream = std::make_unique<rtl::TFileStream>(fileName, FMode);
    FOwnsStream = true;
}

TArcZipArchive::TArcZipArchive(std::unique_ptr<rtl::TStream> stream, const std::string& name)
    : TArcArchive(name, rtl::fmOpenRead | rtl::fmShareDenyNone) {
    FStream = std::move(stream);
    FOwnsStream = false;
}

TArcZipArchive::~TArcZipArchive() = default;

void TArcZipArchive::LoadArchive() {
    ReadCentralDirectory();
}

TArcSpanReadStream* TArcZipArchive::SpanStream() {
    return dynamic_cast<TArcSpanReadStream*>(FStream.get());
}

void TArcZipArchive::SeekTo(uint32_t disk, int64_t offset) {
    if (auto* span = SpanStream())
        span->SeekImage(disk, offset);
    else
        FStream->SetPosition(offset);
}

void TArcZipArchive::ReadCentralDirectory() {
    FItemList.clear();
    if (FStream->Size() == 0) return;
    const int64_t endPos = FindEndRecord();
    FInfo = TArcZipDirectoryFileFooter();
    FInfo.LoadFromStream(*FStream);

    uint32_t zip64Disk = 0;
    uint64_t zip64Offset = 0;
    const bool zip64 = FInfo.IsZip64();
    if (zip64) {
        const int64_t locator = LocateZip64Locator(*FStream, endPos);
        if (locator < 0) Invalidate(EArcZipInvalid());
        uint8_t loc[kZip64LocatorSize];
        FStream->SetPosition(locator);
        FStream->ReadBuffer(loc, sizeof loc);
        zip64Disk = rtl::LoadLE32(loc + 4);
        zip64Offset = rtl::LoadLE64(loc + 8);
        FInfo.FDiskNumber = rtl::LoadLE32(loc + 16) - 1;
    }
    SeekToDirectory(zip64, zip64Disk, zip64Offset);
    ReadDirectoryEntries();
}

int64_t TArcZipArchive::FindEndRecord() {
    uint8_t head[4] = {};
    FStream->SetPosition(0);
    size_t got = ReadPlain(*FStream, head, 4);
    FIsExecutable = StartsLikeExecutable(head, got);
    bool spannedMarker = got == 4 && rtl::LoadLE32(head) == kSpannedSetMarker;

    int64_t endPos = LocateEndOfDirectory(*FStream);
    while (endPos < 0 && spannedMarker && FOwnsStream && platform::IsRemovableDrive(FArchiveName)) {
        // The first disk of a spanned set is in the drive: ask for the last.
        FStream.reset();
        bool abort = false;
        if (FOnRequestLastDisk)
            FOnRequestLastDisk(abort);
        else
            abort = !platform::AskOkCancel(ArcTexts.Load(kArcMsgInsertLastDiskRes),
                                           ArcTexts.Load(kArcMsgInsertCaptionRes));
        if (abort) Invalidate(EArcUserAbort());
        FStream = std::make_unique<rtl::TFileStream>(FArchiveName, FMode);
        endPos = LocateEndOfDirectory(*FStream);
    }
    if (endPos < 0) Invalidate(EArcZipInvalid());
    return endPos;
}

void TArcZipArchive::SeekToDirectory(bool zip64, uint32_t zip64Disk, uint64_t zip64Offset) {
    FSpanned = FInfo.FDiskNumber != 0;
    if (!FSpanned) {
        if (zip64) {
            FStream->SetPosition(static_cast<int64_t>(zip64Offset));
            FInfo.LoadZip64FromStream(*FStream);
        }
        FStream->SetPosition(static_cast<int64_t>(FInfo.FDirectoryOffset));
        return;
    }
    if (!FOwnsStream) throw EArcZipBadSpanStream();
    auto span = std::make_unique<TArcSpanReadStream>(FArchiveName, std::move(FStream),
                                                     FInfo.FDiskNumber, *this);
    TArcSpanReadStream& spanRef = *span;
    FStream = std::move(span);
    if (zip64) {
        spanRef.SeekImage(zip64Disk, static_cast<int64_t>(zip64Offset));
        FInfo.LoadZip64FromStream(spanRef);
    }
    spanRef.SeekImage(FInfo.FStartDiskNumber, static_cast<int64_t>(FInfo.FDirectoryOffset));
}

void TArcZipArchive::ReadDirectoryEntries() {
    // The directory is read through a buffer: one read per buffer, not per field.
    TArcBufferedReadStream reader(*FStream);
    const uint64_t total = FInfo.FTotalEntries;
    for (uint64_t n = 0; n < total; ++n) {
        auto item = std::make_unique<TArcZipItem>();
        item->LoadFromStream(reader);
        item->FAction = aaNone;
        FItemList.push_back(std::move(item));
        bool abort = false;
        if (FHooks.OnArchiveProgress)
            FHooks.OnArchiveProgress(static_cast<int>((n + 1) * 100 / total), abort);
        if (abort) Invalidate(EArcUserAbort());
    }
    bool abort = false;
    if (FHooks.OnArchiveProgress) FHooks.OnArchiveProgress(100, abort);
    FIsDirty = false;
}

void TArcZipArchive::ReadLocalHeader(TArcZipItem& item, TArcZipLocalFileHeader& header) {
    if ((item.VersionNeededToExtract() & 0xFF) > 63) throw EArcZipVersion();
    SeekTo(item.FDiskNumberStart, item.FRelativeOffset);
    header.LoadFromStream(*FStream);
}

bool TArcZipArchive::RequestPassword() {
    std::string answer = FPassword;
    if (FOnNeedPassword) FOnNeedPassword(answer);
    if (answer.empty()) return false;
    FPassword = answer;
    return true;
}

void TArcZipArchive::ExtractEntry(TArcArchiveItem& item, const std::string& target) {
    if (!FExtractHelper) throw EArcZipNoExtraction();
    FExtractHelper(*this, static_cast<TArcZipItem&>(item), target);
}

void TArcZipArchive::ExtractEntryToStream(TArcArchiveItem& item, rtl::TStream& stream) {
    if (!FExtractToStreamHelper) throw EArcZipNoExtraction();
    FExtractToStreamHelper(*this, static_cast<TArcZipItem&>(item), stream);
}

void TArcZipArchive::TestEntry(TArcArchiveItem& item) {
    if (!FTestHelper) throw EArcZipNoExtraction();
    FTestHelper(*this, static_cast<TArcZipItem&>(item));
}

} // namespace arc
