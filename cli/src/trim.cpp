// trim find: the frequency-offset trim with the lowest receive error rate,
// by a coarse pass over the range and a fine pass around its best; with
// --burn the best trim is burnt as efuse burn Freq_offset burns it.
#include "runner.h"

#include "deve/efuse_burn.h"
#include "deve/operations.h"
#include "deve/text.h"

#include <cstdio>

namespace deve::cli {

namespace {

using Clock = std::chrono::steady_clock;

// How often a point's counters are read, and how long a point may take.
constexpr std::chrono::milliseconds kTrimPoll{20};
constexpr std::chrono::seconds kPointTimeLimit{2};

std::string per_of(const TrimPoint &p) { return per_text(p.errors, p.frames); }

}  // namespace

std::optional<TrimPoint> Runner::measure_trim(std::uint32_t trim, std::uint64_t frames,
                                              const std::optional<TrimPoint> &best, bool fine, bool &read_failed) {
    api_.rf_freq_offset(static_cast<std::int32_t>(trim));
    api_.rf_rxpkt_reset(radio_.mode);  // the counts start from zero at this trim
    TrimPoint point;
    point.trim = trim;
    point.fine = fine;
    RxTotals totals;
    const Clock::time_point start = Clock::now();
    while (point.frames < frames && Clock::now() - start < kPointTimeLimit) {
        if (!wait_until(Clock::now() + kTrimPoll)) {
            return std::nullopt;
        }
        const std::optional<RxCounterReading> counts = checked_rx_counts(api_, radio_.mode);
        if (!counts) {
            read_failed = true;
            return std::nullopt;
        }
        totals.add(RxReading{counts->errors, counts->total, counts->reset});
        point.errors = totals.errors();
        point.frames = totals.frames();
        if (best && clearly_worse(point, *best)) {
            point.stopped_early = true;
            break;
        }
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
                    [&](std::uint32_t trim, std::uint64_t frames, const std::optional<TrimPoint> &best, bool fine) {
                        const std::optional<TrimPoint> point = measure_trim(trim, frames, best, fine, read_failed);
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

    json::Array list;
    for (const TrimPoint &p : points) {
        json::Object o;
        o.add("trim", p.trim)
            .add("pass", p.fine ? "fine" : "coarse")
            .add("errors", p.errors)
            .add("frames", p.frames);
        o.add("per", per_percent(p.errors, p.frames)).add("stopped_early", p.stopped_early);
        list.push(o);
    }
    json::Object fields = run_head();
    fields.add("from", cmd.from)
        .add("to", cmd.to)
        .add("coarse_step", step)
        .add("frames_per_point", cmd.frames)
        .add("points", list)
        .add("elapsed", elapsed);
    const std::string failure =
        read_failed ? std::string("the transport failed a read of the receive counters") : search.failure;
    if (best) {
        const TrimPoint *measured = nullptr;
        for (const TrimPoint &p : points) {
            if (p.trim == best->trim && p.fine) {
                measured = &p;
            }
        }
        fields.add("best", best->trim).add("method", best->method);
        if (best->centre) {
            fields.add("centre", *best->centre);
        } else {
            fields.add_null("centre");
        }
        fields.add("best_per",
                   measured != nullptr ? per_percent(measured->errors, measured->frames) : std::nullopt);
    } else {
        fields.add_null("best").add_null("method").add_null("centre").add_null("best_per");
    }
    fields.add("verdict", failure.empty() ? "pass" : "fail");
    out_.record("trim", fields,
                json::Object(operating_point_units())
                    .add("from", "trim")
                    .add("to", "trim")
                    .add("coarse_step", "trim")
                    .add("frames_per_point", "frame")
                    .add("best", "trim")
                    .add("centre", "trim")
                    .add("best_per", "%")
                    .add("elapsed", "s"));
    if (best) {
        out_.text("trim find: best trim " + std::to_string(best->trim) +
                  (best->centre ? " (the V's centre " + short_number(*best->centre) + ")" : " (lowest error rate)") +
                  ", " + std::to_string(points.size()) + " points in " + fixed(elapsed, 2) + " s" +
                  (failure.empty() ? "" : " -- FAIL: " + failure));
    } else {
        out_.text("trim find: FAIL: " + failure);
    }

    if (read_failed) {
        return counter_failure("receive frame");
    }
    if (!failure.empty() || !cmd.burn) {
        // The radio goes back to the offset it ran with.
        api_.rf_freq_offset(static_cast<std::int32_t>(offset_before));
        return failure.empty() ? Outcome::Pass : fail(failure);
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
