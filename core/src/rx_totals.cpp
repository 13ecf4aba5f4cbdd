#include "deve/rx_totals.h"

namespace deve {

RxStep RxTotals::add(const RxReading &reading) {
    RxStep step;
    const std::uint64_t before_errors = errors();
    const std::uint64_t before_frames = frames();
    // A count below the previous one: the block restarted since the previous
    // reading, and what it holds now arrived after the restart.
    if (reading.total < block_frames_ || reading.errors < block_errors_) {
        base_errors_ += block_errors_;
        base_frames_ += block_frames_;
        step.restarted = true;
    }
    block_errors_ = reading.errors;
    block_frames_ = reading.total;
    step.total_errors = errors();
    step.total_frames = frames();
    step.errors = step.total_errors - before_errors;
    step.frames = step.total_frames - before_frames;
    if (reading.reset) {
        // Restarted after this reading: the next one counts from zero.
        base_errors_ += block_errors_;
        base_frames_ += block_frames_;
        block_errors_ = 0;
        block_frames_ = 0;
    }
    return step;
}

}  // namespace deve
