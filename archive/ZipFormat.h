#pragma once
// ZIP record layouts (PKWARE APPNOTE): signatures, the headers of the central
// directory and of each entry, the end-of-directory record, extra fields and
// the decoding of entry names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Streams.h"

namespace arc {

inline constexpr uint32_t kLocalFileHeaderSignature = 0x04034B50;
inline constexpr uint32_t kDirectoryFileHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndOfDirectorySignature = 0x06054B50;
inline constexpr uint32_t kZip64EndOfDirectorySignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kSpannedSetMarker = 0x08074B50;
inline constexpr uint16_t kDosExecutableMagic = 0x5A4D;     // "MZ"
inline constexpr uint32_t kElfExecutableMagic = 0x464C457F; // "\x7F" "ELF"

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;
inline constexpr uint16_t kExtraUnicodeRecord = 0x554E;
inline constexpr uint32_t kUnicodeRecordSignature = 0x5843554E;

inline constexpr size_t kEndOfDirectorySize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndOfDirectorySize = 56;
inline constexpr size_t kLocalFileHeaderSize = 30;
inline constexpr size_t kDirectoryFileHeaderSize = 46;

// General purpose flag bits. Bits 1 and 2 mean different things per method:
// for implode they choose the dictionary size and the tree count, for LZMA
// bit 1 says the stream ends with an end marker (APPNOTE 4.4.4).
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagImplode8KDictionary = 0x0002;
inline constexpr uint16_t kFlagImplode3Trees = 0x0004;
inline constexpr uint16_t kFlagLzmaEndMarker = 0x0002;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8Names = 0x0800;

// Compression methods (APPNOTE 4.4.5) that the extractor knows by name.
enum class TArcZipMethod : uint16_t {
    Stored = 0,
    Shrunk = 1,
    Reduced1 = 2, // reduced with compression factor 1; 3 to 5 are factors 2 to 4
    Reduced2 = 3,
    Reduced3 = 4,
    Reduced4 = 5,
    Imploded = 6,
    Deflated = 8,
    Deflate64 = 9,
    BZip2 = 12,
    Lzma = 14,
    WavPack = 97,
    PPMd = 98,
};

// Host systems (high byte of "version made by").
inline constexpr uint8_t kHostMsDos = 0;
inline constexpr uint8_t kHostUnix = 3;

// Reads up to count bytes, as many as the stream gives; the rest stays zero.
size_t ReadPlain(rtl::TStream& stream, void* buffer, size_t count);

// A sequence of sub-fields: 16-bit ID, 16-bit data size, data.
class TArcExtraField {
  public:
    void Assign(std::vector<uint8_t> bytes) { FBuffer = std::move(bytes); }
    const std::vector<uint8_t>& Buffer() const { return FBuffer; }
    bool Empty() const { return FBuffer.empty(); }
    // Finds the first sub-field with the ID. A size that claims more bytes
    // than remain is clamped to them (and written back into the buffer).
    bool FindSubField(uint16_t id, const uint8_t*& data, uint16_t& size);

  private:
    std::vector<uint8_t> FBuffer;
};

enum class TArcNameEncoding { neAscii, neAnsi, neUtf8 };

// Decides whether name bytes are plain ASCII, well-formed UTF-8 or text in
// the ANSI code page.
TArcNameEncoding ClassifyNameBytes(std::string_view bytes);
// Name bytes to UTF-8 text by their classification.
std::string DecodeNameBytes(std::string_view bytes);
// Name bytes that are to be read as UTF-8 (flag bit 11, or classified so),
// decoded for real: every ill-formed sequence (a stray byte, an overlong
// form, an encoded surrogate, a code point past U+10FFFF) becomes U+FFFD, so
// no name that is not UTF-8 ever reaches the file system.
std::string DecodeUtf8NameBytes(std::string_view bytes);
// True when every high byte of the name is typical of OEM text and not all of
// them are typical of ANSI text, for the given OEM code page (false for a page
// without tables).
bool LooksLikeOemName(std::string_view bytes, unsigned oemCodePage);

// Fields common to local and central headers, as stored.
class TArcZipFileHeader {
  public:
    explicit TArcZipFileHeader(uint32_t validSignature) : FValidSignature(validSignature) {}
    virtual ~TArcZipFileHeader() = default;
    bool IsValid() const { return FSignature == FValidSignature; }
    bool IsEncrypted() const { return (FGeneralPurposeBitFlag & kFlagEncrypted) != 0; }

