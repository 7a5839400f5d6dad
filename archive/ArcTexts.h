#pragma once
// The ZIP extractor's fixed texts, listed once in ArcTexts.def and in the
// decoder families' own lists. Each is raised through ArcTexts.Load(NameRes),
// so a catalog that holds the text translates it.
#include "runtime/RuntimeTextTable.h"

namespace arc {

#define RUNTIME_TEXT RUNTIME_TEXT_DECLARE
#include "archive/ArcTexts.def"
#include "archive/deflate/DfTexts.def"
#include "archive/legacy/LegacyTexts.def"
#include "archive/ppmd/PpmdTexts.def"
#undef RUNTIME_TEXT

extern const rtl::TRuntimeTextTable ArcTexts;

} // namespace arc
