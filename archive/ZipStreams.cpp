#include "archive/ZipStreams.h"

#include "archive/ZipArchive.h"

#include <algorithm>
#include <cstring>

namespace arc {

TArcUnzipSubsetStream::TArcUnzipSubsetStream(rtl::TStream& source, int64_t length)
    : FSource(source), FStart(source.Position()), FCurrent(FStart),
      FEnd(FStart + std::max<int64_t>(length, 0)) {}

size_t TArcUnzipSubsetStream::Read(void* buffer, size_t count) {
    int64_t left = FEnd - FCurrent;
    if (left <= 0) return 0;
    size_t n = FSource.Read(
        buffer, static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(count))));
    FCurrent += static_cast<int64_t>(n);
    return n;
}

int64_t TArcUnzipSubsetStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    int64_t base = origin == rtl::TSeekOrigin::soBeginning ? FStart
                   : origin == rtl::TSeekOrigin::soCurrent ? FCurrent
                                                           : FEnd;
    int64_t wanted = std::clamp(base + offset, FStart, FEnd);
    if (wanted != FCurrent) FCurrent = FSource.Seek(wanted, rtl::TSeekOrigin::soBeginning);
    return FCurrent - FStart;
}

TArcZipCryptKeys::TArcZipCryptKeys(const std::string& password) {
    for (unsigned char c : password)
        Update(c);
}

void TArcZipCryptKeys::Update(uint8_t plain) {
    FKey0 = TArcCrc32::UpdateCrc32(FKey0, &plain, 1);
    FKey1 = (FKey1 + (FKey0 & 0xFF)) * 134775813u + 1;
    uint8_t top = static_cast<uint8_t>(FKey1 >> 24);
    FKey2 = TArcCrc32::UpdateCrc32(FKey2, &top, 1);
}

TArcZipDecryptStream::TArcZipDecryptStream(std::unique_ptr<rtl::TStream> source,
                                           const std::string& password, const uint8_t* header)
    : FSource(std::move(source)), FKeys(password) {
    for (size_t i = 0; i < kZipCryptHeaderSize; ++i)
        FLastHeaderByte = FKeys.DecryptByte(header[i]);
}

size_t TArcZipDecryptStream::Read(void* buffer, size_t count) {
    size_t n = FSource->Read(buffer, count);
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i)
        p[i] = FKeys.DecryptByte(p[i]);
    return n;
}

int64_t TArcZipDecryptStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    // The key state follows the bytes read, so only the position can be asked for.
    if (offset != 0 || origin != rtl::TSeekOrigin::soCurrent)
        throw EArcException(ArcTexts.Load(kArcMsgEncryptedSeekRes));
    return FSource->Position() - static_cast<int64_t>(kZipCryptHeaderSize);
}

TArcUnzipOutputStream::TArcUnzipOutputStream(rtl::TStream* target, int64_t expectedSize,
                                             TProgress progress)
    : FStream(target), FUncompressedSize(expectedSize), FProgress(std::move(progress)) {}

size_t TArcUnzipOutputStream::Write(const void* buffer, size_t count) {
    int64_t room = FUncompressedSize - FBytesWritten;
    size_t allowed = static_cast<size_t>(std::clamp<int64_t>(room, 0, static_cast<int64_t>(count)));
    if (allowed > 0) {
        FCrc.Update(buffer, allowed);
        if (FStream) FStream->WriteBuffer(buffer, allowed);
        FBytesWritten += static_cast<int64_t>(allowed);
    }
    if (allowed < count) throw EArcZipDataTooLong();
    if (FProgress) {
        int percent = PercentOf(FBytesWritten, FUncompressedSize);
        if (percent != FLastPercent) {
            FLastPercent = percent;
            if (FProgress(percent)) throw EArcUserAbort();
        }
    }
    return count;
}

int64_t TArcUnzipOutputStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    // Only asking where the output stands is possible (the end is the position).
    if (offset == 0 && origin != rtl::TSeekOrigin::soBeginning) return FBytesWritten;
    if (origin == rtl::TSeekOrigin::soBeginning && offset == FBytesWritten) return FBytesWritten;
    throw EArcException(ArcTexts.Load(kArcMsgEntryOutputSeekRes));
}

TArcBufferedReadStream::TArcBufferedReadStream(rtl::TStream& source, size_t bufferSize)
    : FSource(source), FBuffer(bufferSize) {}

size_t TArcBufferedReadStream::Read(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (FPos == FEnd) {
            if (count - done >= FBuffer.size()) {
                size_t n = FSource.Read(p + done, count - done);
                return done + n;
            }
            FPos = 0;
            FEnd = FSource.Read(FBuffer.data(), FBuffer.size());
            if (FEnd == 0) break;
        }
        size_t n = std::min(count - done, FEnd - FPos);
        std::memcpy(p + done, FBuffer.data() + FPos, n);
        FPos += n, done += n;
    }
    return done;
}

int64_t TArcBufferedReadStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    int64_t sourcePos = FSource.Position();
    int64_t here = sourcePos - static_cast<int64_t>(FEnd - FPos);
    if (origin == rtl::TSeekOrigin::soCurrent) {
        if (offset == 0) return here;
        offset += here;
        origin = rtl::TSeekOrigin::soBeginning;
    }
    if (origin == rtl::TSeekOrigin::soBeginning &&
        offset >= sourcePos - static_cast<int64_t>(FEnd) && offset <= sourcePos) {
        FPos = static_cast<size_t>(offset - (sourcePos - static_cast<int64_t>(FEnd)));
        return offset;
    }
    FPos = FEnd = 0;
    return FSource.Seek(offset, origin);
}

} // namespace arc
