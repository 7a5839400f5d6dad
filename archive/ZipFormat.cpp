#include "archive/ZipFormat.h"

#include <algorithm>
#include <cstring>

#include "archive/ArcErrors.h"
#include "platform/CodePages.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"

namespace arc {

size_t ReadPlain(rtl::TStream& stream, void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        size_t n = stream.Read(p + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool TArcExtraField::FindSubField(uint16_t id, const uint8_t*& data, uint16_t& size) {
    size_t pos = 0;
    while (FBuffer.size() - pos >= 4) {
        uint8_t* head = FBuffer.data() + pos;
        uint16_t subId = rtl::LoadLE16(head);
        size_t subSize = rtl::LoadLE16(head + 2);
        size_t remaining = FBuffer.size() - pos - 4;
        if (subSize > remaining) {
            subSize = remaining;
            head[2] = static_cast<uint8_t>(subSize);
            head[3] = static_cast<uint8_t>(subSize >> 8);
        }
        if (subId == id) {
            data = head + 4;
            size = static_cast<uint16_t>(subSize);
            return true;
        }
        pos += 4 + subSize;
    }
    return false;
}

TArcNameEncoding ClassifyNameBytes(std::string_view bytes) {
    int pending = 0;
    bool high = false;
    for (unsigned char b : bytes) {
        if (b >= 0x80) high = true;
        if (pending > 0) {
            if (b < 0x80 || b > 0xBF)
                return high ? TArcNameEncoding::neAnsi : TArcNameEncoding::neAscii;
            --pending;
            continue;
        }
        if (b < 0x80) continue;
        if (b >= 0xC2 && b <= 0xDF)
            pending = 1;
        else if (b >= 0xE0 && b <= 0xEF)
            pending = 2;
        else if (b >= 0xF0 && b <= 0xF4)
            pending = 3;
        else // a stray continuation byte, 0xC0, 0xC1 or 0xF5-0xFF
            return TArcNameEncoding::neAnsi;
    }
    if (pending > 0) return TArcNameEncoding::neAnsi;
    return high ? TArcNameEncoding::neUtf8 : TArcNameEncoding::neAscii;
}

std::string DecodeNameBytes(std::string_view bytes) {
    switch (ClassifyNameBytes(bytes)) {
    case TArcNameEncoding::neAscii:
        return std::string(bytes);
    case TArcNameEncoding::neUtf8:
        // The classification lets overlong forms and encoded surrogates pass.
        return DecodeUtf8NameBytes(bytes);
    case TArcNameEncoding::neAnsi:
        break;
    }
    return platform::AnsiToUtf8(bytes);
}

std::string DecodeUtf8NameBytes(std::string_view bytes) {
    return platform::Utf16ToUtf8(platform::Utf8ToUtf16(bytes));
}

namespace {

// For each OEM code page two sets over the bytes 0x80-0xFF: those that are
// common in ANSI text and those that are common in OEM text. Byte k, bit b
// (least significant first) stands for 0x80 + 8k + b.
struct OemNameSets {
    unsigned codePage;
    const char* ansiSet;
    const char* oemSet;
};

const OemNameSets kOemNameSets[] = {
    {437, "005400d400002000ffff7fffffff7fff", "ffffff073f00000000000000ff6f0000"},
    {720, "02f4019500042000ffff7fffffff109a", "ac1fe8efff3f000000000000ffff0000"},
    {737, "00000000040020d7fffffbffffffff7f", "ffffffffffff000000000000ffff3100"},
    {775, "0000000000850085ffff7fffffff7f7f", "ffffbf2f3f20e061c080ff01ff7f0000"},
    {850, "005400d400000000ffff7fffffff7fff", "ffffff2f3f00e000c000ff41ff3f0000"},
    {852, "00f400f4288408d6ffff7fffffff7f7f", "ffffffbfff3be061c000ff61ff7f0038"},
    {855, "0bf401f42e851cf5ffffffffffffffff", "ffffffffff3fe061c000ff61ff7ffe1f"},
    {857, "0014009400000000ffff7fffffff7fff", "ffffffefff00e000c000dc417f3e0000"},
    {862, "000000000000200000007000ffffff07", "ffffff073f00000000000000ff6f0000"},
    {866, "0bf401f42e853cf5ffffffffffffffff", "ffffffffffff000000000000ffffff00"},
};

int HexDigit(char c) {
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

bool InSet(const char* hexSet, unsigned char b) {
    unsigned index = b - 0x80u;
    unsigned k = index / 8, bit = index % 8;
    int byte = HexDigit(hexSet[2 * k]) << 4 | HexDigit(hexSet[2 * k + 1]);
    return ((byte >> bit) & 1) != 0;
}

} // namespace

bool LooksLikeOemName(std::string_view bytes, unsigned oemCodePage) {
    const OemNameSets* sets = nullptr;
    for (const auto& s : kOemNameSets)
        if (s.codePage == oemCodePage) sets = &s;
    if (!sets) return false;
    bool allAnsi = true, allOem = true, anyHigh = false;
    for (unsigned char b : bytes) {
        if (b < 0x80) continue;
        anyHigh = true;
        if (allAnsi && !InSet(sets->ansiSet, b)) allAnsi = false;
        if (allOem && !InSet(sets->oemSet, b)) allOem = false;
        if (!allAnsi && !allOem) break;
    }
    return anyHigh && allOem && !allAnsi;
}

void TArcZipFileHeader::ReadSharedFields(const uint8_t* p, uint16_t& nameLength,
                                         uint16_t& extraLength) {
    FVersionNeededToExtract = rtl::LoadLE16(p);
    FGeneralPurposeBitFlag = rtl::LoadLE16(p + 2);
    FCompressionMethod = rtl::LoadLE16(p + 4);
    FLastModFileTime = rtl::LoadLE16(p + 6);
    FLastModFileDate = rtl::LoadLE16(p + 8);
    FCRC32 = rtl::LoadLE32(p + 10);
    FCompressedSize = rtl::LoadLE32(p + 14);
    FUncompressedSize = rtl::LoadLE32(p + 18);
    nameLength = rtl::LoadLE16(p + 22);
    extraLength = rtl::LoadLE16(p + 24);
}

void TArcZipLocalFileHeader::LoadFromStream(rtl::TStream& stream) {
    uint8_t b[kLocalFileHeaderSize] = {};
    ReadPlain(stream, b, sizeof b);
    FSignature = rtl::LoadLE32(b);
    uint16_t nameLength, extraLength;
    ReadSharedFields(b + 4, nameLength, extraLength);
    if (!IsValid()) throw EArcZipInvalid();
    std::string name(nameLength, '\0');
    stream.ReadBuffer(name.data(), name.size());
    FFileName = DecodeNameBytes(name);
    std::vector<uint8_t> extra(extraLength);
    stream.ReadBuffer(extra.data(), extra.size());
    FExtraField.Assign(std::move(extra));
}

void TArcZipDirectoryFileHeader::LoadFromStream(rtl::TStream& stream) {
    uint8_t b[kDirectoryFileHeaderSize] = {};
    ReadPlain(stream, b, sizeof b);
    FSignature = rtl::LoadLE32(b);
    FVersionMadeBy = rtl::LoadLE16(b + 4);
    uint16_t nameLength, extraLength;
    ReadSharedFields(b + 6, nameLength, extraLength);
    uint16_t commentLength = rtl::LoadLE16(b + 32);
    FDiskNumberStart = rtl::LoadLE16(b + 34);
    FInternalFileAttributes = rtl::LoadLE16(b + 36);
    FExternalFileAttributes = rtl::LoadLE32(b + 38);
    FRelativeOffset = rtl::LoadLE32(b + 42);

    FRawFileName.assign(nameLength, '\0');
    FRawFileName.resize(ReadPlain(stream, FRawFileName.data(), nameLength));
    FFileName = DecodeNameBytes(FRawFileName);
    std::vector<uint8_t> extra(extraLength);
    stream.ReadBuffer(extra.data(), extra.size());
    FExtraField.Assign(std::move(extra));
    std::string comment(commentLength, '\0');
    stream.ReadBuffer(comment.data(), comment.size());
    FFileComment = platform::AnsiToUtf8(comment);
    if (!IsValid()) throw EArcZipInvalid();
}

bool TArcZipDirectoryFileFooter::IsZip64() const {
    return FDiskNumber >= 0xFFFF || FStartDiskNumber >= 0xFFFF || FEntriesOnDisk >= 0xFFFF ||
           FTotalEntries >= 0xFFFF || FDirectorySize == 0xFFFFFFFF ||
           FDirectoryOffset == 0xFFFFFFFF;
}

void TArcZipDirectoryFileFooter::LoadFromStream(rtl::TStream& stream) {
    uint8_t b[kEndOfDirectorySize];
    stream.ReadBuffer(b, sizeof b);
    if (rtl::LoadLE32(b) != kEndOfDirectorySignature) throw EArcZipInvalid();
    FDiskNumber = rtl::LoadLE16(b + 4);
    FStartDiskNumber = rtl::LoadLE16(b + 6);
    FEntriesOnDisk = rtl::LoadLE16(b + 8);
    FTotalEntries = rtl::LoadLE16(b + 10);
    FDirectorySize = rtl::LoadLE32(b + 12);
    FDirectoryOffset = rtl::LoadLE32(b + 16);
    std::string comment(rtl::LoadLE16(b + 20), '\0');
    stream.ReadBuffer(comment.data(), comment.size());
    FZipfileComment = platform::AnsiToUtf8(comment);
}

void TArcZipDirectoryFileFooter::LoadZip64FromStream(rtl::TStream& stream) {
    uint8_t b[kZip64EndOfDirectorySize];
    stream.ReadBuffer(b, sizeof b);
    if (rtl::LoadLE32(b) != kZip64EndOfDirectorySignature) throw EArcZipInvalid();
    if (FDiskNumber == 0xFFFF) FDiskNumber = rtl::LoadLE32(b + 16);
    if (FStartDiskNumber == 0xFFFF) FStartDiskNumber = rtl::LoadLE32(b + 20);
    if (FEntriesOnDisk == 0xFFFF) FEntriesOnDisk = rtl::LoadLE64(b + 24);
    if (FTotalEntries == 0xFFFF) FTotalEntries = rtl::LoadLE64(b + 32);
    if (FDirectorySize == 0xFFFFFFFF) FDirectorySize = rtl::LoadLE64(b + 40);
    if (FDirectoryOffset == 0xFFFFFFFF) FDirectoryOffset = rtl::LoadLE64(b + 48);
}

int64_t LocateEndOfDirectory(rtl::TStream& stream) {
    const int64_t remembered = stream.Position();
    const int64_t size = stream.Size();
    uint8_t fixed[kEndOfDirectorySize];
    // The common case: the record closes the file and has no comment.
    if (size >= static_cast<int64_t>(kEndOfDirectorySize)) {
        int64_t pos = stream.Seek(size - kEndOfDirectorySize, rtl::TSeekOrigin::soBeginning);
        if (ReadPlain(stream, fixed, sizeof fixed) == sizeof fixed &&
            rtl::LoadLE32(fixed) == kEndOfDirectorySignature && rtl::LoadLE16(fixed + 20) == 0) {
            stream.SetPosition(pos);
            return pos;
        }
    }
    // Otherwise windows of growing size, walking towards the start and
    // overlapping by the record's fixed size so no record is cut in two.
    constexpr int64_t kMaxWindow = 65536;
    int64_t window = 512, distance = window;
    std::vector<uint8_t> buffer;
    for (;;) {
        int64_t start = size - distance;
        bool last = false;
        if (start <= 0) {
            start = 0;
            last = true;
        }
        buffer.resize(static_cast<size_t>(window));
        stream.SetPosition(start);
        size_t got = ReadPlain(stream, buffer.data(), buffer.size());
        if (got < kEndOfDirectorySize) {
            stream.SetPosition(remembered);
            return -1;
        }
        // Every candidate in the window is examined, last first: a signature
        // inside a comment must not hide the real record before it.
        for (size_t i = got - kEndOfDirectorySize + 1; i-- > 0;) {
            if (rtl::LoadLE32(buffer.data() + i) != kEndOfDirectorySignature) continue;
            int64_t recordPos = start + static_cast<int64_t>(i);
            int64_t after = size - (recordPos + static_cast<int64_t>(kEndOfDirectorySize));
            if (rtl::LoadLE16(buffer.data() + i + 20) <= after) {
                stream.SetPosition(recordPos);
                return recordPos;
            }
        }
        if (last) break;
        if (window < kMaxWindow) window = std::min(window * 2, kMaxWindow);
        distance += window - static_cast<int64_t>(kEndOfDirectorySize);
    }
    stream.SetPosition(remembered);
    return -1;
}

int64_t LocateZip64Locator(rtl::TStream& stream, int64_t endPos) {
    // Searched a block at a time, the locator's own size overlapping.
    int64_t pos = endPos - static_cast<int64_t>(kZip64LocatorSize);
    std::vector<uint8_t> block;
    while (pos >= 0) {
        int64_t blockStart = std::max<int64_t>(0, pos - 65536);
        block.resize(static_cast<size_t>(pos - blockStart) + kZip64LocatorSize);
        stream.SetPosition(blockStart);
        stream.ReadBuffer(block.data(), block.size());
        for (int64_t i = pos - blockStart; i >= 0; --i, --pos)
            if (rtl::LoadLE32(block.data() + i) == kZip64LocatorSignature) return pos;
    }
    return -1;
}

bool StartsLikeExecutable(const uint8_t* head, size_t got) {
    return (got >= 2 && rtl::LoadLE16(head) == kDosExecutableMagic) ||
           (got >= 4 && rtl::LoadLE32(head) == kElfExecutableMagic);
}

} // namespace arc
