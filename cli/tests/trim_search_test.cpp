// The trim search's choices: the trims of each pass, when a point is
// measured no further, and the best trim from the points.
#include "trim_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

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
    // The coarse pass from the middle, halving: every trim once.
    for (const auto &[from, to] : {std::pair{100u, 200u}, std::pair{0u, 255u}, std::pair{7u, 7u}, std::pair{3u, 5u}}) {
        const std::vector<std::uint32_t> trims = coarse_trims(from, to, coarse_step(from, to));
        std::vector<std::uint32_t> order = coarse_order(trims);
        ASSERT_EQ(order.size(), trims.size());
        EXPECT_EQ(order.front(), trims[(trims.size() - 1) / 2]);
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, trims);
    }
    const std::vector<std::uint32_t> station = coarse_order(coarse_trims(100, 200, 8));
    EXPECT_EQ(std::vector<std::uint32_t>(station.begin(), station.begin() + 3),
              (std::vector<std::uint32_t>{148, 116, 180}));
}

TEST(CliTrimSearch, ClearlyWorseNeedsTheIntervalsApart) {
    const TrimPoint best{151, 10, 200, true, false};
    EXPECT_TRUE(deve::cli::clearly_worse({140, 20, 20, true, false}, best));
    EXPECT_FALSE(deve::cli::clearly_worse({140, 19, 19, true, false}, best));  // too few frames to judge
    EXPECT_FALSE(deve::cli::clearly_worse({152, 14, 200, true, false}, best));
    EXPECT_TRUE(deve::cli::clearly_worse({160, 60, 200, true, false}, best));
    EXPECT_EQ(deve::cli::lowest({{1, 5, 100, true, false}, {2, 9, 200, true, false}, {3, 10, 200, true, false}})->trim,
              2u);
}

TEST(CliTrimSearch, FishersTestAndTheLooksOfAPoint) {
    struct Case {
        TrimPoint point;
        TrimPoint best;
        double p;  // by hand, from the hypergeometric terms
    };
    const Case cases[] = {
        {{1, 3, 3}, {2, 0, 3}, 1.0 / 20},                      // C(3,3) C(3,0) / C(6,3)
        {{1, 3, 4}, {2, 1, 4}, 17.0 / 70},                     // (C(4,3) C(4,1) + 1) / C(8,4)
        {{1, 5, 10}, {2, 5, 10}, (1 + 63504.0 / 184756) / 2},  // at the mean: half the rest and the middle term
        {{1, 0, 10}, {2, 5, 10}, 1.0},
        {{1, 8, 8}, {2, 0, 200}, 1 / 75824205888366.0},  // every error in the point: 1 / C(208, 8)
        {{1, 0, 0}, {2, 0, 200}, 1.0},                  // nothing counted
    };
    for (const Case &c : cases) {
        EXPECT_NEAR(deve::cli::fisher_worse(c.point, c.best) / c.p, 1.0, 1e-6)
            << c.point.errors << "/" << c.point.frames << " against " << c.best.errors << "/" << c.best.frames;
    }
    EXPECT_EQ(deve::cli::look_schedule(200), (std::vector<std::uint64_t>{8, 12, 18, 27, 41, 62, 93, 140}));
    EXPECT_TRUE(deve::cli::look_schedule(8).empty());

    // A reading past several looks is one look; no look is made before the
    // first one is due, nor after the last.
    deve::cli::EarlyStop stop({151, 2, 200, true}, 200, 1e-7);
    EXPECT_FALSE(stop.worse({140, 7, 7, true}));
    EXPECT_EQ(stop.looks_made(), 0);
    EXPECT_FALSE(stop.worse({140, 2, 30, true}));  // past 8, 12, 18 and 27
    EXPECT_EQ(stop.looks_made(), 1);
    EXPECT_EQ(stop.next_look(), 41u);
    EXPECT_TRUE(stop.worse({140, 30, 45, true}));
    EXPECT_FALSE(deve::cli::EarlyStop().worse({140, 200, 200, true}));  // no best: measured in full
}

