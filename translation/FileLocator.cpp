#include "translation/FileLocator.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "platform/Files.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ResStrings.h"
#include "translation/CatalogBlock.h"

namespace translator {

namespace {

constexpr size_t kSearchBlockSize = 100000;
const char* const kMoFileKeySeparator = " //\\ ";
const char* const kUnitName = "translator";

unsigned char FoldFileNameChar(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    if (c == '/') return '\\';
    return static_cast<unsigned char>(c);
}

// Reads exactly 8 bytes at pos as a little-endian signed integer.
bool ReadInt64At(rtl::TStream& str, int64_t pos, int64_t& value) {
    uint8_t bytes[8];
    if (str.Seek(pos, rtl::TSeekOrigin::soBeginning) != pos) return false;
    if (str.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    value = static_cast<int64_t>(rtl::LoadLE64(bytes));
    return true;
}

// Blanks and control characters at both ends go, as for any trimmed text.
std::string TrimName(std::string name) {
    size_t begin = 0, end = name.size();
    while (begin < end && static_cast<unsigned char>(name[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(name[end - 1]) <= ' ')
        --end;
    return name.substr(begin, end - begin);
}

} // namespace

bool TFileNameLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return FoldFileNameChar(x) < FoldFileNameChar(y);
    });
}

TFileLocator::TFileLocator(std::string moduleFileName)
    : FModuleFileName(std::move(moduleFileName)) {
    basedirectory = platform::ExtractFilePath(FModuleFileName);
}

TFileLocator::~TFileLocator() = default;

int64_t TFileLocator::FindSignaturePos(std::string_view signature, rtl::TStream& str) {
    if (signature.empty()) return 0;
    std::boyer_moore_horspool_searcher searcher(signature.begin(), signature.end());
    str.Seek(0, rtl::TSeekOrigin::soBeginning);
    std::string window;      // the previous block followed by the current one
    int64_t windowStart = 0; // file position of window[0]
    std::string block(kSearchBlockSize, '\0');
    for (;;) {
        size_t n = str.Read(block.data(), block.size());
        window.append(block.data(), n);
        auto hit = std::search(window.begin(), window.end(), searcher);
        if (hit != window.end()) return windowStart + (hit - window.begin());
        if (n < kSearchBlockSize) return 0;
        // Keep only the current block, so an occurrence across the boundary
        // is still seen with the next one.
        if (window.size() > n) {
            windowStart += static_cast<int64_t>(window.size() - n);
            window.erase(0, window.size() - n);
        }
    }
}

void TFileLocator::Analyze() {
    try {
        rtl::TFileStream str(FModuleFileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        AnalyzeStream(str);
    } catch (const std::exception&) {
        // An executable that cannot be read simply carries no catalogs.
    }
}

void TFileLocator::AnalyzeStream(rtl::TStream& str) {
    try {
        int64_t B = FindSignaturePos(BeginSignature(), str);
        int64_t E = FindSignaturePos(EndSignature(), str);
        if (B <= 0 || E <= 0) return;
        const int64_t base = B + static_cast<int64_t>(kSignatureLength);
        // Everything read lies between base and the footer before the end
        // signature, so a damaged block can neither send a read outside it
        // nor loop: every entry starts after the previous one's name.
        const int64_t limit = E - 8;
        if (limit < base) return;
        int64_t first = 0;
        if (!ReadInt64At(str, limit, first) || first < 0 || first >= limit - base) return;
        int64_t pos = base + first;
        while (pos < E) {
            int64_t next = 0, dataOffset = 0, dataSize = 0;
            if (pos + 8 > limit || !ReadInt64At(str, pos, next)) return;
            if (next == 0) return;
            if (pos + 24 > limit || !ReadInt64At(str, pos + 8, dataOffset) ||
                !ReadInt64At(str, pos + 16, dataSize))
                return;
            const int64_t nameStart = pos + 24;
            if (next < nameStart - base || next > limit - base) return;
            const int64_t nameEnd = base + next;
            if (dataOffset < 0 || dataSize < 0 || dataOffset > limit - base ||
                dataSize > limit - base - dataOffset)
                return;
            std::string raw(static_cast<size_t>(nameEnd - nameStart), '\0');
            if (str.Seek(nameStart, rtl::TSeekOrigin::soBeginning) != nameStart ||
                str.Read(raw.data(), raw.size()) != raw.size())
                return;
            std::string name = TrimName(platform::Utf16ToUtf8(platform::Utf8ToUtf16(raw)));
            if (!filelist.emplace(name, TEmbeddedFileInfo{base + dataOffset, dataSize}).second)
                return;
            pos = nameEnd;
        }
    } catch (const std::exception&) {
        // A failed read ends discovery; the entries found so far stay.
    }
}

const TEmbeddedFileInfo* TFileLocator::FindEmbedded(const std::string& filename) const {
    if (filelist.empty() || basedirectory.empty()) return nullptr;
    if (filename.compare(0, basedirectory.size(), basedirectory) != 0) return nullptr;
    auto it = filelist.find(filename.substr(basedirectory.size()));
    return it == filelist.end() ? nullptr : &it->second;
}

bool TFileLocator::FileExists(const std::string& filename) const {
    return FindEmbedded(filename) != nullptr;
}

TMoFile* TFileLocator::GetMoFile(const std::string& filename) {
    const TEmbeddedFileInfo* info = FindEmbedded(filename);
    const std::string& file = info ? FModuleFileName : filename;
    const int64_t offset = info ? info->offset : 0;
    const int64_t size = info ? info->size : 0;
    std::string key = file + kMoFileKeySeparator + rtl::IntToStr(offset);

    {
        std::unique_lock<platform::TRWLock> lock(MoFilesCS);
        auto it = MoFiles.find(key);
        if (it != MoFiles.end()) {
            ++it->second->Users;
            return it->second.get();
        }
    }
    // The catalog is opened outside the lock: its errors load runtime texts,
    // and those may be translated through this very locator.
    auto mofile = std::make_unique<TMoFile>(file, offset, size);
    std::unique_lock<platform::TRWLock> lock(MoFilesCS);
    // Another thread may have opened it meanwhile; then that one is shared.
    auto it = MoFiles.emplace(key, std::move(mofile)).first;
    ++it->second->Users;
    return it->second.get();
}

void TFileLocator::ReleaseMoFile(TMoFile* mofile) {
    if (!mofile)
        throw rtl::EAssertionFailed(
            rtl::Format(rtl::LoadResString(&rtl::SAssertError),
                        {"ReleaseMoFile was handed no catalog", kUnitName, __LINE__}));
    std::unique_lock<platform::TRWLock> lock(MoFilesCS);
    if (--mofile->Users > 0) return;
    for (auto it = MoFiles.begin(); it != MoFiles.end(); ++it) {
        if (it->second.get() == mofile) {
            MoFiles.erase(it);
            return;
        }
    }
}

std::vector<std::string> TFileLocator::EmbeddedFileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : filelist)
        names.push_back(entry.first);
    return names;
}

size_t TFileLocator::OpenCatalogCount() const {
    std::shared_lock<platform::TRWLock> lock(MoFilesCS);
    return MoFiles.size();
}

} // namespace translator
