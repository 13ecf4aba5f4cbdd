// The sequential test of tx and rx against the fixed-count runs it replaces,
// over seeded simulated boards whose true rates are spread around each limit:
// the counts come from a seeded binomial (rx) or Poisson (tx) source looked at
// as the runs look at the counters, not from the radio.
#include "sequential.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace deve::cli {
namespace {

constexpr int kRuns = 20000;

struct Tally {
    int runs = 0;
    int passed = 0;
    int truncated = 0;
    double frames = 0;
    double pass_rate() const { return runs ? static_cast<double>(passed) / runs : 0; }
    double fail_rate() const { return runs ? 1.0 - pass_rate() : 0; }
    double mean_frames() const { return runs ? frames / runs : 0; }
    double truncated_share() const { return runs ? static_cast<double>(truncated) / runs : 0; }
    void add(bool pass, std::uint64_t used, bool undecided) {
        ++runs;
        passed += pass ? 1 : 0;
        truncated += undecided ? 1 : 0;
        frames += static_cast<double>(used);
    }
};

// Three standard errors of a rate measured in n runs.
double margin(double rate, int n) {
    return 3.0 * std::sqrt(rate * (1 - rate) / n);
}

// The run's reads of the counters: every 20 ms, give or take the scheduler.
struct Looks {
    std::mt19937_64 &random;
    double seconds() { return std::uniform_real_distribution<double>(0.012, 0.028)(random); }
};

// One rx run of a board whose frames are in error with chance p, at the
// bench source's 1000 frames a second: sequential when `test` is given
// (stopping at max_frames undecided), else a fixed count of max_frames.
// Pass as the run judges it: decided, else PER at most the limit.
void rx_run(std::mt19937_64 &random, double p, double limit, const SequentialTest *test, std::uint64_t max_frames,
            Tally &tally) {
    Looks looks{random};
    std::uint64_t frames = 0;
    std::uint64_t errors = 0;
    while (true) {
        const auto step = static_cast<std::uint64_t>(std::lround(looks.seconds() * 1000.0));
        const std::uint64_t now = std::min(frames + step, max_frames);
        errors += std::binomial_distribution<std::uint64_t>(now - frames, p)(random);
        frames = now;
        if (test != nullptr) {
            const Decision d = test->look(errors, frames, 0);
            if (d != Decision::Undecided) {
                tally.add(d == Decision::Pass, frames, false);
                return;
            }
        }
        if (frames >= max_frames) {
            tally.add(100.0 * static_cast<double>(errors) / static_cast<double>(frames) <= limit, frames,
                      test != nullptr);
            return;
        }
    }
}

// One tx run of a transmitter sending at `rate` frames a second (a Poisson
// count): pass when its mean rate is at least the limit.
void tx_run(std::mt19937_64 &random, double rate, double limit, const SequentialTest *test, std::uint64_t max_frames,
            Tally &tally) {
    Looks looks{random};
    std::uint64_t frames = 0;
    double seconds = 0;
    while (true) {
        const double step = looks.seconds();
        seconds += step;
        frames += std::poisson_distribution<std::uint64_t>(rate * step)(random);
        if (test != nullptr) {
            const Decision d = test->look(frames, frames, seconds);
            if (d != Decision::Undecided) {
                tally.add(d == Decision::Pass, frames, false);
                return;
            }
        }
        if (frames >= max_frames) {
            tally.add(static_cast<double>(frames) / seconds >= limit, frames, test != nullptr);
            return;
        }
    }
}

using RunFn = void (*)(std::mt19937_64 &, double, double, const SequentialTest *, std::uint64_t, Tally &);

struct Case {
    const char *name;
    SequentialTest::Kind kind;
    RunFn run;
    double limit;
    std::uint64_t fixed_frames; // today's count
    double spread_low;          // true values drawn evenly from here
    double spread_high;         // to here
};

// What the spread measures of one method.
struct Spread {
    Tally bad;  // the true value outside the limit
    Tally good; // the true value inside the limit by the zone or more
    Tally all;
};

TEST(SequentialTest, ErrorRatesHoldAndBeatTheFixedCounts) {
    const Case cases[] = {
        {"rx max-per 10 %", SequentialTest::Kind::ErrorRate, rx_run, 10, 1000, 0, 20},
        {"rx max-per 5 %", SequentialTest::Kind::ErrorRate, rx_run, 5, 1000, 0, 10},
        {"tx min-fps 1000", SequentialTest::Kind::FrameRate, tx_run, 1000, 2000, 500, 2500},
    };
    std::printf("%-16s %-10s %8s %9s %8s %8s %9s %9s %8s\n", "limit", "method", "at bad", "at good", "false", "false",
                "mean", "mean", "maximum");
    std::printf("%-16s %-10s %8s %9s %8s %8s %9s %9s %8s\n", "", "", "passed", "failed", "pass", "fail", "frames",
                "good fr.", "reached");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SequentialTest::Made made = SequentialTest::make(c.kind, c.limit, SequentialPlan{});
        ASSERT_TRUE(made.test) << made.reason;
        const SequentialTest &test = *made.test;
        const std::uint64_t max_frames = kSequentialDefaults.max_frames;
        const bool at_most = c.kind == SequentialTest::Kind::ErrorRate;
        const double scale = at_most ? 0.01 : 1.0; // rx draws chances, not percentages
        for (const bool sequential : {false, true}) {
            const SequentialTest *t = sequential ? &test : nullptr;
            const std::uint64_t frames = sequential ? max_frames : c.fixed_frames;
            std::mt19937_64 random(sequential ? 2 : 1);
            // At the two hypotheses: the stated error rates.
            Tally at_bad;
            Tally at_good;
            for (int i = 0; i < kRuns; ++i) {
                c.run(random, test.bad() * scale, c.limit, t, frames, at_bad);
                c.run(random, test.good() * scale, c.limit, t, frames, at_good);
            }
            // True values spread evenly around the limit.
            Spread s;
            std::uniform_real_distribution<double> spread(c.spread_low, c.spread_high);
            for (int i = 0; i < kRuns; ++i) {
                const double v = spread(random);
                const bool bad = at_most ? v > c.limit : v < c.limit;
                const bool good = at_most ? v <= test.good() : v >= test.good();
                Tally one;
                c.run(random, v * scale, c.limit, t, frames, one);
                for (Tally *into : {bad ? &s.bad : nullptr, good ? &s.good : nullptr, &s.all}) {
                    if (into != nullptr) {
                        into->add(one.passed == 1, static_cast<std::uint64_t>(one.frames), one.truncated == 1);
                    }
                }
            }
            std::printf("%-16s %-10s %7.2f%% %8.3f%% %7.2f%% %7.3f%% %9.0f %9.0f %7.2f%%\n", c.name,
                        sequential ? "sequential" : "fixed", 100 * at_bad.pass_rate(), 100 * at_good.fail_rate(),
                        100 * s.bad.pass_rate(), 100 * s.good.fail_rate(), s.all.mean_frames(), s.good.mean_frames(),
                        100 * s.all.truncated_share());
            if (!sequential) {
                continue;
            }
            // The stated rates at the hypotheses, within three standard errors;
            // the runs that reach the maximum undecided count in.
            const double b = test.false_pass() / 100;
            const double a = test.false_fail() / 100;
            EXPECT_LE(at_bad.pass_rate(), b + margin(b, kRuns));
            EXPECT_LE(at_good.fail_rate(), a + margin(a, kRuns));
            // Further from the limit, the rates are smaller still.
            EXPECT_LE(s.bad.pass_rate(), b + margin(b, s.bad.runs));
            EXPECT_LE(s.good.fail_rate(), a + margin(a, s.good.runs));
            EXPECT_LT(s.all.truncated_share(),
                      0.05); // boards in the zone, judged as fixed runs are
        }
    }
}

