// trim find: the frequency-offset trim with the lowest receive error rate,
// by a coarse pass over the range and a fine pass around its best; with
// --burn the best trim is burnt as efuse burn Freq_offset burns it.
#include "runner.h"

#include "deve/efuse_burn.h"
#include "deve/operations.h"
#include "deve/registers.h"
#include "deve/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace deve::cli {

namespace {

using Clock = std::chrono::steady_clock;

// How often a point's counters are read at most (the first reading comes
// sooner, and the later ones when the frames asked for should be in), and
// how long a point may take.
constexpr std::chrono::milliseconds kTrimPoll{20};
constexpr std::chrono::milliseconds kFirstTrimPoll{5};
constexpr std::chrono::milliseconds kShortestTrimPoll{1};
constexpr std::chrono::seconds kPointTimeLimit{2};

std::string per_of(const TrimPoint &p) { return per_text(p.errors, p.frames); }

}  // namespace

bool Runner::stop_rx_counting() {
    const std::uint32_t control = radio_.mode == kMode11b ? reg::ADR_RX_11B_CONTROL : reg::ADR_RX_OFDM_CONTROL;
    const std::optional<std::uint32_t> word = checked_register_read(api_, control);
    return word && checked_register_write(api_, control, *word & reg::RG_RX_COUNT_ENABLE.keep());
}

std::optional<TrimPoint> Runner::measure_trim(std::uint32_t trim, std::uint64_t frames, EarlyStop &stop, bool fine,
                                              bool &read_failed) {
    api_.rf_freq_offset(static_cast<std::int32_t>(trim));
    api_.rf_rxpkt_reset(radio_.mode);  // the counts start from zero at this trim
    TrimPoint point;
    point.trim = trim;
    point.fine = fine;
    RxTotals totals;
    const auto read = [&] {
        const std::optional<RxReading> counts = checked_rx_counts(api_, radio_.mode);
        if (counts) {
            totals.add(*counts);
            point.errors = totals.errors();
            point.frames = totals.frames();
        }
        return counts.has_value();
    };
    const Clock::time_point start = Clock::now();
    Clock::duration wait = kFirstTrimPoll;
    while (point.frames < frames && Clock::now() - start < kPointTimeLimit) {
        if (!wait_until(Clock::now() + wait)) {
            return std::nullopt;
        }
        // The errors are read before the total, so while frames come in
        // the rate read is if anything too low: a point is never stopped
        // for a rate it did not have.
        if (!read()) {
            read_failed = true;
            return std::nullopt;
        }
        if (stop.worse(point)) {
            point.stopped_early = true;
            break;
        }
        // The next reading when the frames of the next look, or else those
        // still wanted, should be in, at the rate they came so far.
        const std::uint64_t target = std::min(frames, stop.next_look().value_or(frames));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double per_second = static_cast<double>(point.frames) / seconds;
        const double missing = static_cast<double>(target - std::min(target, point.frames));
        const std::chrono::duration<double> due(per_second > 0 ? missing / per_second : 1.0);
        wait = std::clamp<Clock::duration>(std::chrono::duration_cast<Clock::duration>(due), kShortestTrimPoll,
                                           kTrimPoll);
    }
    // The point's counts are those of the stopped block: its errors and
    // its total count the same frames.
    if (!stop_rx_counting() || !read()) {
        read_failed = true;
        return std::nullopt;
    }
    return point;
}

