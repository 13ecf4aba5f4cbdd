// tx and rx: the dialog's TX ON / RX ON, a sample every second for the
// given time, then TX OFF / RX OFF, with the run's totals checked against
// the limits.
#include "runner.h"

#include "deve/operations.h"
#include "deve/text.h"

#include <cstdio>

namespace deve::cli {

namespace {

std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Six significant digits, no trailing zeros: "1.86667", "8".
std::string short_number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string padded(const std::string &text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

json::Object per_fields(const char *key, std::uint64_t errors, std::uint64_t frames) {
    json::Object o;
    const std::optional<double> per = per_percent(errors, frames);
    if (per) {
        o.add(key, *per);
    } else {
        o.add_null(key);
    }
    return o;
}

}  // namespace

void Runner::emit_limits(const std::vector<LimitCheck> &checks, bool complete, json::Object &fields) {
    json::Array list;
    for (const LimitCheck &c : checks) {
        json::Object o;
        o.add("name", c.name).add("relation", c.relation).add("limit", c.limit);
        if (c.value) {
            o.add("value", *c.value);
        } else {
            o.add_null("value");
        }
        o.add("unit", c.unit).add("pass", c.pass);
        list.push(o);
    }
    fields.add("limits", list).add("verdict", complete && all_pass(checks) ? "pass" : "fail");
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

std::optional<std::uint32_t> Runner::read_tx_frames() { return checked_tx_count(api_, radio_.mode); }

Outcome Runner::counter_failure(const char *which) {
    return error("link", std::string("the transport failed a read of the ") + which +
                             " counters: the run's counts are incomplete");
}

Outcome Runner::operator()(const TxCmd &cmd) {
    using Clock = std::chrono::steady_clock;
    out_.text("tx: " + operating_point() + ", PIT " + (cmd.pit == 0 ? std::string("built-in") : std::to_string(cmd.pit)) +
              ", " + std::to_string(cmd.seconds) + " s");
    out_.text("  second    frames  frames/s     total");
    tx_on(api_, radio_.band, cmd.pit, radio_.offset);
    const Clock::time_point start = Clock::now();
    const std::optional<std::uint32_t> first = read_tx_frames();
    bool read_failed = !first;
    TxTotals totals(first.value_or(0));
    Clock::time_point last = start;
    unsigned seconds_done = 0;
    for (unsigned s = 1; s <= cmd.seconds && !read_failed; ++s) {
        if (!wait_until(start + std::chrono::seconds(s))) {
            break;
        }
        const Clock::time_point now = Clock::now();
        const std::optional<std::uint32_t> count = read_tx_frames();
        if (!count) {
            read_failed = true;
            break;
        }
        const std::uint32_t sent = totals.add(*count);
        const double interval = std::chrono::duration<double>(now - last).count();
        last = now;
        const double fps = interval > 0 ? sent / interval : 0.0;
        seconds_done = s;
        out_.record("tx_sample",
                    json::Object(head())
                        .add("second", s)
                        .add("frames", sent)
                        .add("frames_per_second", fps)
                        .add("total_frames", totals.frames()),
                    json::Object().add("second", "s").add("frames", "frame").add("frames_per_second", "frame/s").add(
                        "total_frames", "frame"));
        out_.text(padded(std::to_string(s), 8) + padded(std::to_string(sent), 10) + padded(fixed(fps, 1), 10) +
                  padded(std::to_string(totals.frames()), 10));
    }
    tx_off(api_);
    const double elapsed = std::chrono::duration<double>(last - start).count();
    const std::optional<double> mean =
        elapsed > 0 ? std::optional<double>(static_cast<double>(totals.frames()) / elapsed) : std::nullopt;
    std::vector<LimitCheck> checks;
    if (cmd.min_frames) {
        checks.push_back(at_least("min-frames", static_cast<double>(*cmd.min_frames),
                                  static_cast<double>(totals.frames()), "frame"));
    }
    if (cmd.min_fps) {
        checks.push_back(at_least("min-fps", *cmd.min_fps, mean, "frame/s"));
    }
    const bool complete = seconds_done == cmd.seconds;
    json::Object fields = run_head();
    fields.add("pit", cmd.pit)
        .add("seconds", seconds_done)
        .add("elapsed", elapsed)
        .add("frames", totals.frames());
    if (mean) {
        fields.add("frames_per_second", *mean);
    } else {
        fields.add_null("frames_per_second");
    }
    fields.add("complete", complete);
    emit_limits(checks, complete, fields);
    out_.record("tx", fields,
                json::Object()
                    .add("seconds", "s")
                    .add("elapsed", "s")
                    .add("frames", "frame")
                    .add("frames_per_second", "frame/s")
                    .add("pit", "us"));
    out_.text("tx: " + std::to_string(totals.frames()) + " frames in " + fixed(elapsed, 2) + " s, " +
              (mean ? fixed(*mean, 1) : std::string("NA")) + " frames/s" + " -- " + limits_text(checks, complete));
    if (read_failed) {
        return counter_failure("transmit frame");
    }
    return complete && all_pass(checks) ? Outcome::Pass : Outcome::Fail;
}

Outcome Runner::operator()(const RxCmd &cmd) {
    using Clock = std::chrono::steady_clock;
    out_.text("rx: " + operating_point() + ", " + std::to_string(cmd.seconds) + " s");
    out_.text("  second  errors  frames     PER   total errors  total frames  total PER");
    rx_on(api_, radio_.band, radio_.mode, radio_.offset);
    const Clock::time_point start = Clock::now();
    RxTotals totals;
    unsigned seconds_done = 0;
    unsigned resets = 0;
    unsigned restarts = 0;
    bool read_failed = false;
    for (unsigned s = 1; s <= cmd.seconds; ++s) {
        if (!wait_until(start + std::chrono::seconds(s))) {
            break;
        }
        const std::optional<RxCounterReading> counts = checked_rx_counts(api_, radio_.mode);
        if (!counts) {
            read_failed = true;
            break;
        }
        const RxSample sample = totals.add(RxReading{counts->errors, counts->total, counts->reset});
        seconds_done = s;
        resets += counts->reset ? 1 : 0;
        restarts += sample.restarted ? 1 : 0;
        json::Object fields = head();
        fields.add("second", s)
            .add("errors", sample.errors)
            .add("frames", sample.frames)
            .merge(per_fields("per", sample.errors, sample.frames))
            .add("per_text", per_text(sample.errors, sample.frames))
            .add("total_errors", sample.total_errors)
            .add("total_frames", sample.total_frames)
            .merge(per_fields("total_per", sample.total_errors, sample.total_frames))
            .add("total_per_text", per_text(sample.total_errors, sample.total_frames))
            .add("counter_reset", counts->reset)
            .add("counter_restarted", sample.restarted);
        out_.record("rx_sample", fields,
                    json::Object()
                        .add("second", "s")
                        .add("errors", "frame")
                        .add("frames", "frame")
                        .add("per", "%")
                        .add("total_errors", "frame")
                        .add("total_frames", "frame")
                        .add("total_per", "%"));
        out_.text(padded(std::to_string(s), 8) + padded(std::to_string(sample.errors), 8) +
                  padded(std::to_string(sample.frames), 8) + padded(per_text(sample.errors, sample.frames), 8) +
                  padded(std::to_string(sample.total_errors), 15) + padded(std::to_string(sample.total_frames), 14) +
                  padded(per_text(sample.total_errors, sample.total_frames), 11));
    }
    rx_off(api_);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const std::optional<double> per = per_percent(totals.errors(), totals.frames());
    std::vector<LimitCheck> checks;
    if (cmd.max_per) {
        checks.push_back(at_most("max-per", *cmd.max_per, per, "%"));
    }
    if (cmd.min_frames) {
        checks.push_back(at_least("min-frames", static_cast<double>(*cmd.min_frames),
                                  static_cast<double>(totals.frames()), "frame"));
    }
    if (cmd.max_errors) {
        checks.push_back(at_most("max-errors", static_cast<double>(*cmd.max_errors),
                                 static_cast<double>(totals.errors()), "frame"));
    }
    const bool complete = seconds_done == cmd.seconds;
    json::Object fields = run_head();
    fields.add("seconds", seconds_done)
        .add("elapsed", elapsed)
        .add("errors", totals.errors())
        .add("frames", totals.frames())
        .merge(per_fields("per", totals.errors(), totals.frames()))
        .add("per_text", per_text(totals.errors(), totals.frames()))
        .add("counter_resets", resets)
        .add("counter_restarts", restarts)
        .add("complete", complete);
    emit_limits(checks, complete, fields);
    out_.record("rx", fields,
                json::Object()
                    .add("seconds", "s")
                    .add("elapsed", "s")
                    .add("errors", "frame")
                    .add("frames", "frame")
                    .add("per", "%"));
    out_.text("rx: " + std::to_string(totals.errors()) + " errors in " + std::to_string(totals.frames()) +
              " frames, PER " + per_text(totals.errors(), totals.frames()) + " -- " +
              limits_text(checks, complete));
    if (read_failed) {
        return counter_failure("receive frame");
    }
    return complete && all_pass(checks) ? Outcome::Pass : Outcome::Fail;
}

}  // namespace deve::cli
