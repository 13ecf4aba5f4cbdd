// The frequency-offset trim search: which trims to measure, when a point is
// clearly worse than the best so far (so its measurement can stop early),
// and which trim is best.
//
// The receive error rate against the trim is a V in log-odds: the crystal's
// frequency error grows with the distance from the ideal trim, and each step
// costs the receiver the same signal-to-noise margin, so
// logit(PER) = a + b |trim - centre|. A coarse pass over the range finds
// the V; a fine pass measures every trim around the coarse best, and the
// V's centre is fitted to the fine points, weighting each by what its
// counts resolve. Where the fine points show no V (a rate with a floor of
// zero errors across the window: no side clearly above the floor on each
// hand), the best is the middle of the run of trims with the lowest
// measured rate.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

struct TrimPoint {
    std::uint32_t trim = 0;
    std::uint64_t errors = 0;
    std::uint64_t frames = 0;
    bool fine = false;          // measured in the fine pass
    bool stopped_early = false; // clearly worse than the best: measured no further
};

// The coarse step for a range: an eighth of it, at most 8. Within four steps
// of the ideal trim the error rate still stands clearly below its
// neighbours' on either band (the 5 GHz V is about twice as steep).
constexpr std::uint32_t kWidestCoarseStep = 8;
std::uint32_t coarse_step(std::uint32_t from, std::uint32_t to);
// from, from + step, ..., and `to` itself.
std::vector<std::uint32_t> coarse_trims(std::uint32_t from, std::uint32_t to, std::uint32_t step);
// Every trim within `step` (at least kMinFineReach) of `centre` and inside
// the range, nearest first (centre, centre - 1, centre + 1, ...), so the
// best is found early.
constexpr std::uint32_t kMinFineReach = 6;
std::vector<std::uint32_t> fine_trims(std::uint32_t centre, std::uint32_t step, std::uint32_t from, std::uint32_t to);

// Whether a point's error rate is above the best's beyond doubt (their
// 3-sigma Wilson intervals do not overlap); false with fewer than
// kMinFramesToJudge frames.
constexpr std::uint64_t kMinFramesToJudge = 20;
bool clearly_worse(const TrimPoint &point, const TrimPoint &best);
// The point with the lowest error rate (ties: the most frames), if any
// counted frames.
std::optional<TrimPoint> lowest(const std::vector<TrimPoint> &points);

struct TrimBest {
    std::uint32_t trim = 0;
    // "fit" (the V's centre), "lowest", or "none": no trim measured is
    // clearly worse than the lowest, so there is no minimum to speak of.
    std::string method;
    std::optional<double> centre;  // the fitted centre, when fitted
};
// The best trim of the fine points (all points when there are no fine ones);
// nothing when no point counted a frame.
std::optional<TrimBest> best_trim(const std::vector<TrimPoint> &points);

// Frames per point of the coarse pass: enough to tell the V's sides apart.
constexpr std::uint64_t kCoarseFrames = 100;

// Measures one point: the receiver at `trim` from zero counts until
// `frames` frames, or until the point is clearly worse than `best`.
// Nothing when the search must stop (a failed read, a signal).
using MeasureTrim = std::function<std::optional<TrimPoint>(std::uint32_t trim, std::uint64_t frames,
                                                           const std::optional<TrimPoint> &best, bool fine)>;

struct TrimSearch {
    std::vector<TrimPoint> points;  // every point measured, in order
    std::optional<TrimBest> best;
    bool cut_short = false;         // a measurement was cut short
    std::string failure;            // why there is no trim to burn; empty when there is
};
// The search over from..to, `frames` frames a fine point.
TrimSearch search_trim(std::uint32_t from, std::uint32_t to, std::uint64_t frames, const MeasureTrim &measure);

}  // namespace deve::cli
