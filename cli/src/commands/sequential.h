// Sequential tests of tx and rx: a run stops as soon as its counts decide the
// limit at the stated error rates, instead of counting to a fixed number of
// frames.
//
// The method is Wald's sequential probability ratio test (SPRT) with an
// indifference zone, truncated at the run's maximum frames:
//
//   rx, packet error rate at most a limit L (%), zone Z:
//     the bad hypothesis p1 = L / 100, the good one p0 = (L - Z) / 100;
//     after n frames with k in error
//       LLR = k ln(p1 / p0) + (n - k) ln((1 - p1) / (1 - p0));
//   tx, frame rate at least a limit L (frame/s), zone Z, frames as a Poisson
//   count over the run's time t:
//     the bad hypothesis r1 = L, the good one r0 = L + Z;
//       LLR = n ln(r1 / r0) - (r1 - r0) t.
//
//   With a = false-fail (the chance of failing a board at the good
//   hypothesis) and b = false-pass (the chance of passing a board at the
//   limit), a look decides
//     fail when LLR >= ln((1 - b) / a),
//     pass when LLR <= ln(b / (1 - a)),
//   and nothing before the run's first decision frames. Wald's bounds hold
//   whatever the looks are, so the counters can be looked at as often as the
//   run reads them: the error rates at the hypotheses are at most a and b
//   (less, by the overshoot of a look past a bound), and smaller still for a
//   board further from the limit. A run that reaches its maximum frames
//   undecided is judged as a fixed-count run is; the maximum is chosen so
//   that this is rare (see docs/deve-cli.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace deve::cli {

// What a limit set or the command line asks of a sequential test; what is
// not given takes its default (kSequentialDefaults).
struct SequentialPlan {
    std::optional<double> false_pass;          // %, at the limit
    std::optional<double> false_fail;          // %, at the limit minus the zone
    std::optional<double> zone;                // in the limit's unit
    std::optional<std::uint64_t> decide_after; // frames before the first decision
    std::optional<std::uint64_t> max_frames;   // frames at which the run stops undecided
};

struct SequentialDefaults {
    double false_pass;    // %
    double false_fail;    // %
    double zone_of_limit; // the zone, as a share of the limit
    std::uint64_t decide_after;
    std::uint64_t max_frames;
};
constexpr SequentialDefaults kSequentialDefaults{5.0, 0.1, 0.5, 100, 2000};

// The plan's values, the command line's over the set's.
SequentialPlan overlaid(const SequentialPlan &option, const SequentialPlan &set);
// Whether the command line asked anything of a sequential test.
bool any_given(const SequentialPlan &plan);

enum class Decision { Undecided, Pass, Fail };
const char *decision_text(Decision d); // "decided pass", "decided fail", "undecided"

// The test of a limit, ready to look at counts.
class SequentialTest {
public:
    enum class Kind {
        ErrorRate, // errors of frames, at most the limit (%)
        FrameRate, // frames over seconds, at least the limit (frame/s)
    };
    // The test of `limit` under `plan` (defaults filled in), or the reason it
    // cannot be formed (a limit of 0 % or 100 %, a zone that reaches past the
    // limit, error rates outside 0 to 50 %).
    struct Made;
    static Made make(Kind kind, double limit, const SequentialPlan &plan);

    Kind kind() const { return kind_; }
    double limit() const { return limit_; }
    double zone() const { return zone_; }
    double false_pass() const { return false_pass_; } // %
    double false_fail() const { return false_fail_; } // %
    std::uint64_t decide_after() const { return decide_after_; }
    // The good and the bad hypotheses, in the limit's unit.
    double good() const { return good_; }
    double bad() const { return bad_; }
    double pass_bound() const { return pass_bound_; } // ln(b / (1 - a))
    double fail_bound() const { return fail_bound_; } // ln((1 - b) / a)

    // The log-likelihood ratio of the bad hypothesis over the good one: for
    // ErrorRate `count` errors of `frames` frames; for FrameRate `count`
    // frames in `seconds`.
    double llr(std::uint64_t count, std::uint64_t frames, double seconds) const;
    // What a look at the counts decides.
    Decision look(std::uint64_t count, std::uint64_t frames, double seconds) const;

private:
    Kind kind_ = Kind::ErrorRate;
    double limit_ = 0;
    double zone_ = 0;
    double false_pass_ = 0;
    double false_fail_ = 0;
    std::uint64_t decide_after_ = 0;
    double good_ = 0;
    double bad_ = 0;
    double pass_bound_ = 0;
    double fail_bound_ = 0;
    double per_event_ = 0; // LLR added by an error (ErrorRate) or a frame (FrameRate)
    double per_other_ = 0; // by a frame received well (ErrorRate) or a second (FrameRate)
};

struct SequentialTest::Made {
    std::optional<SequentialTest> test;
    std::string reason;
};

} // namespace deve::cli
