// The ZIP archive: type probes, the central directory, spanned and split
// sets, and the local header of an entry.
#include <algorithm>
#include <cstring>

#include "archive/ArcArchive.h"
#include "archive/ArcErrors.h"
#include "archive/ZipStreams.h"
#include "platform/Files.h"
#include "platform/RemovableMedia.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"

namespace arc {

// ---------------------------------------------------------------- probes

namespace {

std::string UpperExtension(const std::string& fileName) {
    std::string name = platform::ExtractFileName(fileName);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : platform::AsciiUpperCase(name.substr(dot));
}

TArcArchiveType ProbeTar(rtl::TStream& s) {
    uint8_t b[262] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, sizeof b) == sizeof b && std::memcmp(b + 257, "ustar", 5) == 0
               ? atTar
               : atUnknown;
}
TArcArchiveType ProbeGzip(rtl::TStream& s) {
    uint8_t b[2] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 2) == 2 && b[0] == 0x1F && b[1] == 0x8B ? atGzip : atUnknown;
}
TArcArchiveType ProbeBzip2(rtl::TStream& s) {
    uint8_t b[3] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 3) == 3 && std::memcmp(b, "BZh", 3) == 0 ? atBzip2 : atUnknown;
}
TArcArchiveType ProbeCab(rtl::TStream& s) {
    uint8_t b[4] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 4) == 4 && std::memcmp(b, "MSCF", 4) == 0 ? atCab : atUnknown;
}

bool StartsLikeExecutable(const uint8_t* b, size_t got) {
    return (got >= 2 && GetU16(b) == kDosExecutableMagic) ||
           (got >= 4 && GetU32(b) == kElfExecutableMagic);
}

} // namespace

TArcArchiveType ProbeZipStream(rtl::TStream& stream) {
    int64_t remembered = stream.Position();
    TArcArchiveType result = atUnknown;
    try {
        uint8_t head[4] = {};
        stream.SetPosition(0);
        if (ReadPlain(stream, head, 4) == 4 && GetU32(head) == kSpannedSetMarker) {
            result = atSpannedZip;
        } else if (LocateEndOfDirectory(stream) >= 0) {
            uint8_t record[kEndOfDirectorySize];
            stream.ReadBuffer(record, sizeof record);
            if (GetU32(record) == kEndOfDirectorySignature)
                result = GetU16(record + 4) == 0 ? atZip : atSpannedZip;
        }
    } catch (const rtl::EReadError&) {
        result = atUnknown;
    }
    stream.SetPosition(remembered);
    return result;
}

TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream) {
    int64_t remembered = stream.Position();
    uint8_t head[4] = {};
    stream.SetPosition(0);
    size_t got = ReadPlain(stream, head, 4);
    stream.SetPosition(remembered);
    if (StartsLikeExecutable(head, got) && ProbeZipStream(stream) == atZip) return atSelfExtZip;
    return atUnknown;
}

TArcArchiveType GuessArchiveType(const std::string& fileName) {
    std::string ext = UpperExtension(fileName);
    TArcArchiveType guess = atUnknown;
    if (ext == ".ZIP" || ext == ".JAR")
        guess = atZip;
    else if (ext == ".EXE")
        guess = atSelfExtZip;
    else if (ext == ".TAR")
        guess = atTar;
    else if (ext == ".GZ")
        guess = atGzip;
    else if (ext == ".TGZ")
        guess = atGzippedTar;
    else if (ext == ".CAB")
        guess = atCab;
    else if (ext == ".BZ2")
        guess = atBzip2;
    else if (ext == ".TBZ")
        guess = atBzippedTar;

    if (!platform::FileExists(fileName) || platform::FileSizeByName(fileName) <= 0) return guess;
    rtl::TFileStream probe(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    switch (guess) {
    case atZip:
        return ProbeZipStream(probe);
    case atSelfExtZip:
        return ProbeSelfExtractingZip(probe);
    case atUnknown:
        for (auto fn :
             {ProbeSelfExtractingZip, ProbeZipStream, ProbeTar, ProbeGzip, ProbeBzip2, ProbeCab}) {
            TArcArchiveType t = fn(probe);
            if (t != atUnknown) return t;
        }
        return atUnknown;
    default:
        return guess;
    }
}

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
    rtl::TStream& s = *FStream;
    if (s.Size() == 0) return;
    uint8_t head[4] = {};
    s.SetPosition(0);
    size_t got = ReadPlain(s, head, 4);
    FIsExecutable = StartsLikeExecutable(head, got);
    bool spannedMarker = got == 4 && GetU32(head) == kSpannedSetMarker;

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
        if (abort) {
            FStatus = asInvalid;
            throw EArcUserAbort();
        }
        FStream = std::make_unique<rtl::TFileStream>(FArchiveName, FMode);
        endPos = LocateEndOfDirectory(*FStream);
    }
    if (endPos < 0) {
        FStatus = asInvalid;
        throw EArcZipInvalid();
    }
    FInfo = TArcZipDirectoryFileFooter();
    FInfo.LoadFromStream(*FStream);

    uint32_t zip64Disk = 0;
    uint64_t zip64Offset = 0;
    const bool zip64 = FInfo.IsZip64();
    if (zip64) {
        // The locator normally sits right before the end record; otherwise
        // it is searched byte by byte towards the start, a block at a time.
        uint8_t loc[kZip64LocatorSize];
        int64_t pos = endPos - static_cast<int64_t>(kZip64LocatorSize);
        std::vector<uint8_t> block;
        bool found = false;
        while (!found && pos >= 0) {
            int64_t blockStart = std::max<int64_t>(0, pos - 65536);
            block.resize(static_cast<size_t>(pos - blockStart) + kZip64LocatorSize);
            FStream->SetPosition(blockStart);
            FStream->ReadBuffer(block.data(), block.size());
            for (int64_t i = pos - blockStart; i >= 0; --i, --pos)
                if (GetU32(block.data() + i) == kZip64LocatorSignature) {
                    std::memcpy(loc, block.data() + i, sizeof loc);
                    found = true;
                    break;
                }
        }
        if (!found) {
            FStatus = asInvalid;
            throw EArcZipInvalid();
        }
        zip64Disk = GetU32(loc + 4);
        zip64Offset = GetU64(loc + 8);
        FInfo.FDiskNumber = GetU32(loc + 16) - 1;
    }
    FSpanned = FInfo.FDiskNumber != 0;
    if (!FSpanned) {
        if (zip64) {
            FStream->SetPosition(static_cast<int64_t>(zip64Offset));
            FInfo.LoadZip64FromStream(*FStream);
        }
        FStream->SetPosition(static_cast<int64_t>(FInfo.FDirectoryOffset));
    } else {
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
        if (abort) {
            FStatus = asInvalid;
            throw EArcUserAbort();
        }
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
