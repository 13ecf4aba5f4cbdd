// The trim search's choices: the trims of each pass, when a point is
// measured no further, and the best trim from the points.
#include "trim_search.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using deve::cli::TrimPoint;

// A point with the counts the receiver's V would give on average: the
// error rate 1 / (1 + exp(margin - slope |trim - centre|)).
TrimPoint v_point(std::uint32_t trim, double centre, double slope, double margin, std::uint64_t frames) {
    const double per = 1.0 / (1.0 + std::exp(margin - slope * std::abs(trim - centre)));
    return TrimPoint{trim, static_cast<std::uint64_t>(std::lround(per * static_cast<double>(frames))), frames, true,
                     false};
}

TEST(CliTrimSearch, PassesCoverTheRangeAndStartFineAtTheCoarseBest) {
    using namespace deve::cli;
    EXPECT_EQ(coarse_step(0, 255), 8u);
    EXPECT_EQ(coarse_step(100, 200), 8u);
    EXPECT_EQ(coarse_step(140, 160), 2u);
    EXPECT_EQ(coarse_step(150, 152), 1u);
    const std::vector<std::uint32_t> coarse = coarse_trims(0, 255, 8);
    EXPECT_EQ(coarse.front(), 0u);
    EXPECT_EQ(coarse[1], 8u);
    EXPECT_EQ(coarse.back(), 255u);  // the range's end is measured too
    EXPECT_EQ(coarse.size(), 33u);
    EXPECT_EQ(coarse_trims(7, 7, 1), (std::vector<std::uint32_t>{7}));
    const std::vector<std::uint32_t> fine = fine_trims(3, 8, 0, 255);
    EXPECT_EQ(std::vector<std::uint32_t>(fine.begin(), fine.begin() + 5), (std::vector<std::uint32_t>{3, 2, 4, 1, 5}));
    EXPECT_EQ(fine.size(), 12u);  // 0 to 11: nothing below the range
    EXPECT_EQ(fine_trims(100, 1, 0, 255).size(), 13u);  // at least six each way
}

TEST(CliTrimSearch, OnlyAPointWorseBeyondDoubtStopsEarly) {
    const TrimPoint best{151, 10, 200, true, false};
    EXPECT_TRUE(deve::cli::clearly_worse({140, 20, 20, true, false}, best));
    EXPECT_FALSE(deve::cli::clearly_worse({140, 19, 19, true, false}, best));  // too few frames to judge
    EXPECT_FALSE(deve::cli::clearly_worse({152, 14, 200, true, false}, best));
    EXPECT_TRUE(deve::cli::clearly_worse({160, 60, 200, true, false}, best));
    EXPECT_EQ(deve::cli::lowest({{1, 5, 100, true, false}, {2, 9, 200, true, false}, {3, 10, 200, true, false}})->trim,
              2u);
}

TEST(CliTrimSearch, TheBestIsTheCentreOfTheV) {
    // A centre between two trims, and a steeper V (5 GHz): the nearest trim.
    for (const auto &[centre, slope] : {std::pair{151.4, 0.3}, std::pair{97.6, 0.63}}) {
        std::vector<TrimPoint> points;
        for (std::uint32_t t = static_cast<std::uint32_t>(centre) - 8; t <= centre + 8; ++t) {
            points.push_back(v_point(t, centre, slope, 3.0, 400));
        }
        const auto best = deve::cli::best_trim(points);
        ASSERT_TRUE(best.has_value());
        EXPECT_EQ(best->method, "fit");
        EXPECT_EQ(best->trim, static_cast<std::uint32_t>(std::lround(centre))) << centre;
        EXPECT_NEAR(*best->centre, centre, 0.3);
    }
    // Only the coarse points count when there are no fine ones.
    std::vector<TrimPoint> coarse;
    for (std::uint32_t t = 0; t <= 255; t += 8) {
        TrimPoint p = v_point(t, 150, 0.3, 3.0, 100);
        p.fine = false;
        coarse.push_back(p);
    }
    EXPECT_NEAR(deve::cli::best_trim(coarse)->trim, 150.0, 2.0);
}

TEST(CliTrimSearch, WithoutAVTheMiddleOfTheLowestRun) {
    // A slow rate: no errors across the fine window, whose floor the coarse
    // pass found between trims that lost every frame.
    std::vector<TrimPoint> flat{{96, 100, 100, false, false}, {160, 100, 100, false, false}};
    for (std::uint32_t t = 120; t <= 132; ++t) {
        flat.push_back({t, t < 123 ? 3u : 0u, 200, true, false});
    }
    const auto best = deve::cli::best_trim(flat);
    EXPECT_EQ(best->method, "lowest");
    EXPECT_EQ(best->trim, 127u);  // 123 to 132
    // A V whose centre lies outside the window is no centre.
    std::vector<TrimPoint> slope;
    for (std::uint32_t t = 100; t <= 112; ++t) {
        slope.push_back(v_point(t, 130, 0.3, 3.0, 400));
    }
    EXPECT_EQ(deve::cli::best_trim(slope)->trim, 112u);
    EXPECT_FALSE(deve::cli::best_trim({{5, 0, 0, true, false}}).has_value());  // nothing received
    // Every trim lost every frame: no minimum at all.
    EXPECT_EQ(deve::cli::best_trim({{5, 200, 200, true, false}, {6, 199, 200, true, false}})->method, "none");
}

}  // namespace
