// tx and rx: the dialog's TX ON / RX ON, a sample every second for the
// given time, then TX OFF / RX OFF, with the run's totals checked against
// the limits.
#include "runner.h"

#include "deve/operations.h"
#include "deve/text.h"

#include <algorithm>
#include <cstdio>

namespace deve::cli {

namespace {

std::string padded(const std::string &text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

ordered_json per_fields(const char *key, std::uint64_t errors, std::uint64_t frames) {
    return ordered_json{{key, per_percent(errors, frames)}};
}

}  // namespace

ordered_json limit_object(const LimitCheck &c) {
    ordered_json o = ordered_json::object();
    o.update({{"name", c.name}, {"relation", c.relation}, {"limit", c.limit}});
    o.update({{"value", c.value}, {"unit", c.unit}, {"source", c.source}, {"pass", c.pass}});
    return o;
}

std::optional<std::string> Runner::unjudged(const LimitSet *set, const std::vector<LimitCheck> &checks) const {
    if (!globals_.limits || set != nullptr || !checks.empty() || globals_.unjudged_ok) {
        return std::nullopt;
    }
    return "no limit set for " + std::string(kBandChoices.labels[radio_.band]) + " " + radio_.channel_label() + ", " +
           kModeChoices.labels[radio_.mode] + " " + radio_.rate;
}

std::optional<std::string> Runner::unreachable_set(const char *command, const std::optional<std::uint64_t> &frames,
                                                   const std::optional<std::uint64_t> &min_frames) const {
    const LimitSet *set = limit_set(command);
    if (set == nullptr || !frames || min_frames || !set->limits.min_frames || *set->limits.min_frames <= *frames) {
        return std::nullopt;
    }
    return unreachable_frames_text(*set, *set->limits.min_frames, *frames);
}

const LimitSet *Runner::limit_set(const char *command) const {
    return globals_.limits ? globals_.limits->find(command, radio_.band, radio_.channel_number(), radio_.mode,
                                                   radio_.rate)
                           : nullptr;
}

void Runner::emit_limits(const std::vector<LimitCheck> &checks, bool complete, const LimitSet *set,
                         ordered_json &fields) {
    ordered_json list = ordered_json::array();
    for (const LimitCheck &c : checks) {
        list.push_back(limit_object(c));
    }
    if (set != nullptr) {
        fields.update({{"limit_set", set->name}});
    } else {
        fields.update({{"limit_set", nullptr}});
    }
    fields.update({{"limits", list}, {"verdict", complete && all_pass(checks) ? "pass" : "fail"}});
}

std::string Runner::limits_text(const std::vector<LimitCheck> &checks, bool complete) const {
    if (checks.empty()) {
        return complete ? "PASS (no limits)" : "FAIL (cut short)";
    }
    std::string text = complete && all_pass(checks) ? "PASS" : "FAIL";
    for (const LimitCheck &c : checks) {
        text += std::string(&c == &checks.front() ? " (" : ", ") + c.name + " " + c.relation + " " +
                short_number(c.limit) + ": " + (c.value ? short_number(*c.value) : std::string("NA")) + " " +
                (c.pass ? "ok" : "failed");
    }
    return text + (complete ? "" : ", cut short") + ")";
}

std::string Runner::verdict_text(const std::vector<LimitCheck> &checks, bool complete,
                                 const std::optional<std::string> &unjudged_reason) const {
    if (unjudged_reason && complete && all_pass(checks)) {
        return "FAIL: " + *unjudged_reason + " (--unjudged-ok lets it pass unjudged)";
    }
    return limits_text(checks, complete);
}

Outcome Runner::judged(const std::vector<LimitCheck> &checks, bool complete, bool interrupted,
                       const std::optional<std::string> &unjudged_reason) {
    if (interrupted || !complete || !all_pass(checks)) {
        return fail(limits_text(checks, complete), checks, interrupted);
    }
    if (unjudged_reason) {
        return fail(*unjudged_reason);
    }
    return Outcome::Pass;
}

std::optional<std::uint32_t> Runner::read_tx_frames() { return checked_tx_count(api_, radio_.mode); }

Outcome Runner::counter_failure(const char *which) {
    return error("link", std::string("the transport failed a read of the ") + which +
                             " counters: the run's counts are incomplete");
}

namespace {

// The run's clock: a sample every whole second; with a frame count the
// counters are polled more often, so the run stops close to the count.
class RunClock {
public:
    using Clock = std::chrono::steady_clock;
    RunClock(unsigned seconds, bool polling) : seconds_(seconds), polling_(polling), start_(Clock::now()) {}

