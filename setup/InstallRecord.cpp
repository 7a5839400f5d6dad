#include "setup/InstallRecord.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "archive/Crc32.h"
#include "archive/ZipArchive.h"
#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"
#include "runtime/Streams.h"

namespace setup {

namespace {

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool IsDelimiter(char c) {
    return c == '/' || c == '\\';
}

// A relative name as the grammar allows it.
bool ValidName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.back() == '/') return false;
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return IsControl(c) || c == ':' || c == '\\'; }))
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

bool ValidToken(std::string_view token) {
    return !token.empty() && std::none_of(token.begin(), token.end(), [](char c) {
        return IsControl(c) || c == ' ' || c == '[' || c == ']' || c == '=';
    });
}

bool ValidPath(std::string_view path) {
    return !path.empty() && std::none_of(path.begin(), path.end(), IsControl);
}

bool ParseSize(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    value = static_cast<int64_t>(v);
    return true;
}

// Splits off the text before the first space; false when there is none.
// Exactly eight lower-case hexadecimal digits, as Crc32Text writes them.
bool ParseCrc32(std::string_view text, uint32_t& value) {
    if (text.size() != 8) return false;
    value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

std::string Crc32Text(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

bool TakeWord(std::string_view& rest, std::string_view& word) {
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos) return false;
    word = rest.substr(0, space);
    rest = rest.substr(space + 1);
    return true;
}

[[noreturn]] void Invalid(const std::string& fileName, size_t line) {
    throw EInstallRecordInvalid(translator::ComposeMessage(
        SInstallRecordInvalid, {fileName, rtl::IntToStr(static_cast<int64_t>(line))}));
}

[[noreturn]] void TooLarge(const std::string& fileName) {
    throw EInstallRecordInvalid(translator::ComposeMessage(
        SInstallRecordTooLarge,
        {fileName, rtl::IntToStr(static_cast<int64_t>(kInstallRecordMaxSize))}));
}

bool SameSetting(const TRecordedSetting& a, const TRecordedSetting& b) {
    return platform::SameTextAscii(a.File, b.File) &&
           platform::SameTextAscii(a.Section, b.Section) && platform::SameTextAscii(a.Key, b.Key);
}

// One item line; false when it breaks the grammar or repeats an item.
bool ParseItem(std::string_view line, TInstallRecord& record) {
    std::string_view kind, rest = line;
    if (!TakeWord(rest, kind)) return false;
    if (kind == "file") {
        std::string_view size, crc;
        TRecordedFile file;
        if (!TakeWord(rest, size) || !TakeWord(rest, crc) || !ParseSize(size, file.Size) ||
            !ParseCrc32(crc, file.Crc32) || !ValidName(rest) || record.FindFile(rest))
            return false;
        file.Name = std::string(rest);
        record.Files.push_back(std::move(file));
        return true;
    }
    if (kind == "setting") {
        std::string_view section, key;
        if (!TakeWord(rest, section) || !TakeWord(rest, key) || !ValidToken(section) ||
            !ValidToken(key) || !ValidName(rest))
            return false;
        TRecordedSetting setting{std::string(rest), std::string(section), std::string(key)};
        for (const TRecordedSetting& s : record.Settings)
            if (SameSetting(s, setting)) return false;
        record.Settings.push_back(std::move(setting));
        return true;
    }
    if (kind == "shortcut") {
        if (!ValidPath(rest) || std::count(record.Shortcuts.begin(), record.Shortcuts.end(), rest))
            return false;
        record.Shortcuts.emplace_back(rest);
        return true;
    }
    return false;
}

std::string RecordPath(const std::string& folder) {
    return platform::IncludeTrailingPathDelimiter(folder) + SInstallRecordFileName;
}

// A recorded name as a path below folder (with its trailing delimiter).
std::string PathOf(const std::string& folder, const std::string& name) {
    std::string path = folder + name;
    for (size_t i = folder.size(); i < path.size(); ++i)
        if (path[i] == '/') path[i] = platform::PathDelim();
    return path;
}

} // namespace

