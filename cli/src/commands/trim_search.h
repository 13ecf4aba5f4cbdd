// The frequency-offset trim search: which trims to measure, when a point is
// clearly worse than the best so far (so its measurement can stop early),
// and which trim is best.
//
// The receive error rate against the trim is a V in log-odds: the crystal's
// frequency error grows with the distance from the ideal trim, and each step
// costs the receiver the same signal-to-noise margin, so
// logit(PER) = a + b |trim - centre|. A coarse pass over the range finds
// the trim with the lowest rate; a fine pass measures every trim around it,
// and the V's centre is fitted to the fine points by the likelihood of their
// counts (a trim with no errors among many frames says as much as one with
// a few). The window of the fine pass grows until the V rises on both sides
// of its best; the range's edge ends the search with a failure. The centre
// must be known to within a step: when the counts leave it wider, the trims
// around it are measured again, and a search that still cannot tell fails.
//
// A point is measured until its counts decide it worse than the best so far
// (EarlyStop: a sequential test at a stated error rate for the whole search)
// or until its frames. A point measured no further is only "worse than":
// its few frames were stopped at a bad moment and do not pull the fit.
//
// A point that counted far more frames than asked was read late (a stalled
// link or a loaded machine): it is measured again, and left out when it
// stays so.
#pragma once

// <string> before <functional>: the C library's <stdlib.h> of the Windows
// cross build includes <limits.h>, which this directory's limits.h shadows,
// and that one needs <string> complete.
#include <string>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace deve::cli {

struct TrimPoint {
    std::uint32_t trim = 0;
    std::uint64_t errors = 0;
    std::uint64_t frames = 0;
    bool fine = false;          // measured in the fine pass
    bool stopped_early = false; // decided worse than the best so far: measured no further
    bool rejected = false;      // far more frames than asked: read late, not used
    std::uint64_t frames_asked = 0;  // the frames it was to count in full
};

// The coarse step for a range: an eighth of it, at most 8. Within four steps
// of the ideal trim the error rate still stands clearly below its
// neighbours' on either band (the 5 GHz V is about twice as steep).
constexpr std::uint32_t kWidestCoarseStep = 8;
std::uint32_t coarse_step(std::uint32_t from, std::uint32_t to);
// from, from + step, ..., and `to` itself.
std::vector<std::uint32_t> coarse_trims(std::uint32_t from, std::uint32_t to, std::uint32_t step);
// The order the coarse pass measures them in: the middle trim, then the
// middles of the two halves, and so on (ends last). The lowest rate is soon
// among the trims measured wherever the ideal lies, and the trims far from
// it, which lose nearly every frame, are then decided worse within a few
// frames instead of being counted in full against one another.
std::vector<std::uint32_t> coarse_order(const std::vector<std::uint32_t> &trims);
// Every trim within `step` (at least kMinFineReach) of `centre` and inside
// the range, nearest first (centre, centre - 1, centre + 1, ...). The fine
// pass measures a window's trims nearest the best so far first.
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
// A point whose counts the fit and the best may use: measured to its end,
// not rejected, some frames counted.
bool usable(const TrimPoint &point);
// The usable points, one a trim (the counts of its readings summed), by trim.
std::vector<TrimPoint> pooled(const std::vector<TrimPoint> &points);

struct TrimBest {
    std::uint32_t trim = 0;
    // "fit" (the V's centre), "lowest", or "none": no trim measured is
    // clearly worse than the lowest, so there is no minimum to speak of.
    std::string method;
    std::optional<double> centre;  // the fitted centre, when fitted
    // Where the centre may lie, by the counts (fitted only): the centres
    // whose likelihood is within kCentreSigmas of the best one's.
    std::optional<double> centre_low;
    std::optional<double> centre_high;
    // The fitted V (fitted only): log-odds of the rate at the centre, and
    // their rise a trim step.
    std::optional<double> floor_logit;
    std::optional<double> slope;
};
constexpr double kCentreSigmas = 3.5;
// The best trim of the usable fine points (all points when there are no
// fine ones); nothing when no point counted a frame.
std::optional<TrimBest> best_trim(const std::vector<TrimPoint> &points);

