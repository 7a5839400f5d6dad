#pragma once
// The runtime library's texts and the loader every one of them goes through.
//
// Each runtime text has a numeric id. On Windows it is a string-table resource
// of the executable, loaded with LoadStringW; on POSIX the same list is a
// built-in table. All loads pass through three replaceable routines, so the
// translation layer can put its own in front of them (SetResStringLoaders).
#include <span>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "runtime/Format.h"

namespace rtl {

// Names the module that holds a string and the string's id. A null Module
// means the executable itself.
struct TResStringRec {
    platform::ModuleHandle Module;
    unsigned Identifier;
};

#define RUNTIME_TEXT(name, id, text) extern const TResStringRec name;
#include "runtime/RuntimeTexts.def"
#undef RUNTIME_TEXT

// Loads a resource string (through the current loader).
std::string LoadResString(const TResStringRec* rec);
// Loads string `ident` from the first registered resource module that has it.
std::string LoadStr(int ident);
// LoadStr, then Format with args.
std::string FmtLoadStr(int ident, std::span<const FormatArg> args);
inline std::string FmtLoadStr(int ident, std::initializer_list<FormatArg> args) {
    return FmtLoadStr(ident, std::span<const FormatArg>(args.begin(), args.size()));
}

using TLoadResStringProc = std::string (*)(const TResStringRec* rec);
using TLoadStrProc = std::string (*)(int ident);
using TFmtLoadStrProc = std::string (*)(int ident, std::span<const FormatArg> args);

struct TResStringLoaders {
    TLoadResStringProc LoadResString;
    TLoadStrProc LoadStr;
    TFmtLoadStrProc FmtLoadStr;
};

// The loaders in use, and the original ones of the runtime.
TResStringLoaders CurrentResStringLoaders();
TResStringLoaders OriginalResStringLoaders();
// Installs new loaders and returns the ones they replace.
TResStringLoaders SetResStringLoaders(const TResStringLoaders& loaders);

// The resource modules the runtime knows, in search order (the executable first).
std::vector<platform::ModuleHandle> ResourceModules();
// The module a record's strings come from.
platform::ModuleHandle FindResourceModule(const TResStringRec* rec);

// Makes the runtime texts loadable through platform::LoadStringResource from
// the main module (on POSIX it registers the built-in table; on Windows the
// string table is always there). Loaders that read the table themselves call it.
void RegisterRuntimeTexts();

// Each runtime text with its id and English text, as the built-in table holds them.
struct RuntimeTextEntry {
    const TResStringRec* Rec;
    const char* Name;
    const char* Text;
};
std::span<const RuntimeTextEntry> RuntimeTexts();

} // namespace rtl