// ---------------------------------------------------------------- the record

const TRecordedFile* TInstallRecord::FindFile(std::string_view name) const {
    for (const TRecordedFile& file : Files)
        if (platform::SameTextAscii(file.Name, name)) return &file;
    return nullptr;
}

void TInstallRecord::AddFile(const std::string& name, int64_t size, uint32_t crc32) {
    if (!ValidName(name) || size < 0) Invalid(name, 0);
    for (TRecordedFile& file : Files)
        if (platform::SameTextAscii(file.Name, name)) {
            file = {name, size, crc32};
            return;
        }
    Files.push_back({name, size, crc32});
}

void TInstallRecord::AddSetting(const std::string& file, const std::string& section,
                                const std::string& key) {
    if (!ValidName(file) || !ValidToken(section) || !ValidToken(key)) Invalid(file, 0);
    TRecordedSetting setting{file, section, key};
    for (const TRecordedSetting& s : Settings)
        if (SameSetting(s, setting)) return;
    Settings.push_back(std::move(setting));
}

void TInstallRecord::AddShortcut(const std::string& path) {
    if (!ValidPath(path)) Invalid(path, 0);
    if (std::find(Shortcuts.begin(), Shortcuts.end(), path) == Shortcuts.end())
        Shortcuts.push_back(path);
}

void MergeInstallRecord(TInstallRecord& into, const TInstallRecord& later) {
    for (const TRecordedFile& file : later.Files)
        into.AddFile(file.Name, file.Size, file.Crc32);
    for (const TRecordedSetting& setting : later.Settings)
        into.AddSetting(setting.File, setting.Section, setting.Key);
    for (const std::string& shortcut : later.Shortcuts)
        into.AddShortcut(shortcut);
}

std::string ComposeInstallRecord(const TInstallRecord& record, const std::string& fileName) {
    std::string text = std::string(kInstallRecordFirstLine) + "\n";
    for (const TRecordedFile& file : record.Files)
        text += "file " + std::to_string(file.Size) + " " + Crc32Text(file.Crc32) + " " +
                file.Name + "\n";
    for (const TRecordedSetting& s : record.Settings)
        text += "setting " + s.Section + " " + s.Key + " " + s.File + "\n";
    for (const std::string& shortcut : record.Shortcuts)
        text += "shortcut " + shortcut + "\n";
    if (text.size() > kInstallRecordMaxSize) TooLarge(fileName);
    return text;
}

TInstallRecord ParseInstallRecord(std::string_view text, const std::string& fileName) {
    if (text.size() > kInstallRecordMaxSize) TooLarge(fileName);
    TInstallRecord record;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) Invalid(fileName, lineNumber); // no line end
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const bool valid =
            lineNumber == 1 ? line == kInstallRecordFirstLine : ParseItem(line, record);
        if (!valid) Invalid(fileName, lineNumber);
    }
    if (lineNumber == 0) Invalid(fileName, 1);
    return record;
}

TInstallRecord LoadInstallRecord(const std::string& folder) {
    const std::string path = RecordPath(folder);
    if (!platform::FileExists(path)) return {};
    rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    const int64_t size = file.Size();
    if (size > static_cast<int64_t>(kInstallRecordMaxSize)) TooLarge(path);
    std::string text(static_cast<size_t>(size), '\0');
    file.ReadBuffer(text.data(), text.size());
    return ParseInstallRecord(text, path);
}

void SaveInstallRecord(const std::string& folder, const TInstallRecord& record) {
    const std::string path = RecordPath(folder);
    const std::string text = ComposeInstallRecord(record, path);
    rtl::TReplacementFileStream file(path);
    file.WriteBuffer(text.data(), text.size());
    file.Commit();
}

// ---------------------------------------------------------------- the recorder

TInstallRecorder::TInstallRecorder(TInstallRecord& record, std::string folder)
    : FRecord(record), FFolder(platform::IncludeTrailingPathDelimiter(folder)) {}

TInstallRecorder::~TInstallRecorder() {
    Detach();
}

