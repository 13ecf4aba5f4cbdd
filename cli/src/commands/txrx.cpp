// tx and rx: the dialog's TX ON / RX ON, a sample every second for the
// given time, then TX OFF / RX OFF, with the run's totals checked against
// the limits. A run stops early at a frame count, or, with the sequential
// test (sequential.h), as soon as its counts decide its limit.
#include "runner.h"

#include "deve/operations.h"
#include "deve/text.h"

#include "sequential.h"

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

// How a tx or rx run stops: at a fixed count of frames (or its seconds), or
// by the sequential test of its limit, at most at the test's maximum frames.
struct RunPlan {
    std::optional<SequentialTest> test;
    std::optional<std::uint64_t> stop_frames;
    std::string refusal;  // a sequential test that cannot be formed
};

RunPlan plan_run(const SequentialChoice &choice, const std::optional<std::uint64_t> &frames, const LimitSet *set,
                 const std::optional<double> &limit, SequentialTest::Kind kind, const char *command) {
    RunPlan plan;
    const bool set_sequential = set != nullptr && set->sequential.has_value();
    if (choice.fixed || !(choice.sequential || set_sequential)) {
        plan.stop_frames = frames;
        return plan;
    }
    const SequentialPlan wanted = overlaid(choice.plan, set_sequential ? *set->sequential : SequentialPlan{});
    const char *limit_name = kind == SequentialTest::Kind::ErrorRate ? "max-per" : "min-fps";
    const std::string chosen_by = choice.sequential ? "--sequential" : "limit set \"" + excerpt(set->name) + "\"";
    if (!limit) {
        plan.refusal = chosen_by + " asks for the sequential test, which decides a " + limit_name + " limit, and this " +
                       command + " has none (give --" + limit_name + ", or --fixed for a fixed count)";
        return plan;
    }
    SequentialTest::Made made = SequentialTest::make(kind, *limit, wanted);
    if (!made.test) {
        plan.refusal = chosen_by + ": " + made.reason;
        return plan;
    }
    plan.test = made.test;
    plan.stop_frames = wanted.max_frames ? wanted.max_frames
                                         : frames ? frames : std::optional<std::uint64_t>(kSequentialDefaults.max_frames);
    if (*plan.stop_frames < plan.test->decide_after()) {
        plan.refusal = chosen_by + ": the sequential test decides after " + std::to_string(plan.test->decide_after()) +
                       " frames, and the run stops at " + std::to_string(*plan.stop_frames);
        plan.test.reset();
    }
    return plan;
}

// The record's account of the sequential test, or null for a fixed run.
ordered_json sequential_fields(const RunPlan &plan, Decision decision, double llr) {
    if (!plan.test) {
        return nullptr;
    }
    const SequentialTest &t = *plan.test;
    ordered_json o = ordered_json::object();
    o.update({{"method", "SPRT"}, {"false_pass", t.false_pass()}, {"false_fail", t.false_fail()}, {"zone", t.zone()}});
    o.update({{"good", t.good()}, {"bad", t.bad()}, {"decide_after", t.decide_after()}, {"max_frames", *plan.stop_frames}});
    o.update({{"llr", llr}, {"pass_bound", t.pass_bound()}, {"fail_bound", t.fail_bound()}, {"decision", decision_text(decision)}});
    return o;
}

// How the run ended, for the record and the store: "decided pass",
// "decided fail", "maximum" (a sequential run that reached its maximum
// frames or seconds undecided, or was cut short), or "fixed".
const char *ending_text(const RunPlan &plan, Decision decision) {
    return !plan.test ? "fixed" : decision != Decision::Undecided ? decision_text(decision) : "maximum";
}

// The limit the sequential test decided: its verdict is the decision's.
void apply_decision(std::vector<LimitCheck> &checks, const char *name, Decision decision) {
    for (LimitCheck &c : checks) {
        if (c.name == name && decision != Decision::Undecided) {
            c.pass = decision == Decision::Pass;
        }
    }
}

std::string sequential_text(const RunPlan &plan, const char *limit_name, const char *unit) {
    const SequentialTest &t = *plan.test;
    return "sequential test of " + std::string(limit_name) + " " + short_number(t.limit()) + unit + " (zone " +
           short_number(t.zone()) + unit + ", false pass " + short_number(t.false_pass()) + " %, false fail " +
           short_number(t.false_fail()) + " %), " + std::to_string(t.decide_after()) + " to " +
           std::to_string(*plan.stop_frames) + " frames";
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

const char *ended_by_text(bool interrupted, bool frames_reached, bool decided) {
    return interrupted ? "interrupted" : decided ? "decided" : frames_reached ? "frames" : "seconds";
}

}  // namespace