// The same boards, the same seeds: the fixed counts against the sequential
// test on the boards outside the limit (false passes) and, for takt, on the
// boards well inside it (frames used).
TEST(SequentialTest, PassesFewerBadBoardsThanTheFixedCountsInFewerFrames) {
    for (const double limit : {10.0, 5.0}) {
        SCOPED_TRACE(limit);
        const SequentialTest test = *SequentialTest::make(SequentialTest::Kind::ErrorRate, limit, {}).test;
        Tally fixed_bad;
        Tally seq_bad;
        Tally fixed_good;
        Tally seq_good;
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> above(limit, 2 * limit);
        std::uniform_real_distribution<double> below(0, test.good());
        for (int i = 0; i < kRuns / 2; ++i) {
            const double bad = above(random) / 100;
            const double good = below(random) / 100;
            rx_run(random, bad, limit, nullptr, 1000, fixed_bad);
            rx_run(random, bad, limit, &test, kSequentialDefaults.max_frames, seq_bad);
            rx_run(random, good, limit, nullptr, 1000, fixed_good);
            rx_run(random, good, limit, &test, kSequentialDefaults.max_frames, seq_good);
        }
        EXPECT_LT(seq_bad.pass_rate(), fixed_bad.pass_rate());
        EXPECT_LT(seq_good.mean_frames(), 0.5 * fixed_good.mean_frames());
    }
}

TEST(SequentialTest, RefusesTestsThatCannotBeFormed) {
    using Kind = SequentialTest::Kind;
    struct Row {
        Kind kind;
        double limit;
        SequentialPlan plan;
        bool formed;
    };
    const Row rows[] = {
        {Kind::ErrorRate, 10, {}, true},
        {Kind::ErrorRate, 0, {}, false},                                          // nothing can pass 0 %
        {Kind::ErrorRate, 100, {}, false},                                        // nothing can fail 100 %
        {Kind::ErrorRate, 10, {std::nullopt, std::nullopt, 10.0, {}, {}}, false}, // good hypothesis at 0 %
        {Kind::ErrorRate, 10, {std::nullopt, std::nullopt, 0.0, {}, {}}, false},
        {Kind::ErrorRate, 10, {0.0, std::nullopt, {}, {}, {}}, false},
        {Kind::ErrorRate, 10, {std::nullopt, 60.0, {}, {}, {}}, false},
        {Kind::FrameRate, 1000, {}, true},
        {Kind::FrameRate, 0, {}, false},
        {Kind::FrameRate, 1000, {std::nullopt, std::nullopt, 0.0, {}, {}}, false},
    };
    for (const Row &r : rows) {
        const SequentialTest::Made made = SequentialTest::make(r.kind, r.limit, r.plan);
        EXPECT_EQ(made.test.has_value(), r.formed) << r.limit << ": " << made.reason;
        EXPECT_EQ(made.reason.empty(), r.formed);
    }
}

// Nothing is decided before the first decision frames, however clear the
// counts; then a clear count decides at once.
TEST(SequentialTest, DecidesNothingBeforeItsFirstFrames) {
    const SequentialTest test = *SequentialTest::make(SequentialTest::Kind::ErrorRate, 10, {}).test;
    EXPECT_EQ(test.look(0, test.decide_after() - 1, 0), Decision::Undecided);
    EXPECT_EQ(test.look(test.decide_after() - 1, test.decide_after() - 1, 0), Decision::Undecided);
    EXPECT_EQ(test.look(0, 1000, 0), Decision::Pass);
    EXPECT_EQ(test.look(test.decide_after(), test.decide_after(), 0), Decision::Fail);
}

} // namespace
} // namespace deve::cli
