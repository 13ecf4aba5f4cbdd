// The 1-2-5 rounding of the chart axes, checked as a property over many
// magnitudes rather than case by case.
#include "common/axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// value = m x 10^e with m in [1, 10): the mantissa of a step must be 1, 2, 5.
double mantissa(double value) { return value / std::pow(10.0, std::floor(std::log10(value))); }

TEST(NiceCeiling, TheSmallestOneTwoFiveStepAtOrAboveTheValue) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-12.0, 15.0);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::pow(10.0, exponent(random));
        const double top = deve::nice_ceiling(value);
        const double m = mantissa(top);
        const bool one_two_five = std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 || std::fabs(m - 5) < 1e-9 ||
                                  std::fabs(m - 10) < 1e-9;
        ASSERT_TRUE(one_two_five) << value << " -> " << top;
        ASSERT_GE(top * (1 + 1e-12), value) << value;
        // The step below it in the series is below the value.
        const double below = std::fabs(m - 5) < 1e-9 ? top * 0.4 : top * 0.5;
        ASSERT_LT(below, value) << value << " -> " << top;
    }
}

TEST(NiceCeiling, StepsAreTheirOwnTopAndTheFloorHolds) {
    for (int e = -12; e <= 15; ++e) {
        for (double m : {1.0, 2.0, 5.0}) {
            // Written out as a literal is: 5e-6 is not 5 * 1e-6 in binary.
            const double step = std::stod(std::to_string(static_cast<int>(m)) + "e" + std::to_string(e));
            EXPECT_DOUBLE_EQ(deve::nice_ceiling(step), step) << step;  // not the next step up
        }
    }
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(0.0, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(0.3, 10.0), 10.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(std::nan(""), 10.0), 10.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(-4.0), 0.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(1001.0, 10.0), 2000.0);
}

}  // namespace
