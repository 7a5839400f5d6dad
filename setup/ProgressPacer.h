#pragma once
// Following a transfer on a progress bar that the blocked GUI thread moves
// itself: 64-bit work counts onto a 32-bit bar, and redraws and looks at the
// window's queue only as often as they are worth.
#include <cstdint>

namespace setup {

// Maps the client's 64-bit work counts onto a progress bar whose minimum,
// maximum and position are 32-bit: a size beyond that range is scaled down,
// so the bar still moves in proportion.
class TProgressMapper {
  public:
    // Returns whether the bar's maximum changes, and to what.
    bool WorkBegin(int64_t workCountMax, int32_t& newMax);
    int32_t Position(int64_t workCount) const;
    void WorkEnd() {}

  private:
    int FShift = 0; // the counts are divided by 2^FShift
};

// Paces the work of a progress bar that a blocked thread moves itself. Each
// redraw and each look at the queue costs a round trip to the window system
// (under Wine one to the display server too), and a transfer reports every
// 32 KiB: thousands of times for an archive of a few hundred megabytes. A
// redraw is worth it only when the bar's filled width gains or loses a pixel
// column, and no eye follows more than a few tens of redraws a second; the
// queue must still be looked at well within the five seconds after which
// Windows treats the window as hung.
class TProgressPacer {
  public:
    static constexpr uint64_t kRedrawIntervalMs = 30;
    static constexpr uint64_t kQueueIntervalMs = 100;

    // A new range, or a bar of another width: the next position is drawn.
    void SetRange(int32_t max, int pixels);
    // True when position is to be drawn now. A change of the filled width
    // is drawn once the redraw interval has passed since the last draw; a
    // full bar (the end of a sized download) and an empty one are drawn at
    // once, so the end of every archive is seen.
    bool ShouldDraw(int32_t position, uint64_t nowMs);
    // True when the queue is due to be looked at.
    bool ShouldLookAtQueue(uint64_t nowMs);

  private:
    int64_t Column(int32_t position) const;

    int32_t FMax = 100;
    int FPixels = 1;
    int64_t FDrawnColumn = -1; // -1: nothing drawn in this range yet
    uint64_t FDrawnAt = 0;
    uint64_t FLookedAt = 0;
};

} // namespace setup
