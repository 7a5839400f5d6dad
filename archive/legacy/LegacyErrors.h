#pragma once
// The error class of the decoders for the legacy methods 1 to 6
// (shrink, reduce, implode); their texts are in LegacyTexts.def.
#include "archive/ArcErrors.h"

namespace arc {

// Corrupt data of a legacy method: the entry fails with one of the texts of LegacyTexts.def.
class EArcZipLegacyData : public EArcZipException {
  public:
    explicit EArcZipLegacyData(const rtl::TResStringRec& message)
        : EArcZipException(ArcTexts.Compose(message), 30) {}
};

} // namespace arc
