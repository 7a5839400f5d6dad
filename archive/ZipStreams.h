#pragma once
// Streams used while extracting one entry: the window over its data, the
// traditional PKWARE decryption, the checked output and a read buffer.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArcErrors.h"
#include "archive/Crc32.h"
#include "runtime/Streams.h"

namespace arc {

// A decoder produced more bytes than the entry declares.
class EArcZipDataTooLong : public EArcZipException {
  public:
    EArcZipDataTooLong() : EArcZipException(ArcTexts.Compose(kArcMsgZipDataTooLongRes), 29) {}
};

// A read window of a given length over another stream, starting at that
// stream's position. Reads are clipped to the window, seeks clamped into it.
class TArcUnzipSubsetStream : public rtl::TStream {
  public:
    TArcUnzipSubsetStream(rtl::TStream& source, int64_t length);
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}
    int64_t Size() override { return FEnd - FStart; }

  private:
    rtl::TStream& FSource;
    int64_t FStart, FCurrent, FEnd;
};

// Traditional PKWARE encryption (APPNOTE 6.1): three 32-bit keys.
class TArcZipCryptKeys {
  public:
    explicit TArcZipCryptKeys(const std::string& password);
    uint8_t DecryptByte(uint8_t cipher) {
        uint8_t plain = static_cast<uint8_t>(cipher ^ StreamByte());
        Update(plain);
        return plain;
    }

  private:
    uint8_t StreamByte() const {
        uint32_t temp = (FKey2 | 2) & 0xFFFF;
        return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    }
    void Update(uint8_t plain);
    uint32_t FKey0 = 305419896, FKey1 = 591751049, FKey2 = 878082192;
};

inline constexpr size_t kZipCryptHeaderSize = 12;

// Decrypts the entry data that follows the 12-byte encryption header.
class TArcZipDecryptStream : public rtl::TStream {
  public:
    // header: the entry's 12 encrypted header bytes; checkByte: the value the
    // last decrypted header byte must have.
    TArcZipDecryptStream(std::unique_ptr<rtl::TStream> source, const std::string& password,
                         const uint8_t* header);
    // Whether the password checks out against the check byte.
    bool Verify(uint8_t checkByte) const { return FLastHeaderByte == checkByte; }
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}
    std::unique_ptr<rtl::TStream> ReleaseSource() { return std::move(FSource); }

  private:
    std::unique_ptr<rtl::TStream> FSource;
    TArcZipCryptKeys FKeys;
    uint8_t FLastHeaderByte = 0;
};

// The checked output of one entry: keeps the CRC-32 and the count of bytes,
// reports progress and refuses bytes beyond the declared size (the excess
// raises EArcZipDataTooLong after the allowed part is written). A null
// target only counts.
class TArcUnzipOutputStream : public rtl::TStream {
  public:
    using TProgress = std::function<bool(int percent)>; // true = abort
    TArcUnzipOutputStream(rtl::TStream* target, int64_t expectedSize, TProgress progress);
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}
    uint32_t CRC32() const { return FCrc.Value(); }
    int64_t BytesWritten() const { return FBytesWritten; }

  private:
    rtl::TStream* FStream;
    TArcCrc32 FCrc;
    int64_t FBytesWritten = 0;
    int64_t FUncompressedSize;
    int FLastPercent = -1;
    TProgress FProgress;
};

// A read buffer in front of another stream, for many small reads.
class TArcBufferedReadStream : public rtl::TStream {
  public:
    explicit TArcBufferedReadStream(rtl::TStream& source, size_t bufferSize = 65536);
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}

  private:
    rtl::TStream& FSource;
    std::vector<uint8_t> FBuffer;
    size_t FPos = 0, FEnd = 0;
};

} // namespace arc