Outcome Runner::operator()(const TxCmd &cmd) {
    if (const std::optional<Outcome> refused = refuse_uncalibrated()) {
        return *refused;
    }
    const LimitSet *set = limit_set("tx");
    const RunPlan plan = plan_run(cmd.test, cmd.frames, set, limit_of(cmd.min_fps, set, &LimitValues::min_fps),
                                  SequentialTest::Kind::FrameRate, "tx");
    if (!plan.refusal.empty()) {
        return error("refused", plan.refusal);
    }
    if (const std::optional<std::string> refusal = unreachable_set("tx", plan.stop_frames, cmd.min_frames)) {
        return error("refused", *refusal);
    }
    using Clock = std::chrono::steady_clock;
    const std::string length = plan.test ? sequential_text(plan, "min-fps", " frame/s") + ", at most " +
                                               std::to_string(cmd.seconds) + " s"
                               : cmd.frames ? std::to_string(*cmd.frames) + " frames, at most " +
                                                  std::to_string(cmd.seconds) + " s"
                                            : std::to_string(cmd.seconds) + " s";
    out_.text("tx: " + operating_point() + ", PIT " + (cmd.pit == 0 ? std::string("built-in") : std::to_string(cmd.pit)) +
              ", " + length);
    out_.text("  second    frames  frames/s     total");
    tx_on(api_, radio_.band, cmd.pit, radio_.offset);
    RunClock clock(cmd.seconds, plan.stop_frames.has_value());
    const std::optional<std::uint32_t> first = read_tx_frames();
    bool read_failed = !first;
    bool interrupted = false;
    bool frames_reached = false;
    Decision decision = Decision::Undecided;
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
        frames_reached = plan.stop_frames && totals.frames() >= *plan.stop_frames;
        if (plan.test) {
            decision = plan.test->look(totals.frames(), totals.frames(),
                                       std::chrono::duration<double>(last - clock.start()).count());
        }
        const bool stop = frames_reached || decision != Decision::Undecided;
        const unsigned second = clock.second();
        if (clock.second_over() || stop) {
            sample(second, last);
        }
        if (stop) {
            break;
        }
    }
    tx_off(api_);
    const double elapsed = std::chrono::duration<double>(last - clock.start()).count();
    const std::optional<double> mean =
        elapsed > 0 ? std::optional<double>(static_cast<double>(totals.frames()) / elapsed) : std::nullopt;
    const bool decided = decision != Decision::Undecided;
    std::vector<LimitCheck> checks;
    // A decided run used the frames its decision needed: min-frames bounds
    // the fixed counts, and the runs that end undecided.
    const auto min_frames_limit = limit_of(cmd.min_frames, set, &LimitValues::min_frames);
    if (const auto min_frames = decided ? std::nullopt : min_frames_limit) {
        checks.push_back(with_source(at_least("min-frames", static_cast<double>(*min_frames),
                                       static_cast<double>(totals.frames()), "frame"),
                              cmd.min_frames, set));
    }
    if (const auto min_fps = limit_of(cmd.min_fps, set, &LimitValues::min_fps)) {
        checks.push_back(with_source(at_least("min-fps", *min_fps, mean, "frame/s"), cmd.min_fps, set));
    }
    apply_decision(checks, "min-fps", decision);
    const bool complete =
        !read_failed && (decided || (plan.stop_frames ? frames_reached : !interrupted && clock.time_up()));
    ordered_json fields = run_head();
    fields.update({{"pit", cmd.pit}, {"seconds", clock.second() - 1}, {"elapsed", elapsed}, {"frames", totals.frames()}});
    fields.update({{"frames_per_second", mean}, {"frames_wanted", cmd.frames}});
    fields.update({{"ended_by", ended_by_text(interrupted || read_failed, frames_reached, decided)}, {"complete", complete}});
    fields.update({{"ending", ending_text(plan, decision)}, {"sequential", sequential_fields(plan, decision, plan.test ? plan.test->llr(totals.frames(), totals.frames(), elapsed) : 0.0)}});
    const std::optional<std::string> unjudged_reason = unjudged(set, checks);
    emit_limits(checks, complete && !unjudged_reason, set, fields);
    out_.record("tx", fields,
                merged(operating_point_units(), {{"seconds", "s"}, {"elapsed", "s"}, {"frames", "frame"}, {"frames_per_second", "frame/s"}, {"frames_wanted", "frame"}, {"pit", "us"}}));
    out_.text("tx: " + std::to_string(totals.frames()) + " frames in " + fixed(elapsed, 2) + " s, " +
              (mean ? fixed(*mean, 1) : std::string("NA")) + " frames/s" +
              (plan.test ? std::string(", ") + ending_text(plan, decision) : std::string()) + " -- " +
              verdict_text(checks, complete, unjudged_reason) +
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
    const LimitSet *set = limit_set("rx");
    const RunPlan plan = plan_run(cmd.test, cmd.frames, set, limit_of(cmd.max_per, set, &LimitValues::max_per),
                                  SequentialTest::Kind::ErrorRate, "rx");
    if (!plan.refusal.empty()) {
        return error("refused", plan.refusal);
    }
    if (const std::optional<std::string> refusal = unreachable_set("rx", plan.stop_frames, cmd.min_frames)) {
        return error("refused", *refusal);
    }
    using Clock = std::chrono::steady_clock;
    const std::string length = plan.test ? sequential_text(plan, "max-per", " %") + ", at most " +
                                               std::to_string(cmd.seconds) + " s"
                               : cmd.frames ? std::to_string(*cmd.frames) + " frames, at most " +
                                                  std::to_string(cmd.seconds) + " s"
                                            : std::to_string(cmd.seconds) + " s";
    out_.text("rx: " + operating_point() + ", " + length);
    out_.text("  second  errors  frames     PER   total errors  total frames  total PER");
    rx_on(api_, radio_.band, radio_.mode, radio_.offset);
    RunClock clock(cmd.seconds, plan.stop_frames.has_value());
    RxTotals totals;
    Decision decision = Decision::Undecided;
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
        frames_reached = plan.stop_frames && totals.frames() >= *plan.stop_frames;
        if (plan.test) {
            decision = plan.test->look(totals.errors(), totals.frames(), 0);
        }
        const bool stop = frames_reached || decision != Decision::Undecided;
        const unsigned second = clock.second();
        if (clock.second_over() || stop) {
            sample(second);
        }
        if (stop) {
            break;
        }
    }
    rx_off(api_);
    const double elapsed = std::chrono::duration<double>(Clock::now() - clock.start()).count();
    const std::optional<double> per = per_percent(totals.errors(), totals.frames());
    const bool decided = decision != Decision::Undecided;
    std::vector<LimitCheck> checks;
    if (const auto max_per = limit_of(cmd.max_per, set, &LimitValues::max_per)) {
        checks.push_back(with_source(at_most("max-per", *max_per, per, "%"), cmd.max_per, set));
    }
    apply_decision(checks, "max-per", decision);
    // A decided run used the frames its decision needed: min-frames bounds
    // the fixed counts, and the runs that end undecided.
    const auto min_frames_limit = limit_of(cmd.min_frames, set, &LimitValues::min_frames);
    if (const auto min_frames = decided ? std::nullopt : min_frames_limit) {
        checks.push_back(with_source(at_least("min-frames", static_cast<double>(*min_frames),
                                       static_cast<double>(totals.frames()), "frame"),
                              cmd.min_frames, set));
    }
    if (const auto max_errors = limit_of(cmd.max_errors, set, &LimitValues::max_errors)) {
        checks.push_back(with_source(at_most("max-errors", static_cast<double>(*max_errors),
                                      static_cast<double>(totals.errors()), "frame"),
                              cmd.max_errors, set));
    }
    const bool complete =
        !read_failed && (decided || (plan.stop_frames ? frames_reached : !interrupted && clock.time_up()));
    ordered_json fields = run_head();
    fields.update({{"seconds", clock.second() - 1}, {"elapsed", elapsed}, {"errors", totals.errors()}, {"frames", totals.frames()}});
    fields.update(per_fields("per", totals.errors(), totals.frames()));
    fields.update({{"per_text", per_text(totals.errors(), totals.frames())}, {"counter_resets", resets}, {"counter_restarts", restarts}, {"frames_wanted", cmd.frames}});
    fields.update({{"ended_by", ended_by_text(interrupted || read_failed, frames_reached, decided)}, {"complete", complete}});
    fields.update({{"ending", ending_text(plan, decision)}, {"sequential", sequential_fields(plan, decision, plan.test ? plan.test->llr(totals.errors(), totals.frames(), 0) : 0.0)}});
    const std::optional<std::string> unjudged_reason = unjudged(set, checks);
    emit_limits(checks, complete && !unjudged_reason, set, fields);
    out_.record("rx", fields,
                merged(operating_point_units(), {{"seconds", "s"}, {"elapsed", "s"}, {"errors", "frame"}, {"frames", "frame"}, {"frames_wanted", "frame"}, {"per", "%"}}));
    out_.text("rx: " + std::to_string(totals.errors()) + " errors in " + std::to_string(totals.frames()) +
              " frames, PER " + per_text(totals.errors(), totals.frames()) +
              (plan.test ? std::string(", ") + ending_text(plan, decision) : std::string()) + " -- " +
              verdict_text(checks, complete, unjudged_reason) +
              (set != nullptr ? " [limit set " + set->name + "]" : ""));
    if (read_failed) {
        return counter_failure("receive frame");
    }
    return judged(checks, complete, interrupted, unjudged_reason);
}

}  // namespace deve::cli
