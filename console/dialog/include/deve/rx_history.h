// The receive test over time: the error and total counts that the receive
// timer reads once a second, turned into the packet error rate and the frame
// rate of each interval between two readings, over a sliding window.
//
// The counts the timer reads belong to one counter block, and they fall back
// to zero whenever the block restarts: after the console's own restart (once
// the total passes 3000) and whenever the chip restarted the block on its own
// (a count smaller than the one before). The history carries the counts
// across every restart (the core's RxTotals), so an interval's rate comes
// from the frames of that interval alone and the curves do not jump at a
// restart.
#pragma once

#include "common/axis.h"
#include "deve/operations.h"
#include "deve/rx_totals.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace deve {

// The reading behind the texts the timer shows ("%d" of the counts, which
// the standard conversion turns back into the unsigned count).
RxReading reading_of(const RxCounts &counts);

struct RxPoint {
    double seconds = 0;  // since RX ON
    double value = 0;
};

class RxHistory {
public:
    // The chart keeps the last five minutes.
    static constexpr double kWindowSeconds = 300;
    // The time axis spans at least a minute, growing to the window.
    static constexpr double kMinimumSpanSeconds = 60;

    // A new receive test: no points, counters taken as zero at time 0.
    void clear();

    // A reading taken `seconds` after RX ON. Adds the interval's packet error
    // rate (when it received frames) and frame rate (when time has passed).
    void add(double seconds, const RxReading &reading);

    // Per interval: errors / frames x 100 of the frames received since the
    // previous reading, and frames per second.
    const std::deque<RxPoint> &per() const { return per_; }
    const std::deque<RxPoint> &rate() const { return rate_; }

    // Since RX ON, across restarts.
    std::uint64_t frames() const { return totals_.frames(); }
    std::uint64_t errors() const { return totals_.errors(); }
    std::optional<double> overall_per() const;
    int restarts() const { return restarts_; }  // counter restarts carried across
    int readings() const { return readings_; }

    // Axis ranges: the time window shown, and rounded tops for the two value
    // axes (a 1-2-5 step at or above the largest value shown, and at least
    // 1 % and 10 frames/s).
    std::pair<double, double> time_range() const;
    double per_top() const;
    double rate_top() const;

private:
    void prune();

    std::deque<RxPoint> per_;
    std::deque<RxPoint> rate_;
    double last_seconds_ = 0;
    RxTotals totals_;
    int restarts_ = 0;
    int readings_ = 0;
};

}  // namespace deve
