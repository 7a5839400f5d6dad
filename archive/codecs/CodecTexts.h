#pragma once
// The fixed texts of the decoders over the compression libraries (listed
// once, in CodecTexts.def). archive_codecs is a target of its own, so it
// keeps a table of its own; each text is raised through
// CodecTexts.Load(NameRes), so a catalog that holds it translates it.
#include "runtime/RuntimeTextTable.h"

namespace arc {

#define RUNTIME_TEXT RUNTIME_TEXT_DECLARE
#include "archive/codecs/CodecTexts.def"
#undef RUNTIME_TEXT

extern const rtl::TRuntimeTextTable CodecTexts;

} // namespace arc
