#pragma once
// Translation of the runtime library's own texts. The runtime loads each of
// its texts through three replaceable routines; the translation layer puts
// its own in front of them at start-up and gives the previous ones back at
// the end.
#include <span>
#include <string>

#include "runtime/Format.h"
#include "runtime/ResStrings.h"

namespace translator {

// The domains searched for runtime texts ("default"), guarded by a
// reader/writer lock; created and destroyed with the layer.
void CreateResourceStringDomains();
void DestroyResourceStringDomains();

// The text translated in the first of those domains that has it; unchanged
// when it is empty, when no domain has it, or after the domains are gone.
std::string TranslateResourceString(const std::string& text);

std::string TranslatedLoadResString(const rtl::TResStringRec* ResStringRec);
std::string TranslatedLoadStr(int Ident);
std::string TranslatedFmtLoadStr(int Ident, std::span<const rtl::FormatArg> Args);

// enable: installs the three translating routines in front of the runtime's
// loaders, keeping the ones they replace. !enable: puts those back, in the
// order FmtLoadStr, LoadStr, LoadResString. Either is done at most once.
void RedirectResourceStrings(bool enable);

} // namespace translator
