#pragma once
// The error class of the PPMd decoder (ZIP method 98); its texts are in
// PpmdTexts.def.
#include "archive/ArcErrors.h"

namespace arc {

// A PPMd entry that cannot be decoded: a header the decoder refuses, model
// memory the machine cannot give, or a damaged or cut stream.
class EArcZipPpmdData : public EArcZipException {
  public:
    explicit EArcZipPpmdData(const rtl::TResStringRec& message)
        : EArcZipException(ArcTexts.Compose(message), 31) {}
};

} // namespace arc