    Clock::time_point start() const { return start_; }
    // When to read the counters next.
    Clock::time_point next_reading() const {
        const Clock::time_point sample = start_ + std::chrono::seconds(second_);
        return polling_ ? std::min(sample, Clock::now() + kFramePoll) : sample;
    }
    // The ordinal of the second under way (1 = the first).
    unsigned second() const { return second_; }
    // Whether the second under way is over; moves on to the next one.
    bool second_over() {
        if (Clock::now() < start_ + std::chrono::seconds(second_)) {
            return false;
        }
        ++second_;
        return true;
    }
    // The run's time has run out (after second_over of the last second).
    bool time_up() const { return second_ > seconds_; }

private:
    static constexpr std::chrono::milliseconds kFramePoll{20};
    unsigned seconds_;
    bool polling_;
    Clock::time_point start_;
    unsigned second_ = 1;
};

const char *ended_by_text(bool interrupted, bool frames_reached) {
    return interrupted ? "interrupted" : frames_reached ? "frames" : "seconds";
}

}  // namespace

Outcome Runner::operator()(const TxCmd &cmd) {
    if (const std::optional<Outcome> refused = refuse_uncalibrated()) {
        return *refused;
    }
    if (const std::optional<std::string> refusal = unreachable_set("tx", cmd.frames, cmd.min_frames)) {
        return error("refused", *refusal);
    }
    using Clock = std::chrono::steady_clock;
    const std::string length = cmd.frames ? std::to_string(*cmd.frames) + " frames, at most " +
                                                std::to_string(cmd.seconds) + " s"
                                          : std::to_string(cmd.seconds) + " s";
    out_.text("tx: " + operating_point() + ", PIT " + (cmd.pit == 0 ? std::string("built-in") : std::to_string(cmd.pit)) +
              ", " + length);
    out_.text("  second    frames  frames/s     total");
    tx_on(api_, radio_.band, cmd.pit, radio_.offset);
    RunClock clock(cmd.seconds, cmd.frames.has_value());
    const std::optional<std::uint32_t> first = read_tx_frames();
    bool read_failed = !first;
    bool interrupted = false;
    bool frames_reached = false;
    TxTotals totals(first.value_or(0));
    Clock::time_point last = clock.start();
    Clock::time_point last_sample = clock.start();
    std::uint64_t sampled = 0;  // frames reported in samples so far
    auto sample = [&](unsigned second, Clock::time_point now) {
        const std::uint64_t sent = totals.frames() - sampled;
        sampled = totals.frames();
        const double interval = std::chrono::duration<double>(now - last_sample).count();
        last_sample = now;
        const double fps = interval > 0 ? static_cast<double>(sent) / interval : 0.0;
        out_.record("tx_sample",
                    merged(head(), {{"second", second}, {"frames", sent}, {"frames_per_second", fps}, {"total_frames", totals.frames()}}),
                    ordered_json{{"second", "s"}, {"frames", "frame"}, {"frames_per_second", "frame/s"}, {"total_frames", "frame"}});
        out_.text(padded(std::to_string(second), 8) + padded(std::to_string(sent), 10) + padded(fixed(fps, 1), 10) +
                  padded(std::to_string(totals.frames()), 10));
    };
    while (!read_failed && !clock.time_up()) {
        if (!wait_until(clock.next_reading())) {
            interrupted = true;
            break;
        }
        const std::optional<std::uint32_t> count = read_tx_frames();
        if (!count) {
            read_failed = true;
            break;
        }
        last = Clock::now();
        totals.add(*count);
        frames_reached = cmd.frames && totals.frames() >= *cmd.frames;
        const unsigned second = clock.second();
        if (clock.second_over() || frames_reached) {
            sample(second, last);
        }
        if (frames_reached) {
            break;
        }
    }
    tx_off(api_);
    const double elapsed = std::chrono::duration<double>(last - clock.start()).count();
    const std::optional<double> mean =
        elapsed > 0 ? std::optional<double>(static_cast<double>(totals.frames()) / elapsed) : std::nullopt;
    const LimitSet *set = limit_set("tx");
    std::vector<LimitCheck> checks;
    if (const auto min_frames = limit_of(cmd.min_frames, set, &LimitValues::min_frames)) {
        checks.push_back(with_source(at_least("min-frames", static_cast<double>(*min_frames),
                                       static_cast<double>(totals.frames()), "frame"),
                              cmd.min_frames, set));
    }
    if (const auto min_fps = limit_of(cmd.min_fps, set, &LimitValues::min_fps)) {
        checks.push_back(with_source(at_least("min-fps", *min_fps, mean, "frame/s"), cmd.min_fps, set));
    }
    const bool complete = !read_failed && (cmd.frames ? frames_reached : !interrupted && clock.time_up());
    ordered_json fields = run_head();
    fields.update({{"pit", cmd.pit}, {"seconds", clock.second() - 1}, {"elapsed", elapsed}, {"frames", totals.frames()}});
    fields.update({{"frames_per_second", mean}, {"frames_wanted", cmd.frames}});
    fields.update({{"ended_by", ended_by_text(interrupted || read_failed, frames_reached)}, {"complete", complete}});
    const std::optional<std::string> unjudged_reason = unjudged(set, checks);
    emit_limits(checks, complete && !unjudged_reason, set, fields);
    out_.record("tx", fields,
                merged(operating_point_units(), {{"seconds", "s"}, {"elapsed", "s"}, {"frames", "frame"}, {"frames_per_second", "frame/s"}, {"frames_wanted", "frame"}, {"pit", "us"}}));
    out_.text("tx: " + std::to_string(totals.frames()) + " frames in " + fixed(elapsed, 2) + " s, " +
              (mean ? fixed(*mean, 1) : std::string("NA")) + " frames/s" + " -- " + verdict_text(checks, complete, unjudged_reason) +
              (set != nullptr ? " [limit set " + set->name + "]" : ""));
    if (read_failed) {
        return counter_failure("transmit frame");
    }
    return judged(checks, complete, interrupted, unjudged_reason);
}

Outcome Runner::operator()(const RxCmd &cmd) {
    if (const std::optional<Outcome> refused = refuse_uncalibrated()) {
        return *refused;
    }
    if (const std::optional<std::string> refusal = unreachable_set("rx", cmd.frames, cmd.min_frames)) {
        return error("refused", *refusal);
    }
    using Clock = std::chrono::steady_clock;
    const std::string length = cmd.frames ? std::to_string(*cmd.frames) + " frames, at most " +
                                                std::to_string(cmd.seconds) + " s"
                                          : std::to_string(cmd.seconds) + " s";
    out_.text("rx: " + operating_point() + ", " + length);
    out_.text("  second  errors  frames     PER   total errors  total frames  total PER");
    rx_on(api_, radio_.band, radio_.mode, radio_.offset);
    RunClock clock(cmd.seconds, cmd.frames.has_value());
    RxTotals totals;
    unsigned resets = 0;
    unsigned restarts = 0;
    bool read_failed = false;
    bool interrupted = false;
    bool frames_reached = false;
    // What the samples have reported so far, and what happened in the second under way.
    std::uint64_t sampled_errors = 0;
    std::uint64_t sampled_frames = 0;
    bool reset_in_second = false;
    bool restart_in_second = false;
    auto sample = [&](unsigned second) {
        const std::uint64_t errors = totals.errors() - sampled_errors;
        const std::uint64_t frames = totals.frames() - sampled_frames;
        sampled_errors = totals.errors();
        sampled_frames = totals.frames();
        ordered_json fields = head();
        fields.update({{"second", second}, {"errors", errors}, {"frames", frames}});
        fields.update(per_fields("per", errors, frames));
        fields.update({{"per_text", per_text(errors, frames)}, {"total_errors", totals.errors()}, {"total_frames", totals.frames()}});
        fields.update(per_fields("total_per", totals.errors(), totals.frames()));
        fields.update({{"total_per_text", per_text(totals.errors(), totals.frames())}, {"counter_reset", reset_in_second}, {"counter_restarted", restart_in_second}});
        reset_in_second = restart_in_second = false;
        out_.record("rx_sample", fields,
                    ordered_json{{"second", "s"}, {"errors", "frame"}, {"frames", "frame"}, {"per", "%"}, {"total_errors", "frame"}, {"total_frames", "frame"}, {"total_per", "%"}});
        out_.text(padded(std::to_string(second), 8) + padded(std::to_string(errors), 8) +
                  padded(std::to_string(frames), 8) + padded(per_text(errors, frames), 8) +
                  padded(std::to_string(totals.errors()), 15) + padded(std::to_string(totals.frames()), 14) +
                  padded(per_text(totals.errors(), totals.frames()), 11));
    };
    while (!clock.time_up()) {
        if (!wait_until(clock.next_reading())) {
            interrupted = true;
            break;
        }
        const std::optional<RxReading> counts = checked_rx_counts(api_, radio_.mode);
        if (!counts) {
            read_failed = true;
            break;
        }
        const RxStep reading = totals.add(*counts);
        resets += counts->reset ? 1 : 0;
        restarts += reading.restarted ? 1 : 0;
        reset_in_second = reset_in_second || counts->reset;
        restart_in_second = restart_in_second || reading.restarted;
        frames_reached = cmd.frames && totals.frames() >= *cmd.frames;
        const unsigned second = clock.second();
        if (clock.second_over() || frames_reached) {
            sample(second);
        }
        if (frames_reached) {
            break;
        }
    }
    rx_off(api_);
    const double elapsed = std::chrono::duration<double>(Clock::now() - clock.start()).count();
    const std::optional<double> per = per_percent(totals.errors(), totals.frames());
    const LimitSet *set = limit_set("rx");
    std::vector<LimitCheck> checks;
    if (const auto max_per = limit_of(cmd.max_per, set, &LimitValues::max_per)) {
        checks.push_back(with_source(at_most("max-per", *max_per, per, "%"), cmd.max_per, set));
    }
    if (const auto min_frames = limit_of(cmd.min_frames, set, &LimitValues::min_frames)) {
        checks.push_back(with_source(at_least("min-frames", static_cast<double>(*min_frames),
                                       static_cast<double>(totals.frames()), "frame"),
                              cmd.min_frames, set));
    }
    if (const auto max_errors = limit_of(cmd.max_errors, set, &LimitValues::max_errors)) {
        checks.push_back(with_source(at_most("max-errors", static_cast<double>(*max_errors),
                                      static_cast<double>(totals.errors()), "frame"),
                              cmd.max_errors, set));
    }
    const bool complete = !read_failed && (cmd.frames ? frames_reached : !interrupted && clock.time_up());
    ordered_json fields = run_head();
    fields.update({{"seconds", clock.second() - 1}, {"elapsed", elapsed}, {"errors", totals.errors()}, {"frames", totals.frames()}});
    fields.update(per_fields("per", totals.errors(), totals.frames()));
    fields.update({{"per_text", per_text(totals.errors(), totals.frames())}, {"counter_resets", resets}, {"counter_restarts", restarts}, {"frames_wanted", cmd.frames}});
    fields.update({{"ended_by", ended_by_text(interrupted || read_failed, frames_reached)}, {"complete", complete}});
    const std::optional<std::string> unjudged_reason = unjudged(set, checks);
    emit_limits(checks, complete && !unjudged_reason, set, fields);
    out_.record("rx", fields,
                merged(operating_point_units(), {{"seconds", "s"}, {"elapsed", "s"}, {"errors", "frame"}, {"frames", "frame"}, {"frames_wanted", "frame"}, {"per", "%"}}));
    out_.text("rx: " + std::to_string(totals.errors()) + " errors in " + std::to_string(totals.frames()) +
              " frames, PER " + per_text(totals.errors(), totals.frames()) + " -- " +
              verdict_text(checks, complete, unjudged_reason) +
              (set != nullptr ? " [limit set " + set->name + "]" : ""));
    if (read_failed) {
        return counter_failure("receive frame");
    }
    return judged(checks, complete, interrupted, unjudged_reason);
}

}  // namespace deve::cli