void TInstallRecorder::Attach(arc::TArcCustomUnZipper& unzipper) {
    Detach();
    FUnzipper = &unzipper;
    unzipper.OnItemExtracted = [this](arc::TArcArchiveItem& item, const std::string& target) {
        ItemExtracted(item, target);
    };
}

void TInstallRecorder::Detach() {
    if (!FUnzipper) return;
    FUnzipper->OnItemExtracted = nullptr;
    FUnzipper = nullptr;
}

void TInstallRecorder::ItemExtracted(const arc::TArcArchiveItem& item, const std::string& target) {
    const auto* entry = dynamic_cast<const arc::TArcZipItem*>(&item);
    // Only what lies below the folder is the installation's to record.
    if (!entry || target.size() <= FFolder.size() ||
        target.compare(0, FFolder.size(), FFolder) != 0)
        return;
    std::string name = target.substr(FFolder.size());
    std::replace_if(name.begin(), name.end(), IsDelimiter, '/');
    FRecord.AddFile(name, entry->UncompressedSize(), entry->CRC32());
}

TRecordedFile RecordedFileOf(const std::string& name, const std::string& path) {
    rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyNone);
    arc::TArcCrc32 crc;
    std::vector<uint8_t> piece(1024 * 1024);
    int64_t size = 0;
    for (size_t n; (n = file.Read(piece.data(), piece.size())) > 0; size += static_cast<int64_t>(n))
        crc.Update(piece.data(), n);
    if (file.LastError() != 0) rtl::RaiseInOutError(file.LastError());
    return {name, size, crc.Value()};
}

// ---------------------------------------------------------------- removal

namespace {

// The state of one recorded file: its size first, then its checksum.
TFileState StateOf(const std::string& path, const TRecordedFile& recorded) {
    if (!platform::FileExists(path)) return TFileState::Gone;
    if (platform::FileSizeByName(path) != recorded.Size) return TFileState::Changed;
    try {
        const TRecordedFile now = RecordedFileOf(recorded.Name, path);
        return now.Size == recorded.Size && now.Crc32 == recorded.Crc32 ? TFileState::Unchanged
                                                                        : TFileState::Changed;
    } catch (const rtl::EStreamError&) {
        return TFileState::Unreadable;
    } catch (const rtl::EInOutError&) {
        return TFileState::Unreadable;
    }
}

std::string ReadSmallFile(const std::string& path) {
    try {
        rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyNone);
        const int64_t size = std::min<int64_t>(file.Size(), kInstallRecordMaxSize);
        std::string text(static_cast<size_t>(size), '\0');
        file.ReadBuffer(text.data(), text.size());
        return text;
    } catch (const rtl::EStreamError&) {
        return "\x01"; // unreadable: holds something we cannot vouch for
    }
}

std::string Trim(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(start, end - start + 1));
}

// Whether nothing stays in folder once the removed files are gone. A
// sub-folder goes too when it held recorded files and nothing else stays in
// it; such folders are added to removeFolders, deepest first.
bool EmptiesOut(const std::string& folder, const std::vector<std::string>& removed,
                const std::vector<TPlannedFile>& recorded,
                std::vector<std::string>& removeFolders) {
    bool empty = true;
    const std::string prefix = platform::IncludeTrailingPathDelimiter(folder);
    for (const std::string& name : platform::ListDirectory(folder)) {
        const std::string path = prefix + name;
        if (platform::DirectoryExists(path)) {
            const std::string sub = platform::IncludeTrailingPathDelimiter(path);
            const bool ours =
                std::any_of(recorded.begin(), recorded.end(), [&](const TPlannedFile& f) {
                    return f.Path.compare(0, sub.size(), sub) == 0;
                });
            if (ours && EmptiesOut(path, removed, recorded, removeFolders))
                removeFolders.push_back(path);
            else
                empty = false;
        } else if (std::find(removed.begin(), removed.end(), path) == removed.end()) {
            empty = false;
        }
    }
    return empty;
}

} // namespace

