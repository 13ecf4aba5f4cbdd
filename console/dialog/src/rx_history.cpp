#include "deve/rx_history.h"

#include "deve/text.h"

#include <algorithm>

namespace deve {

namespace {

constexpr double kPercent = 100.0;
constexpr double kPerFloor = 1.0;    // %
constexpr double kRateFloor = 10.0;  // frames per second

template <typename Points>
double largest(const Points &points) {
    double top = 0;
    for (const RxPoint &p : points) {
        top = std::max(top, p.value);
    }
    return top;
}

}  // namespace

RxReading reading_of(const RxCounts &counts) {
    RxReading reading;
    reading.errors = parse_unsigned(counts.errors, 10);
    reading.total = parse_unsigned(counts.total, 10);
    reading.reset = counts.reset;
    return reading;
}

void RxHistory::clear() { *this = RxHistory(); }

void RxHistory::add(double seconds, const RxReading &reading) {
    ++readings_;
    const RxStep step = totals_.add(reading);
    // Both the block's own restarts and the console's are carried across.
    restarts_ += (step.restarted ? 1 : 0) + (reading.reset ? 1 : 0);

    if (step.frames > 0) {
        per_.push_back({seconds, kPercent * static_cast<double>(step.errors) / static_cast<double>(step.frames)});
    }
    const double elapsed = seconds - last_seconds_;
    if (elapsed > 0) {
        rate_.push_back({seconds, static_cast<double>(step.frames) / elapsed});
    }
    last_seconds_ = std::max(last_seconds_, seconds);
    prune();
}

void RxHistory::prune() {
    const double oldest = last_seconds_ - kWindowSeconds;
    for (std::deque<RxPoint> *points : {&per_, &rate_}) {
        while (!points->empty() && points->front().seconds < oldest) {
            points->pop_front();
        }
    }
}

std::optional<double> RxHistory::overall_per() const {
    if (frames() == 0) {
        return std::nullopt;
    }
    return kPercent * static_cast<double>(errors()) / static_cast<double>(frames());
}

std::pair<double, double> RxHistory::time_range() const {
    const double low = std::max(0.0, last_seconds_ - kWindowSeconds);
    return {low, std::max(low + kMinimumSpanSeconds, last_seconds_)};
}

double RxHistory::per_top() const { return nice_ceiling(largest(per_), kPerFloor); }

double RxHistory::rate_top() const { return nice_ceiling(largest(rate_), kRateFloor); }

}  // namespace deve
