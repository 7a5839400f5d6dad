#pragma once
// Error texts and class of the PPMd decoder (ZIP method 98). Each text is
// written once, here.
#include "archive/ArcErrors.h"

namespace arc {

inline constexpr const char* kArcMsgPpmdOrder = "Invalid PPMd data - model order below 2";
inline constexpr const char* kArcMsgPpmdRestoration =
    "Invalid PPMd data - undefined model restoration method";
inline constexpr const char* kArcMsgPpmdMemory = "PPMd decoder - not enough memory for the model";
inline constexpr const char* kArcMsgPpmdTruncated =
    "Invalid PPMd data - the stream ends before its end mark";
inline constexpr const char* kArcMsgPpmdCorrupt = "Invalid PPMd data - the stream does not decode";

// A PPMd entry that cannot be decoded: a header the decoder refuses, model
// memory the machine cannot give, or a damaged or cut stream.
class EArcZipPpmdData : public EArcZipException {
  public:
    explicit EArcZipPpmdData(const char* message) : EArcZipException(message, 31) {}
};

} // namespace arc