bool SettingsFileHoldsOnly(std::string_view text, const std::vector<TRecordedSetting>& keys) {
    std::string utf8;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < text.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                          static_cast<unsigned char>(text[i + 1]) << 8);
        utf8 = platform::Utf16ToUtf8(wide);
        text = utf8;
    } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::string section;
    bool sectionOurs = false; // a section one of the keys lives in
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        std::string_view l = line;
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (l.empty()) continue;
        if (l.front() == '[' && l.back() == ']') {
            section = Trim(l.substr(1, l.size() - 2));
            sectionOurs = std::any_of(keys.begin(), keys.end(), [&](const TRecordedSetting& k) {
                return platform::SameTextAscii(k.Section, section);
            });
            if (!sectionOurs) return false;
            continue;
        }
        const size_t equals = l.find('=');
        if (!sectionOurs || equals == std::string_view::npos) return false;
        const std::string key = Trim(l.substr(0, equals));
        const bool ours = std::any_of(keys.begin(), keys.end(), [&](const TRecordedSetting& k) {
            return platform::SameTextAscii(k.Section, section) &&
                   platform::SameTextAscii(k.Key, key);
        });
        if (!ours) return false;
    }
    return true;
}

TUninstallPlan PlanUninstall(const std::string& folder, const TInstallRecord& record) {
    TUninstallPlan plan;
    const std::string prefix = platform::IncludeTrailingPathDelimiter(folder);
    plan.FolderExists = platform::DirectoryExists(folder);
    for (const std::string& shortcut : record.Shortcuts)
        if (platform::FileExists(shortcut)) plan.Shortcuts.push_back(shortcut);
    if (!plan.FolderExists) {
        for (const TRecordedFile& file : record.Files)
            plan.Files.push_back({PathOf(prefix, file.Name), TFileState::Gone});
        return plan;
    }

    std::vector<std::string> removed = {prefix + SInstallRecordFileName};
    for (const TRecordedFile& file : record.Files) {
        const std::string path = PathOf(prefix, file.Name);
        const TFileState state = StateOf(path, file);
        plan.Files.push_back({path, state});
        if (state == TFileState::Unchanged) plan.Remove.push_back(path);
        if (state == TFileState::Changed || state == TFileState::Unreadable)
            plan.Kept.push_back(path);
    }
    removed.insert(removed.end(), plan.Remove.begin(), plan.Remove.end());

    // The settings entries, grouped by their file.
    std::map<std::string, std::vector<TRecordedSetting>> byFile;
    for (const TRecordedSetting& setting : record.Settings) {
        const std::string path = PathOf(prefix, setting.File);
        if (!platform::FileExists(path)) continue;
        plan.RemoveSettings.push_back(setting);
        byFile[path].push_back(setting);
    }
    for (const auto& [path, keys] : byFile)
        if (SettingsFileHoldsOnly(ReadSmallFile(path), keys)) {
            plan.DeleteSettingsFiles.push_back(path);
            removed.push_back(path);
        }

    for (const std::string& name : platform::ListDirectory(folder)) {
        const std::string path = prefix + name;
        if (platform::IsReplacementFileName(name) && platform::FileExists(path)) {
            plan.Leftovers.push_back(path);
            removed.push_back(path);
        }
    }
    plan.FolderEmptyAfterwards = EmptiesOut(folder, removed, plan.Files, plan.RemoveFolders);
    for (const std::string& name : platform::ListDirectory(folder)) {
        const std::string path = prefix + name;
        // Ours: a recorded file or settings file, a leftover, the record, or
        // a folder that holds recorded files.
        const std::string sub = platform::IncludeTrailingPathDelimiter(path);
        const bool ours =
            std::find(removed.begin(), removed.end(), path) != removed.end() ||
            byFile.count(path) != 0 ||
            std::any_of(plan.Files.begin(), plan.Files.end(), [&](const TPlannedFile& f) {
                return f.Path == path || f.Path.compare(0, sub.size(), sub) == 0;
            });
        if (!ours) plan.Others.push_back(path);
    }
    return plan;
}

} // namespace setup