Outcome Runner::operator()(const TrimFindCmd &cmd) {
    const TunePlan plan = plan_tune(cmd.tune, radio_);
    if (!plan.error.empty()) {
        return error("refused", plan.error);
    }
    if (const std::optional<Outcome> refused = refuse_uncalibrated()) {
        return *refused;
    }
    apply_plan(plan);
    const std::uint32_t offset_before = radio_.offset;
    const std::uint32_t step = coarse_step(cmd.from, cmd.to);
    out_.text("trim find: " + operating_point() + "; trims " + std::to_string(cmd.from) + "-" + std::to_string(cmd.to) +
              ", coarse step " + std::to_string(step) + ", " + std::to_string(cmd.frames) + " frames a fine point");
    out_.text("  pass     trim  errors  frames     PER");
    const Clock::time_point start = Clock::now();
    rx_on(api_, radio_.band, radio_.mode, cmd.from);

    bool read_failed = false;
    const TrimSearch search =
        search_trim(cmd.from, cmd.to, cmd.frames,
                    [&](std::uint32_t trim, std::uint64_t frames, EarlyStop &stop, bool fine) {
                        const std::optional<TrimPoint> point = measure_trim(trim, frames, stop, fine, read_failed);
                        if (point) {
                            char line[96];
                            std::snprintf(line, sizeof line, "  %-6s %5u %7llu %7llu %7s%s", fine ? "fine" : "coarse",
                                          trim, static_cast<unsigned long long>(point->errors),
                                          static_cast<unsigned long long>(point->frames), per_of(*point).c_str(),
                                          point->stopped_early ? "  (clearly worse: stopped)" : "");
                            out_.text(line);
                        }
                        return point;
                    });
    rx_off(api_);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const std::vector<TrimPoint> &points = search.points;
    const std::optional<TrimBest> &best = search.best;

    ordered_json list = ordered_json::array();
    std::uint64_t frames_counted = 0;
    for (const TrimPoint &p : points) {
        ordered_json o = ordered_json::object();
        o.update({{"trim", p.trim}, {"pass", p.fine ? "fine" : "coarse"}, {"errors", p.errors}, {"frames", p.frames}});
        o.update({{"per", per_percent(p.errors, p.frames)}, {"stopped_early", p.stopped_early}, {"rejected", p.rejected}});
        o.update({{"frames_asked", p.frames_asked}});
        list.push_back(o);
        frames_counted += p.frames;
    }
    ordered_json fields = run_head();
    fields.update({{"from", cmd.from}, {"to", cmd.to}, {"coarse_step", step}, {"frames_per_point", cmd.frames}, {"points", list}, {"window_from", search.window_from}, {"window_to", search.window_to}, {"elapsed", elapsed}});
    const bool interrupted = search.cut_short && !read_failed && stopping();
    const std::string failure =
        read_failed ? std::string("the transport failed a read of the receive counters") : search.failure;
    // The best trim's error rate: its fine readings together.
    std::vector<TrimPoint> fine_points;
    std::copy_if(points.begin(), points.end(), std::back_inserter(fine_points),
                 [](const TrimPoint &p) { return p.fine; });
    std::optional<double> best_per;
    for (const TrimPoint &p : pooled(fine_points)) {
        if (best && p.trim == best->trim) {
            best_per = per_percent(p.errors, p.frames);
        }
    }
    if (best) {
        fields.update({{"best", best->trim}, {"method", best->method}});
        fields.update({{"centre", best->centre}, {"best_per", best_per}});
    } else {
        fields.update({{"best", nullptr}, {"method", nullptr}, {"centre", nullptr}, {"best_per", nullptr}});
    }
    fields.update({{"frames_counted", frames_counted}, {"stop_tests", search.stop_tests}});
    // The acceptance limits: where the trim may sit and how well the
    // receiver does there.
    // Only the sets that name trim find judge it: an rx set's max-per is not
    // meant for the search's best point.
    const LimitSet *named = limit_set("trim find");
    const LimitSet *set = named != nullptr && named->command ? named : nullptr;
    std::vector<LimitCheck> checks;
    if (best && failure.empty()) {
        if (const auto max_per = limit_of(cmd.max_per, set, &LimitValues::max_per)) {
            checks.push_back(with_source(at_most("max-per", *max_per, best_per, "%"), cmd.max_per, set));
        }
        const auto trim = static_cast<double>(best->trim);
        if (const auto min_trim = limit_of(cmd.min_trim, set, &LimitValues::min_trim)) {
            checks.push_back(with_source(at_least("min-trim", static_cast<double>(*min_trim), trim, "trim"),
                                         cmd.min_trim, set));
        }
        if (const auto max_trim = limit_of(cmd.max_trim, set, &LimitValues::max_trim)) {
            checks.push_back(with_source(at_most("max-trim", static_cast<double>(*max_trim), trim, "trim"),
                                         cmd.max_trim, set));
        }
    }
    emit_limits(checks, failure.empty(), set, fields);
    out_.record("trim", fields,
                merged(operating_point_units(), {{"from", "trim"}, {"to", "trim"}, {"coarse_step", "trim"}, {"frames_per_point", "frame"}, {"window_from", "trim"}, {"window_to", "trim"}, {"best", "trim"}, {"centre", "trim"}, {"best_per", "%"}, {"frames_counted", "frame"}, {"elapsed", "s"}}));
    const bool judged_pass = failure.empty() && all_pass(checks);
    const std::string reason = failure.empty() ? limits_text(checks, true) : failure;
    if (best) {
        out_.text("trim find: best trim " + std::to_string(best->trim) +
                  (best->centre ? " (the V's centre " + short_number(*best->centre) + ")" : " (lowest error rate)") +
                  ", " + std::to_string(points.size()) + " points in " + fixed(elapsed, 2) + " s" +
                  (failure.empty() ? (checks.empty() ? "" : " -- " + reason) : " -- FAIL: " + failure));
    } else {
        out_.text("trim find: FAIL: " + failure);
    }

    if (read_failed) {
        return counter_failure("receive frame");
    }
    if (!judged_pass || !cmd.burn) {
        // The radio goes back to the offset it ran with.
        api_.rf_freq_offset(static_cast<std::int32_t>(offset_before));
        return judged_pass ? Outcome::Pass : fail(reason, checks, interrupted);
    }
    const std::optional<FuseMap> now = read_map();
    if (!now) {
        api_.rf_freq_offset(static_cast<std::int32_t>(offset_before));
        return fuses_unread();
    }
    const EfuseItem &item = *find_efuse_item("Freq_offset");
    const Outcome burnt = burn(item.name, item_request(item, {best->trim}, *now), *now, cmd.burn_options);
    if (radio_.offset == offset_before) {
        api_.rf_freq_offset(static_cast<std::int32_t>(offset_before));  // not burnt: back as it was
    }
    return burnt;
}

}  // namespace deve::cli