// The early stop's error rate holds over its repeated looks: a point whose
// rate equals the best's is stopped at most alpha of the time, at a loose
// alpha where a count of trials can see it; and a point clearly worse is
// stopped.
TEST(CliTrimSearch, TheEarlyStopKeepsItsErrorRateOverTheLooks) {
    struct Case {
        double best_rate;
        double rate;
        std::uint64_t frames;  // of the point and of the best
        std::uint64_t poll;    // frames between two readings
        double at_most;        // of the trials stopped
        double at_least;
    };
    constexpr double kAlpha = 0.05;
    const Case cases[] = {
        {0.3, 0.3, 200, 1, kAlpha, 0},  {0.05, 0.05, 200, 3, kAlpha, 0}, {0.5, 0.5, 600, 7, kAlpha, 0},
        {0.05, 0.3, 200, 5, 1, 0.95},   {0.03, 0.8, 200, 20, 1, 0.999},
    };
    std::mt19937_64 random(7);
    for (const Case &c : cases) {
        constexpr int kTrials = 10000;
        const double level = kAlpha / static_cast<double>(deve::cli::look_schedule(c.frames).size());
        int stopped = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            const TrimPoint best{151, std::binomial_distribution<std::uint64_t>(c.frames, c.best_rate)(random), c.frames,
                                 true};
            deve::cli::EarlyStop stop(best, c.frames, level);
            TrimPoint p{140, 0, 0, true};
            while (p.frames < c.frames) {
                p.frames += c.poll;
                p.errors += std::binomial_distribution<std::uint64_t>(c.poll, c.rate)(random);
                if (stop.worse(p)) {
                    ++stopped;
                    break;
                }
            }
        }
        const double share = static_cast<double>(stopped) / kTrials;
        EXPECT_LE(share, c.at_most) << c.rate << " against " << c.best_rate;
        EXPECT_GE(share, c.at_least) << c.rate << " against " << c.best_rate;
    }
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

// The expected counts of a point on a receiver's V, read every `poll`
// frames as the counters are polled, measured no further once clearly worse
// than `best`.
TrimPoint expected_point(std::uint32_t trim, std::uint64_t frames, deve::cli::EarlyStop &stop, bool fine, double ideal,
                         double slope, double floor_logit, std::uint64_t poll) {
    const double per = 1.0 / (1.0 + std::exp(-floor_logit - slope * std::abs(trim - ideal)));
    TrimPoint p{trim, 0, 0, fine, false};
    for (std::uint64_t n = std::min(poll, frames);; n = std::min(n + poll, frames)) {
        p.frames = n;
        p.errors = static_cast<std::uint64_t>(std::lround(per * static_cast<double>(n)));
        if (stop.worse(p)) {
            p.stopped_early = true;
            return p;
        }
        if (n == frames) {
            return p;
        }
    }
}

// A search recorded on a board whose best trim is 151, at 1 ms a register
// access, over 104-200: the coarse pass read 152 at 3.8 % (4 of 105 frames);
// 160 and the trims above it were stopped early at about 80 %; 155, at the
// edge of the fine window the search then chose, read 21 %. The other
// readings are the board's V.
TEST(CliTrimSearch, TheRecordedSearchOnASlowLinkFindsTheBoardsTrim) {
    std::map<std::pair<std::uint32_t, bool>, TrimPoint> recorded;
    for (std::uint32_t t = 104; t <= 136; t += 8) {
        recorded[{t, false}] = {t, 110, 120, false, false};
    }
    recorded[{144, false}] = {144, 80, 118, false, false};
    recorded[{152, false}] = {152, 4, 105, false, false};
    recorded[{160, false}] = {160, 20, 24, false, true};
    for (std::uint32_t t = 168; t <= 200; t += 8) {
        recorded[{t, false}] = {t, 18, 24, false, true};
    }
    recorded[{155, true}] = {155, 42, 200, true, false};
    std::vector<std::uint32_t> asked;
    const auto replay = [&](std::uint32_t trim, std::uint64_t frames, deve::cli::EarlyStop &stop,
                            bool fine) -> std::optional<TrimPoint> {
        asked.push_back(trim);
        const auto it = recorded.find({trim, fine});
        return it != recorded.end() ? it->second : expected_point(trim, frames, stop, fine, 151, 0.45, -2.9, 22);
    };
    const deve::cli::TrimSearch search = deve::cli::search_trim(104, 200, 200, replay);
    ASSERT_TRUE(search.best.has_value()) << search.failure;
    EXPECT_EQ(search.failure, "");
    EXPECT_NEAR(search.best->trim, 151.0, 1.0) << search.best->method;
    EXPECT_NE(search.best->trim, 155u);
    // The fine pass measured the trims around the coarse best, 152.
    EXPECT_NE(std::find(asked.begin() + 13, asked.end(), 151u), asked.end());
}

// A board for the property test: its V, the link's polling, and the faults
// a loaded machine adds.
struct Board {
    double ideal;        // the trim where the crystal is on frequency
    double slope;        // log-odds per trim step
    double floor_logit;  // log-odds of the error rate at the ideal
    std::uint64_t poll;  // frames between two readings (a slow link reads seldom)
    double stall;        // chance that a reading comes late, with far more frames than asked
    double burst;        // chance that interference spoils a point's frames
};

// Measures like the receiver: frames arrive in chunks between the readings;
// a stall adds a late chunk of up to three times the frames asked; a burst
// of interference loses up to a third of the frames.
class NoisyReceiver {
public:
    NoisyReceiver(const Board &board, std::uint64_t seed) : board_(board), random_(seed) {}

