// The generic archive: item names, masks, and the extraction loop with its
// target names, folders, overwrite question and per-item failure path.
#include "archive/ArcArchive.h"

#include <algorithm>

#include "archive/ArcErrors.h"
#include "platform/Files.h"
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

// ---------------------------------------------------------------- extraction

namespace {

// A stored name with folders, reduced so that it stays below the base folder:
// no drive, no leading delimiter, no "." or ".." components.
std::string ConfinedRelativeName(const std::string& name) {
    size_t colon = name.find_last_of(':');
    std::string rest = colon == std::string::npos ? name : name.substr(colon + 1);
    std::string out, part;
    auto flush = [&]() {
        if (!part.empty() && part != "." && part != "..") {
            if (!out.empty()) out += '\\';
            out += part;
        }
        part.clear();
    };
    for (char c : rest) {
        if (IsDelimiter(c))
            flush();
        else
            part += c;
    }
    flush();
    return out;
}

bool HasInvalidPathChars(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        unsigned char c = static_cast<unsigned char>(ch);
        return c < 32 || c == '"' || c == '<' || c == '>' || c == '|';
    });
}

// The target in the system's own delimiters.
std::string Native(std::string text) {
    char delim = platform::PathDelim();
    for (char& c : text)
        if (IsDelimiter(c)) c = delim;
    return text;
}

} // namespace

TArcArchive::TArcArchive(const std::string& fileName, unsigned mode)
    : FArchiveName(fileName), FMode(mode) {}

TArcArchive::~TArcArchive() = default;

void TArcArchive::Load() {
    struct Notify {
        TArcArchive& a;
        ~Notify() {
            if (a.FHooks.OnLoad) a.FHooks.OnLoad(a);
        }
    } notify{*this};
    LoadArchive();
    FStatus = asIdle;
}

void TArcArchive::SetBaseDirectory(const std::string& value) {
    std::string dir = value;
    if (dir.size() > 1 && IsDelimiter(dir.back()) && dir[dir.size() - 2] != ':') dir.pop_back();
    if (!dir.empty() && !platform::DirectoryExists(dir)) throw EArcNoSuchDirectory();
    FBaseDirectory = dir;
}

void TArcArchive::ReportArchiveProgress(int percent) {
    bool abort = false;
    if (FHooks.OnArchiveProgress) FHooks.OnArchiveProgress(percent, abort);
    if (abort) throw EArcUserAbort();
}

bool TArcArchive::ReportItemProgress(TArcArchiveItem& item, int percent) {
    bool abort = false;
    if (FHooks.OnArchiveItemProgress) FHooks.OnArchiveItemProgress(item, percent, abort);
    return abort;
}

void TArcArchive::ReportItemFailure(TArcArchiveItem& item, TArcProcessType type,
                                    const std::exception& error) {
    TArcErrorClass errorClass = ecOther;
    int code = 0;
    rtl::TText message(error.what());
    if (auto* e = dynamic_cast<const rtl::Exception*>(&error)) message = e->Text();
    if (auto* e = dynamic_cast<const EArcException*>(&error)) {
        errorClass = ecArcError;
        code = e->ErrorCode;
    } else if (auto* e = dynamic_cast<const rtl::EInOutError*>(&error)) {
        errorClass = ecInOutError;
        code = e->ErrorCode;
    } else if (auto* e = dynamic_cast<const rtl::EFCreateError*>(&error)) {
        errorClass = ecFileCreateError;
        code = e->ErrorCode;
    } else if (auto* e = dynamic_cast<const rtl::EFOpenError*>(&error)) {
        errorClass = ecFileOpenError;
        code = e->ErrorCode;
    } else if (auto* e = dynamic_cast<const rtl::EStreamError*>(&error); e && e->ErrorCode) {
        // A read or write the system refused (a full disk, say): an I/O
        // error with the system's code, so a caller can tell it apart.
        errorClass = ecInOutError;
        code = e->ErrorCode;
    }
    item.FAction = aaFailed;
    if (FHooks.OnProcessItemFailure)
        FHooks.OnProcessItemFailure(item, type, errorClass, code, message);
}

void TArcArchive::ExtractFilesEx(const std::string& fileMask, const std::string& exclusionMask) {
    if (FStatus == asInvalid) throw EArcNoArchive();
    if (FItemList.empty()) return;
    const int count = Count();
    bool createDirs = FExtractOptions.count(eoCreateDirs) != 0;
    for (int i = 0; i < count; ++i) {
        TArcArchiveItem& item = Item(i);
        if (MatchesStoredNameEx(item, fileMask, exclusionMask) &&
            (createDirs || !item.IsDirectory()))
            ExtractAt(i, std::string());
        ReportArchiveProgress(PercentOf(i + 1, Count()));
    }
    ReportArchiveProgress(100);
}

void TArcArchive::ExtractAt(int index, const std::string& newName) {
    if (FStatus == asInvalid) throw EArcNoArchive();
    TArcArchiveItem& item = Item(index);
    bool confirm = true;
    if (FHooks.OnConfirmProcessItem) FHooks.OnConfirmProcessItem(item, ptExtract, confirm);
    if (!confirm) return;
    std::string target;
    if (!ResolveTargetName(item, newName, target)) return;
    FCurrentItem = &item;
    try {
        ExtractEntry(item, target);
    } catch (const std::exception& e) {
        ReportItemFailure(item, ptExtract, e);
    }
}

