#include "runtime/ResStrings.h"
#include "runtime/RuntimeTextTable.h"

#include <atomic>
#include <mutex>

#include "platform/Unicode.h"

namespace rtl {

#define RUNTIME_TEXT(name, id, text) const TResStringRec name{nullptr, id};
#include "runtime/RuntimeTexts.def"
#undef RUNTIME_TEXT

namespace {

const RuntimeTextEntry kRuntimeTexts[] = {
#define RUNTIME_TEXT(name, id, text) {&name, #name, text},
#include "runtime/RuntimeTexts.def"
#undef RUNTIME_TEXT
};

// On POSIX the built-in table plays the part of the executable's string table.
void EnsureBuiltinTable() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::vector<platform::StringResource> table;
        for (const auto& entry : kRuntimeTexts) table.push_back({entry.Rec->Identifier, entry.Text});
        platform::RegisterStringResources(table.data(), table.size());
    });
}

// Reads one string of a module: the whole text, however long.
std::string ReadString(platform::ModuleHandle module, unsigned id) {
    EnsureBuiltinTable();
    std::u16string buffer(1024, u'\0');
    for (;;) {
        int n = platform::LoadStringResource(module, id, buffer.data(), static_cast<int>(buffer.size()));
        if (n + 1 < static_cast<int>(buffer.size())) {
            buffer.resize(static_cast<size_t>(n > 0 ? n : 0));
            return platform::Utf16ToUtf8(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string SystemLoadResString(const TResStringRec* rec) {
    if (!rec) return {};
    return ReadString(FindResourceModule(rec), rec->Identifier);
}

std::string SystemLoadStr(int ident) {
    for (platform::ModuleHandle module : ResourceModules()) {
        std::string text = ReadString(module, static_cast<unsigned>(ident));
        if (!text.empty()) return text;
    }
    return {};
}

std::string SystemFmtLoadStr(int ident, std::span<const FormatArg> args) {
    return Format(SystemLoadStr(ident), args);
}

constexpr TResStringLoaders kOriginal{SystemLoadResString, SystemLoadStr, SystemFmtLoadStr};

std::atomic<TLoadResStringProc> gLoadResString{SystemLoadResString};
std::atomic<TLoadStrProc> gLoadStr{SystemLoadStr};
std::atomic<TFmtLoadStrProc> gFmtLoadStr{SystemFmtLoadStr};

} // namespace

std::string LoadResString(const TResStringRec* rec) { return gLoadResString.load()(rec); }
std::string LoadStr(int ident) { return gLoadStr.load()(ident); }
std::string FmtLoadStr(int ident, std::span<const FormatArg> args) { return gFmtLoadStr.load()(ident, args); }

TResStringLoaders CurrentResStringLoaders() { return {gLoadResString.load(), gLoadStr.load(), gFmtLoadStr.load()}; }
TResStringLoaders OriginalResStringLoaders() { return kOriginal; }

TResStringLoaders SetResStringLoaders(const TResStringLoaders& loaders) {
    TResStringLoaders previous = CurrentResStringLoaders();
    gLoadResString = loaders.LoadResString ? loaders.LoadResString : kOriginal.LoadResString;
    gLoadStr = loaders.LoadStr ? loaders.LoadStr : kOriginal.LoadStr;
    gFmtLoadStr = loaders.FmtLoadStr ? loaders.FmtLoadStr : kOriginal.FmtLoadStr;
    return previous;
}

std::vector<platform::ModuleHandle> ResourceModules() { return {platform::MainModule()}; }

platform::ModuleHandle FindResourceModule(const TResStringRec* rec) {
    return rec && rec->Module ? rec->Module : platform::MainModule();
}

void RegisterRuntimeTexts() { EnsureBuiltinTable(); }

std::span<const RuntimeTextEntry> RuntimeTexts() { return kRuntimeTexts; }

void TRuntimeTextTable::Register() const {
    std::call_once(FRegistered, [this] {
        EnsureBuiltinTable();
        std::vector<platform::StringResource> table;
        for (const auto& entry : FEntries)
            table.push_back({entry.Rec->Identifier, entry.Text});
        platform::RegisterStringResources(table.data(), table.size());
    });
}

std::string TRuntimeTextTable::Load(const TResStringRec& rec) const {
    Register();
    return LoadResString(&rec);
}

std::string TRuntimeTextTable::Format(const TResStringRec& rec,
                                      std::initializer_list<FormatArg> args) const {
    return rtl::Format(Load(rec), std::span<const FormatArg>(args.begin(), args.size()));
}

TText TRuntimeTextTable::Compose(const TResStringRec& rec) const {
    return rtl::Compose([&] { return Load(rec); });
}

TText TRuntimeTextTable::Compose(const TResStringRec& rec,
                                 std::initializer_list<FormatArg> args) const {
    return rtl::Compose([&] { return Format(rec, args); });
}

} // namespace rtl