    uint32_t FValidSignature;
    uint32_t FSignature = 0;
    uint16_t FVersionNeededToExtract = 0;
    uint16_t FGeneralPurposeBitFlag = 0;
    uint16_t FCompressionMethod = 0;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    uint32_t FCRC32 = 0;
    uint32_t FCompressedSize = 0;
    uint32_t FUncompressedSize = 0;
    std::string FFileName;
    TArcExtraField FExtraField;

  protected:
    // Local and central headers share the run of fields from "version needed
    // to extract" to "extra field length" (APPNOTE 4.3.7 and 4.3.12); p points
    // at its first byte. Returns the name and extra field lengths.
    void ReadSharedFields(const uint8_t* p, uint16_t& nameLength, uint16_t& extraLength);
};

class TArcZipLocalFileHeader : public TArcZipFileHeader {
  public:
    TArcZipLocalFileHeader() : TArcZipFileHeader(kLocalFileHeaderSignature) {}
    // Reads the header at the stream's position; afterwards the stream is at
    // the entry's first data byte. A wrong signature raises EArcZipInvalid.
    void LoadFromStream(rtl::TStream& stream);
};

class TArcZipDirectoryFileHeader : public TArcZipFileHeader {
  public:
    TArcZipDirectoryFileHeader() : TArcZipFileHeader(kDirectoryFileHeaderSignature) {}
    // Reads one central directory header. A stream that ends inside the fixed
    // part leaves fields zero (and so fails the signature check); a short
    // extra field raises the stream read error.
    void LoadFromStream(rtl::TStream& stream);
    uint8_t HostSystem() const { return static_cast<uint8_t>(FVersionMadeBy >> 8); }
    // The decoded name. When it equals the raw bytes only one copy is kept
    // (FFileName is then emptied and FNameIsRaw set).
    const std::string& DecodedFileName() const { return FNameIsRaw ? FRawFileName : FFileName; }
    void ShareNameWithRawBytes() {
        if (!FNameIsRaw && FFileName == FRawFileName) {
            FNameIsRaw = true;
            std::string().swap(FFileName);
        }
    }

    std::string FRawFileName;
    bool FNameIsRaw = false;
    uint16_t FVersionMadeBy = 0;
    uint16_t FDiskNumberStart = 0;
    uint16_t FInternalFileAttributes = 0;
    uint32_t FExternalFileAttributes = 0;
    uint32_t FRelativeOffset = 0;
    std::string FFileComment;
};

// The end-of-central-directory values, widened by the Zip64 record.
class TArcZipDirectoryFileFooter {
  public:
    bool IsZip64() const;
    // Reads the classic record (and its comment) at the stream's position.
    void LoadFromStream(rtl::TStream& stream);
    // Reads the Zip64 record; replaces only values that hold their escape.
    void LoadZip64FromStream(rtl::TStream& stream);

    uint32_t FDiskNumber = 0;
    uint32_t FStartDiskNumber = 0;
    uint64_t FEntriesOnDisk = 0;
    uint64_t FTotalEntries = 0;
    uint64_t FDirectorySize = 0;
    uint64_t FDirectoryOffset = 0;
    std::string FZipfileComment;
};

// Position of the end-of-central-directory record, searched from the end of
// the stream towards its start, or -1. When found, the stream is left at the
// record; otherwise its position is restored.
int64_t LocateEndOfDirectory(rtl::TStream& stream);

// Position of the Zip64 end-of-central-directory locator, which normally
// sits right before the end record at endPos and is otherwise searched byte
// by byte towards the start of the stream; -1 when there is none. A stream
// that cannot be read raises EReadError.
int64_t LocateZip64Locator(rtl::TStream& stream, int64_t endPos);

// True when the first bytes (got of them) start a DOS or ELF executable, the
// stub of a self-extracting archive.
bool StartsLikeExecutable(const uint8_t* head, size_t got);

} // namespace arc