void TArcArchive::ExtractTaggedItems() {
    if (FStatus == asInvalid) throw EArcNoArchive();
    for (int i = 0; i < Count(); ++i)
        if (Item(i).Tagged()) ExtractAt(i, std::string());
}

void TArcArchive::TestTaggedItems() {
    if (FStatus == asInvalid) throw EArcNoArchive();
    for (int i = 0; i < Count(); ++i) {
        TArcArchiveItem& item = Item(i);
        if (!item.Tagged() || item.IsDirectory()) continue;
        FCurrentItem = &item;
        try {
            TestEntry(item);
        } catch (const std::exception& e) {
            ReportItemFailure(item, ptExtract, e);
        }
    }
}

void TArcArchive::ExtractItemToStream(int index, rtl::TStream& stream) {
    if (FStatus == asInvalid) throw EArcNoArchive();
    TArcArchiveItem& item = Item(index);
    FCurrentItem = &item;
    ExtractEntryToStream(item, stream);
}

std::vector<std::string> TArcArchive::ExistingTargets(const std::string& fileMask,
                                                      const std::string& exclusionMask) {
    std::vector<std::string> targets;
    std::set<std::string> seen;
    for (int i = 0; i < Count(); ++i) {
        const TArcArchiveItem& item = Item(i);
        std::string target;
        if (item.IsDirectory() || !MatchesStoredNameEx(item, fileMask, exclusionMask) ||
            !TargetPathOf(item, std::string(), target))
            continue;
        if (platform::FileExists(target) && seen.insert(target).second) targets.push_back(target);
    }
    return targets;
}

int TArcArchive::FindItem(const std::string& name) const {
    for (size_t i = 0; i < FItemList.size(); ++i)
        if (platform::SameTextAscii(FItemList[i]->FileName(), name)) return static_cast<int>(i);
    return -1;
}

bool TArcArchive::TargetPathOf(const TArcArchiveItem& item, const std::string& newName,
                               std::string& target) const {
    const bool createDirs = FExtractOptions.count(eoCreateDirs) != 0;
    const bool restorePath = FExtractOptions.count(eoRestorePath) != 0;
    if (item.IsDirectory() && !(createDirs && restorePath)) return false;

    std::string name;
    if (!newName.empty()) {
        name = newName;
    } else {
        name = item.FileName();
        std::replace(name.begin(), name.end(), '/', '\\');
        if (item.IsDirectory() && !name.empty() && name.back() == '\\') name.pop_back();
        if (restorePath) {
            // Stored folders are kept, but never a drive, a root or a "..":
            // the entry stays below the base folder.
            name = ConfinedRelativeName(name);
        } else {
            size_t cut = name.find_last_of("\\:");
            if (cut != std::string::npos) name = name.substr(cut + 1);
        }
        // "." and ".." alone would name the base folder or its parent.
        if (name == "." || name == "..") name.clear();
        if (name.empty()) return false;
    }

    bool absolute = name.find("\\\\") != std::string::npos || name.find(':') != std::string::npos;
    if (absolute) {
        target = Native(name);
    } else if (FBaseDirectory.empty()) {
        target = Native(name);
    } else {
        if (HasInvalidPathChars(name) || HasInvalidPathChars(FBaseDirectory))
            throw rtl::EArgumentException(
                rtl::Compose([] { return rtl::LoadResString(&rtl::SInvalidCharsInPath); }));
        std::string nativeName = Native(name);
        bool rooted = IsDelimiter(name.front()) || (name.size() > 1 && name[1] == ':');
        if (rooted)
            target = nativeName;
        else if (IsDelimiter(FBaseDirectory.back()))
            target = FBaseDirectory + nativeName;
        else
            target = FBaseDirectory + platform::PathDelim() + nativeName;
    }
    return true;
}

bool TArcArchive::ResolveTargetName(TArcArchiveItem& item, const std::string& newName,
                                    std::string& target) {
    if (!TargetPathOf(item, newName, target)) return false;
    const bool createDirs = FExtractOptions.count(eoCreateDirs) != 0;
    std::string folder = platform::ExtractFilePath(target);
    if (!folder.empty() && folder != FLastTargetFolder) {
        if (!platform::DirectoryExists(folder)) {
            if (!createDirs) throw EArcNoSuchDirectory();
            int error = 0;
            if (!platform::CreateDirectoryChain(folder, error)) rtl::RaiseInOutError(error);
        }
        FLastTargetFolder = folder;
    }
    FTargetAbsent = false;
    if (!item.IsDirectory()) {
        FTargetAbsent = !platform::FileExists(target);
        bool confirm = true;
        if (!FTargetAbsent && FHooks.OnConfirmOverwrite) FHooks.OnConfirmOverwrite(target, confirm);
        if (!confirm) return false;
    }
    return true;
}

} // namespace arc
