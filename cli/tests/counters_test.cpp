// Totals of a run across counter restarts, and the limits.
#include "counters.h"

#include <gtest/gtest.h>

namespace {

// deve-cli counts its receive tests with the core's accumulator.
using deve::RxReading;
using deve::RxStep;
using deve::RxTotals;

TEST(CliRxTotals, CountsCarryOverTheRestartsAfterThreeThousand) {
    RxTotals totals;
    RxStep s = totals.add({10, 1000, false});
    EXPECT_EQ(s.frames, 1000u);
    EXPECT_EQ(s.errors, 10u);
    s = totals.add({25, 3500, true});  // over 3000: the counters restart after this reading
    EXPECT_EQ(s.frames, 2500u);
    EXPECT_EQ(s.errors, 15u);
    EXPECT_EQ(s.total_frames, 3500u);
    EXPECT_FALSE(s.restarted);
    s = totals.add({3, 800, false});  // counting from 0 again
    EXPECT_EQ(s.frames, 800u);
    EXPECT_EQ(s.errors, 3u);
    EXPECT_EQ(s.total_frames, 4300u);
    EXPECT_EQ(s.total_errors, 28u);
    EXPECT_FALSE(s.restarted);
    EXPECT_EQ(totals.frames(), 4300u);
}

TEST(CliRxTotals, ACounterThatRestartsOnItsOwnLosesNothingCounted) {
    RxTotals totals;
    totals.add({5, 2000, false});
    const RxStep s = totals.add({1, 300, false});
    EXPECT_TRUE(s.restarted);
    EXPECT_EQ(s.total_frames, 2300u);
    EXPECT_EQ(s.total_errors, 6u);
    EXPECT_EQ(s.frames, 300u);
}

TEST(CliTxTotals, CountsAcrossTheCounterWrap) {
    deve::cli::TxTotals totals(0xFFFFFF00u);
    EXPECT_EQ(totals.add(0xFFFFFFFFu), 0xFFu);
    EXPECT_EQ(totals.add(0x101u), 0x102u);
    EXPECT_EQ(totals.frames(), 0x201u);
}

TEST(CliPacketErrorRate, TheDialogsTextAndNA) {
    EXPECT_EQ(deve::cli::per_text(0, 500), "0.0%");
    EXPECT_EQ(deve::cli::per_text(1, 3), "33.3%");
    EXPECT_EQ(deve::cli::per_text(1, 8), "12.5%");
    EXPECT_EQ(deve::cli::per_text(0, 0), "NA");
    EXPECT_EQ(deve::cli::per_text(1ull << 33, 1ull << 34), "50.0%");  // totals beyond 32 bits keep the ratio
    EXPECT_FALSE(deve::cli::per_percent(0, 0).has_value());
    // Rounded to the step one frame makes: no digits the counts cannot resolve.
    EXPECT_DOUBLE_EQ(*deve::cli::per_percent(28, 15), 187.0);
    EXPECT_DOUBLE_EQ(*deve::cli::per_percent(31, 511), 6.1);
    EXPECT_DOUBLE_EQ(*deve::cli::per_percent(1, 1000), 0.1);
    EXPECT_DOUBLE_EQ(*deve::cli::per_percent(56, 3000), 1.87);
}

TEST(CliLimits, BoundsAreInclusiveAndAnUnmeasuredValueFails) {
    EXPECT_TRUE(deve::cli::at_most("max-per", 8.0, 8.0, "%").pass);
    EXPECT_FALSE(deve::cli::at_most("max-per", 8.0, 8.01, "%").pass);
    EXPECT_FALSE(deve::cli::at_most("max-per", 8.0, std::nullopt, "%").pass);
    EXPECT_TRUE(deve::cli::at_least("min-frames", 1000, 1000.0, "frame").pass);
    EXPECT_FALSE(deve::cli::at_least("min-frames", 1000, 999.0, "frame").pass);
    EXPECT_TRUE(deve::cli::all_pass({}));
    EXPECT_FALSE(deve::cli::all_pass({deve::cli::at_least("a", 1, 2.0, ""), deve::cli::at_most("b", 1, 2.0, "")}));
}

}  // namespace
