#include "archive/ArcArchive.h"

#include <algorithm>
#include <cstring>

#include "archive/ArcErrors.h"
#include "archive/Crc32.h"
#include "archive/ZipStreams.h"
#include "platform/CodePages.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/RemovableMedia.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"
#include "runtime/ResStrings.h"

namespace arc {

namespace {

std::string Replace(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

bool IsDelimiter(char c) {
    return c == '\\' || c == '/';
}

} // namespace

// ---------------------------------------------------------------- items

std::string TArcArchiveItem::DiskFileName() const {
    return Replace(FFileName, '/', '\\');
}

std::string TArcArchiveItem::StoredPath() const {
    size_t cut = FFileName.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : FFileName.substr(0, cut + 1);
}

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
               GetU32(data + 1) ==
                   TArcCrc32::Of(headerNameAsAnsi().data(), headerNameAsAnsi().size())) {
        FFileName = DecodeUtf8NameBytes(
            std::string_view(reinterpret_cast<const char*>(data + 5), size - 5u));
    } else if (h.FExtraField.FindSubField(kExtraUnicodeRecord, data, size) && size > 10 &&
               GetU32(data) == kUnicodeRecordSignature &&
               size == 8 + 2 * uint64_t(GetU32(data + 4))) {
        std::u16string text;
        for (uint32_t i = 0, n = GetU32(data + 4); i < n; ++i)
            text.push_back(char16_t(GetU16(data + 8 + 2 * i)));
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
            if (pos + width > size) throw rtl::EReadError(rtl::LoadResString(&rtl::SReadError));
            uint64_t v = width == 8 ? GetU64(data + pos) : GetU32(data + pos);
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

int PercentOf(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    if (done >= total) return 100;
    return static_cast<int>(done * 100 / total);
}

bool MatchPattern(const std::string& text, const std::string& pattern) {
    if (text.empty()) return pattern.empty();
    if (pattern == "*.*" || pattern == "*") return true;
    // Iterative wildcard match; '*' takes the shortest run first and grows on
    // backtracking, which finds a match whenever one exists.
    size_t t = 0, p = 0, starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p, ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

bool MatchesOnePart(const TArcArchiveItem& item, std::string part) {
    part = platform::AsciiUpperCase(Replace(part, '/', '\\'));
    size_t cut = part.find_last_of("\\:");
    std::string maskFolder = cut == std::string::npos ? std::string() : part.substr(0, cut + 1);
    std::string maskName = cut == std::string::npos ? part : part.substr(cut + 1);

    std::string name = Replace(item.FileName(), '/', '\\');
    if (item.IsDirectory() && !name.empty() && name.back() == '\\') name.pop_back();
    name = platform::AsciiUpperCase(name);
    size_t nameCut = name.find_last_of('\\');
    std::string nameFolder =
        nameCut == std::string::npos ? std::string() : name.substr(0, nameCut + 1);
    std::string fileName = nameCut == std::string::npos ? name : name.substr(nameCut + 1);
    if (!maskFolder.empty() && !MatchPattern(nameFolder, maskFolder)) return false;
    return MatchPattern(fileName, maskName);
}

} // namespace

bool MatchesStoredName(const TArcArchiveItem& item, const std::string& mask) {
    size_t start = 0;
    while (start <= mask.size()) {
        size_t end = mask.find(';', start);
        if (end == std::string::npos) end = mask.size();
        std::string part = rtl::Trim(mask.substr(start, end - start));
        if (!(part.empty() && mask.empty()) && MatchesOnePart(item, part)) return true;
        start = end + 1;
    }
    return false;
}

bool MatchesStoredNameEx(const TArcArchiveItem& item, const std::string& mask,
                         const std::string& exclusion) {
    return MatchesStoredName(item, mask) &&
           (exclusion.empty() || !MatchesStoredName(item, exclusion));
}

} // namespace arc
