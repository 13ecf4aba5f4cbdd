// The receive totals against a simulated counter block that the front end
// restarts above 3000 and that also restarts on its own: whatever the order
// of restarts, every frame and error counted by the block is counted once.
#include "deve/operations.h"
#include "deve/rx_totals.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(RxTotals, EveryFrameIsCountedOnceAcrossAnyRestarts) {
    for (std::uint64_t seed = 1; seed <= 50; ++seed) {
        std::mt19937_64 random(seed);
        deve::RxTotals totals;
        std::uint32_t block_errors = 0;  // the chip's counters
        std::uint32_t block_total = 0;
        std::uint64_t sent_errors = 0;   // what really arrived
        std::uint64_t sent_frames = 0;
        for (int reading = 0; reading < 400; ++reading) {
            // The block restarts on its own (right after the previous
            // reading, so nothing it counted before is unread), and fewer
            // frames arrive than it held: the fall shows the restart.
            const bool own_restart = block_total > 0 && random() % 7 == 0;
            std::uint32_t frames = static_cast<std::uint32_t>(random() % 1500);
            if (own_restart) {
                frames = static_cast<std::uint32_t>(random() % block_total);
                block_errors = 0;
                block_total = 0;
            }
            const std::uint32_t errors = frames == 0 ? 0 : static_cast<std::uint32_t>(random() % (frames / 10 + 1));
            block_errors += errors;
            block_total += frames;
            sent_errors += errors;
            sent_frames += frames;

            deve::RxReading read{block_errors, block_total, block_total > deve::kRxResetAbove};
            const deve::RxStep step = totals.add(read);
            ASSERT_EQ(step.frames, frames) << "seed " << seed << ", reading " << reading;
            ASSERT_EQ(step.errors, errors) << "seed " << seed << ", reading " << reading;
            ASSERT_EQ(step.restarted, own_restart) << "seed " << seed << ", reading " << reading;
            ASSERT_EQ(step.total_frames, sent_frames);
            ASSERT_EQ(step.total_errors, sent_errors);
            ASSERT_EQ(totals.frames(), sent_frames);
            ASSERT_EQ(totals.errors(), sent_errors);
            if (read.reset) {  // the front end's restart after the reading
                block_errors = 0;
                block_total = 0;
            }
        }
    }
}

}  // namespace
