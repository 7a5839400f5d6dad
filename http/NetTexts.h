#pragma once
// The HTTP client's fixed texts (listed once, in NetTexts.def). Each is
// raised or reported through NetTexts.Load(NameRes), so a catalog that holds
// the text translates it.
#include "runtime/RuntimeTextTable.h"

namespace net {

#define RUNTIME_TEXT RUNTIME_TEXT_DECLARE
#include "http/NetTexts.def"
#undef RUNTIME_TEXT

extern const rtl::TRuntimeTextTable NetTexts;

} // namespace net
