#pragma once
// The internal signals of the inflate engine that end a run early, and the
// raising of its causes (DfTexts.def). The causes travel in
// EArcInternalInflateError and reach the caller inside EArcInflateError's
// message.
#include "archive/ArcErrors.h"

namespace arc {

// The output reached the caller's partial size: decoding ends without error.
class EArcPartSizedInflate : public rtl::Exception {
  public:
    EArcPartSizedInflate() : rtl::Exception("partial size reached") {}
};
// The progress hook asked to stop: decoding ends without error.
class EArcAbortProgress : public rtl::Exception {
  public:
    EArcAbortProgress() : rtl::Exception("aborted by progress hook") {}
};

// Raises the cause, loaded (and so translated when a catalog holds it).
[[noreturn]] inline void RaiseInflateCause(const rtl::TResStringRec& cause) {
    throw EArcInternalInflateError(ArcTexts.Compose(cause));
}

} // namespace arc