    TrimPoint operator()(std::uint32_t trim, std::uint64_t frames, deve::cli::EarlyStop &stop, bool fine) {
        const double per = rate_at(trim);
        const bool burst = chance(board_.burst);
        TrimPoint p{trim, 0, 0, fine, false};
        while (p.frames < frames) {
            std::uint64_t chunk =
                std::uniform_int_distribution<std::uint64_t>(board_.poll / 2 + 1, board_.poll)(random_);
            if (chance(board_.stall)) {
                chunk += std::uniform_int_distribution<std::uint64_t>(frames / 2, 3 * frames)(random_);
            }
            p.frames += chunk;
            p.errors += std::binomial_distribution<std::uint64_t>(chunk, per)(random_);
            if (burst) {
                p.errors += std::binomial_distribution<std::uint64_t>(chunk - std::min(chunk, p.errors), 0.3)(random_);
                p.errors = std::min(p.errors, p.frames);
            }
            if (stop.worse(p)) {
                p.stopped_early = true;
                // Stopped, though its rate is in truth no higher than the best's.
                wrong_stops += !burst && rate_at(trim) <= rate_at(stop.best()->trim) ? 1 : 0;
                break;
            }
        }
        return p;
    }

    int wrong_stops = 0;

private:
    double rate_at(std::uint32_t trim) const {
        return 1.0 / (1.0 + std::exp(-board_.floor_logit - board_.slope * std::abs(trim - board_.ideal)));
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    Board board_;
    std::mt19937_64 random_;
};

// Over many boards, links and noisy points: a trim the search would burn is
// within one step of the board's ideal; otherwise the search fails.
TEST(CliTrimSearch, EveryTrimFoundIsWithinOneOfTheIdeal) {
    const auto started = std::chrono::steady_clock::now();
    constexpr int kBoards = 2000;
    int found = 0;
    int failed = 0;
    int exact = 0;
    std::uint64_t frames_measured = 0;
    int wrong_stops = 0;
    std::mt19937_64 boards(20240501);
    auto uniform = [&boards](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(boards);
    };
    for (int i = 0; i < kBoards; ++i) {
        Board board;
        board.ideal = std::round(uniform(10, 245));
        board.slope = uniform(0.25, 1.0);
        board.floor_logit = uniform(-7.0, -1.0);
        board.poll = static_cast<std::uint64_t>(uniform(5, 120));
        board.stall = uniform(0, 1) < 0.3 ? uniform(0, 0.1) : 0.0;
        board.burst = uniform(0, 1) < 0.3 ? uniform(0, 0.05) : 0.0;
        // Mostly the default range; some narrower ones, a few without the ideal.
        std::uint32_t from = 0;
        std::uint32_t to = 255;
        if (uniform(0, 1) < 0.4) {
            from = static_cast<std::uint32_t>(std::max(0.0, board.ideal - uniform(-10, 60)));
            to = static_cast<std::uint32_t>(std::min(255.0, board.ideal + uniform(-10, 60)));
            if (from > to) {
                std::swap(from, to);
            }
        }
        const std::uint64_t frames = uniform(0, 1) < 0.7 ? 200 : static_cast<std::uint64_t>(uniform(60, 600));
        NoisyReceiver receiver(board, boards());
        const deve::cli::TrimSearch search = deve::cli::search_trim(
            from, to, frames,
            [&](std::uint32_t trim, std::uint64_t n, deve::cli::EarlyStop &stop, bool fine) {
                return std::optional<TrimPoint>(receiver(trim, n, stop, fine));
            });
        for (const TrimPoint &p : search.points) {
            frames_measured += p.frames;
        }
        wrong_stops += receiver.wrong_stops;
        if (!search.failure.empty()) {
            ++failed;
            continue;
        }
        ++found;
        ASSERT_TRUE(search.best.has_value());
        exact += search.best->trim == board.ideal ? 1 : 0;
        EXPECT_LE(std::abs(search.best->trim - board.ideal), 1.0)
            << "board " << i << ": ideal " << board.ideal << ", slope " << board.slope << ", floor "
            << board.floor_logit << ", poll " << board.poll << ", stall " << board.stall << ", burst "
            << board.burst << ", range " << from << "-" << to << ", " << frames << " frames: found "
            << search.best->trim << " (" << search.best->method << ")";
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("trim search over %d boards: %d found (%d of them the ideal itself), %d failed, %llu frames in all "
                "(%.0f a search), %d points stopped that were no worse than the best, %.2f s\n",
                kBoards, found, exact, failed, static_cast<unsigned long long>(frames_measured),
                static_cast<double>(frames_measured) / kBoards, wrong_stops, seconds);
    // The early stop's stated error rate: a wrong stop in at most one search
    // of 1/kStopErrorRate (the bound is loose; more than a few would break it).
    EXPECT_LE(wrong_stops, std::max(3.0, 3 * kBoards * deve::cli::kStopErrorRate));
    // A search that gives up on most boards would pass the test but help no line.
    EXPECT_GT(found, kBoards * 8 / 10);
}

}  // namespace
