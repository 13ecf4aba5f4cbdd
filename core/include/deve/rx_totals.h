// The receive counts of a test across restarts of the counter block.
//
// The chip's receive counters (errors and total, 16 bits each) belong to one
// counter block, and they fall back to zero whenever the block restarts:
// after the front end's own restart (rf_rxpkt_reset once the total passes
// kRxResetAbove) and whenever the chip restarted the block on its own, seen
// as a count smaller than the one read before. The totals carry the counts
// over every restart, so nothing counted is lost and each reading's new
// frames are those that arrived since the previous reading alone. The
// dialog's receive history and deve-cli's receive tests both count this way.
#pragma once

#include <cstdint>

namespace deve {

// One reading of the receive counters.
struct RxReading {
    std::uint32_t errors = 0;
    std::uint32_t total = 0;
    bool reset = false;  // the counters were restarted right after this reading
};

// What one reading added.
struct RxStep {
    std::uint64_t errors = 0;  // since the previous reading
    std::uint64_t frames = 0;
    std::uint64_t total_errors = 0;  // since the test started
    std::uint64_t total_frames = 0;
    bool restarted = false;  // the block had restarted on its own since the previous reading
};

class RxTotals {
public:
    RxStep add(const RxReading &reading);
    // Since the test started, across restarts.
    std::uint64_t errors() const { return base_errors_ + block_errors_; }
    std::uint64_t frames() const { return base_frames_ + block_frames_; }

private:
    // Counts carried over from before the block's last restart.
    std::uint64_t base_errors_ = 0;
    std::uint64_t base_frames_ = 0;
    // The block's counts as last read (zero after a restart).
    std::uint32_t block_errors_ = 0;
    std::uint32_t block_frames_ = 0;
};

}  // namespace deve
