#include "setup/ProgressPacer.h"

#include <algorithm>
#include <limits>

namespace setup {

bool TProgressMapper::WorkBegin(int64_t workCountMax, int32_t& newMax) {
    if (workCountMax <= 0) return false; // unknown size: the bar keeps its maximum
    FShift = 0;
    while ((workCountMax >> FShift) > std::numeric_limits<int32_t>::max())
        ++FShift;
    newMax = static_cast<int32_t>(workCountMax >> FShift);
    return true;
}

int32_t TProgressMapper::Position(int64_t workCount) const {
    int64_t scaled = workCount >> FShift;
    // Past the maximum the bar is full; never wrap around into small values.
    if (scaled > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return scaled < 0 ? 0 : static_cast<int32_t>(scaled);
}

void TProgressPacer::SetRange(int32_t max, int pixels) {
    FMax = max > 0 ? max : 1;
    FPixels = pixels > 0 ? pixels : 1;
    FDrawnColumn = -1;
}

int64_t TProgressPacer::Column(int32_t position) const {
    int64_t p = std::clamp<int64_t>(position, 0, FMax);
    return p * FPixels / FMax;
}

bool TProgressPacer::ShouldDraw(int32_t position, uint64_t nowMs) {
    const int64_t column = Column(position);
    if (column == FDrawnColumn) return false;
    const bool edge = column == 0 || column == FPixels;
    if (!edge && FDrawnColumn >= 0 && nowMs - FDrawnAt < kRedrawIntervalMs) return false;
    FDrawnColumn = column;
    FDrawnAt = nowMs;
    return true;
}

bool TProgressPacer::ShouldLookAtQueue(uint64_t nowMs) {
    if (FLookedAt != 0 && nowMs - FLookedAt < kQueueIntervalMs) return false;
    FLookedAt = nowMs;
    return true;
}

} // namespace setup
