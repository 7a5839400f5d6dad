#include "archive/codecs/CodecTexts.h"

namespace arc {

namespace {
const rtl::RuntimeTextEntry kCodecTexts[] = {
#define RUNTIME_TEXT RUNTIME_TEXT_ENTRY
#include "archive/codecs/CodecTexts.def"
#undef RUNTIME_TEXT
};
} // namespace

const rtl::TRuntimeTextTable CodecTexts{kCodecTexts};

} // namespace arc
