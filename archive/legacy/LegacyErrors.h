#pragma once
// Error texts and classes of the decoders for the legacy methods 1 to 6
// (shrink, reduce, implode). Each text is written once, here.
#include "archive/ArcErrors.h"

namespace arc {

inline constexpr const char* kArcMsgSlidingWindowSeek =
    "TArcSlidingWindowStream.Seek: invalid new position";
inline constexpr const char* kArcMsgShrinkInvalidCode =
    "Invalid shrunk data - code not in the code table";
inline constexpr const char* kArcMsgShrinkChainTooLong =
    "Invalid shrunk data - prefix chain longer than the code table";
inline constexpr const char* kArcMsgImplodeBadTree =
    "Invalid imploded data - a Shannon-Fano tree does not describe its values";

// Corrupt data of a legacy method: the entry fails with one of the texts above.
class EArcZipLegacyData : public EArcZipException {
  public:
    explicit EArcZipLegacyData(const char* message) : EArcZipException(message, 30) {}
};

} // namespace arc
