#include "archive/ArcTexts.h"

namespace arc {

namespace {
const rtl::RuntimeTextEntry kArcTexts[] = {
#define RUNTIME_TEXT RUNTIME_TEXT_ENTRY
#include "archive/ArcTexts.def"
#include "archive/deflate/DfTexts.def"
#include "archive/legacy/LegacyTexts.def"
#include "archive/ppmd/PpmdTexts.def"
#undef RUNTIME_TEXT
};
} // namespace

const rtl::TRuntimeTextTable ArcTexts{kArcTexts};

} // namespace arc