// Fine points within this many steps of the best so far are measured to
// their end, not stopped early: the fit needs the V's sides next to it.
constexpr double kSideReach = 3;

// Frames per point of the coarse pass: enough to tell the V's sides apart.
constexpr std::uint64_t kCoarseFrames = 100;
// A reading of more than this many times the frames asked was read late.
constexpr std::uint64_t kOverlongFactor = 2;
// How often a late reading is measured again before it is left out.
constexpr int kRereads = 2;
// How often the trims around a centre not known to a step are measured again.
constexpr int kRefinements = 3;
// ... those within this many steps of where the best may lie: the V's sides
// there tell where its centre is.
constexpr double kRefineReach = 8;

// The early stop of a point. The point's counts are looked at when its
// frames reach the looks of a fixed schedule (kFirstLook, then 1.5 times as
// many each time, below the frames asked: K looks); at a look, Fisher's
// exact test of "its error rate is no higher than the best so far's" is
// refused at the level alpha / M, and the point is measured no further.
//
// alpha (kStopErrorRate) is the chance, over a whole search, that any point
// is stopped whose error rate is in truth no higher than the best's. M
// (kStopTests) is the number of such tests a search may make: a point
// spends K tests for every point of its pass that could have been the best
// so far (the best is the lowest of them, so its counts are the luckiest of
// several), and when the tests are spent the points are measured in full.
// By the union bound, the tests' chances of a wrong stop add up to at most
// alpha.
constexpr double kStopErrorRate = 1e-3;
constexpr std::uint64_t kStopTests = 10000;
constexpr std::uint64_t kFirstLook = 8;
constexpr double kLookGrowth = 1.5;
// The frames at which a point asked for `frames` is looked at: kFirstLook,
// each 1.5 times the one before (rounded up), below `frames`.
std::vector<std::uint64_t> look_schedule(std::uint64_t frames);
// Fisher's exact one-sided p-value of `point`'s error rate being no higher
// than `best`'s: given the errors of both together, the chance that `point`
// holds at least as many of them as it does. 1 when either counted nothing.
double fisher_worse(const TrimPoint &point, const TrimPoint &best);

class EarlyStop {
public:
    // Never stops: the point is measured in full.
    EarlyStop() = default;
    // Stops against `best` at any look of the schedule for `frames`, when
    // the p-value is at most `level`.
    EarlyStop(const TrimPoint &best, std::uint64_t frames, double level);
    // At a reading of the point's counts: true when this reading is a look
    // (the frames reached the next look) and its counts decide the point
    // worse than the best. A reading past several looks is one look.
    bool worse(const TrimPoint &now);
    // The frames of the next look (the reader's next reading is due then);
    // nothing when no look remains.
    std::optional<std::uint64_t> next_look() const;
    int looks_made() const { return looks_made_; }
    int looks_planned() const { return static_cast<int>(schedule_.size()); }
    const std::optional<TrimPoint> &best() const { return best_; }

private:
    std::optional<TrimPoint> best_;
    std::vector<std::uint64_t> schedule_;
    std::size_t next_ = 0;
    double level_ = 0;
    int looks_made_ = 0;
};

// Measures one point: the receiver at `trim` from zero counts until
// `frames` frames, or until `stop` says it is worse than the best so far.
// Nothing when the search must stop (a failed read, a signal).
using MeasureTrim =
    std::function<std::optional<TrimPoint>(std::uint32_t trim, std::uint64_t frames, EarlyStop &stop, bool fine)>;

struct TrimSearch {
    std::vector<TrimPoint> points;  // every point measured, in order
    std::optional<TrimBest> best;
    std::uint32_t window_from = 0;  // the fine pass's window at the end
    std::uint32_t window_to = 0;
    bool cut_short = false;         // a measurement was cut short
    std::uint64_t stop_tests = 0;   // the early stop's tests spent (at most kStopTests)
    std::string failure;            // why there is no trim to burn; empty when there is
};
// The search over from..to, `frames` frames a fine point.
TrimSearch search_trim(std::uint32_t from, std::uint32_t to, std::uint64_t frames, const MeasureTrim &measure);

}  // namespace deve::cli
