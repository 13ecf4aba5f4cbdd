// The report's figures: capability, yield, failure Pareto, histogram bins,
// and the times of the report's window.
#include "report.h"

#include "common/text_format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace deve::cli::report {

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr std::int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr std::int64_t kMsPerDay = 24 * kMsPerHour;


// "90m", "12h", "7d": that long before now.
std::optional<std::int64_t> parse_span(const std::string &text, std::int64_t now_ms) {
    if (text.size() < 2 || text.size() > 8) {
        return std::nullopt;
    }
    std::int64_t count = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        count = count * 10 + (text[i] - '0');
    }
    switch (text.back()) {
    case 'm': return now_ms - count * kMsPerMinute;
    case 'h': return now_ms - count * kMsPerHour;
    case 'd': return now_ms - count * kMsPerDay;
    default: return std::nullopt;
    }
}

bool passed(const Run &run) { return run.verdict == "pass"; }

// The board a run counts for: its board, else the run alone.
std::string board_key(const Run &run) { return run.board.empty() ? "run " + run.run_id : "board " + run.board; }

// Station groups are told apart by their PC too: a separator that no name
// holds joins them in the key.
constexpr char kHostSeparator = '\x1f';

std::string group_of(const Run &run, GroupBy by, const Zone &zone) {
    switch (by) {
    case GroupBy::Station: return run.station + kHostSeparator + run.host;
    case GroupBy::Lot: return run.lot;
    case GroupBy::Day: return zone.day(run.started_ms);
    case GroupBy::All: break;
    }
    return "all";
}

Yield yield_of(std::string group, std::vector<const Run *> runs) {
    std::stable_sort(runs.begin(), runs.end(), [](const Run *a, const Run *b) {
        return std::tie(a->started_ms, a->run_id) < std::tie(b->started_ms, b->run_id);
    });
    // Each board's first and last run.
    std::map<std::string, std::pair<const Run *, const Run *>> boards;
    for (const Run *run : runs) {
        auto [it, fresh] = boards.try_emplace(board_key(*run), run, run);
        if (!fresh) {
            it->second.second = run;
        }
    }
    Yield y;
    y.group = std::move(group);
    y.runs = runs.size();
    y.boards = boards.size();
    for (const auto &entry : boards) {
        y.first_pass += passed(*entry.second.first) ? 1 : 0;
        y.final_pass += passed(*entry.second.second) ? 1 : 0;
    }
    return y;
}

// The groups as a reader sees them: a station group's key split into the
// station and its PC, in the natural order of the names (st2 before st10),
// then of the hosts.
std::vector<Yield> named_in_order(std::vector<Yield> groups, GroupBy by) {
    if (by == GroupBy::Station) {
        for (Yield &y : groups) {
            const std::size_t at = y.group.find(kHostSeparator);
            if (at != std::string::npos) {
                y.host = y.group.substr(at + 1);
                y.group.resize(at);
            }
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Yield &a, const Yield &b) {
        if (a.group != b.group) {
            return natural_less(a.group, b.group);
        }
        return natural_less(a.host, b.host);
    });
    return groups;
}

}  // namespace

std::string step_label(const std::string &command, const std::string &point) {
    return point.empty() ? command : command + " " + point;
}

// ---- Capability -------------------------------------------------------------

// The spread, Cp and Cpk of figures whose mean is known.
void with_spread(Capability &c, double s, std::optional<double> low, std::optional<double> high);

Capability capability(const std::vector<double> &values, std::optional<double> low, std::optional<double> high) {
    Capability c;
    c.n = values.size();
    if (values.empty()) {
        return c;
    }
    // Two passes: the mean first, then the squares of the deviations from
    // it, so that values far from zero (a frame count, a frequency) keep
    // their spread.
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    const double mean = sum / static_cast<double>(c.n);
    c.mean = mean;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    c.min = *lo;
    c.max = *hi;
    if (c.n < 2) {
        return c;
    }
    double squares = 0;
    for (double v : values) {
        squares += (v - mean) * (v - mean);
    }
    with_spread(c, std::sqrt(squares / static_cast<double>(c.n - 1)), low, high);
    return c;
}

void with_spread(Capability &c, double s, std::optional<double> low, std::optional<double> high) {
    const double mean = *c.mean;
    c.stddev = s;
    if (!(s > 0)) {
        return;
    }
    if (low && high) {
        c.cp = (*high - *low) / (6 * s);
    }
    std::optional<double> cpk;
    if (high) {
        cpk = (*high - mean) / (3 * s);
    }
    if (low) {
        const double cpl = (mean - *low) / (3 * s);
        cpk = cpk ? std::min(*cpk, cpl) : cpl;
    }
    c.cpk = cpk;
}

void Moments::add(const Moments &other) {
    n += other.n;
    sum += other.sum;
    squares += other.squares;
    if (other.min) {
        min = min ? std::min(*min, *other.min) : *other.min;
    }
    if (other.max) {
        max = max ? std::max(*max, *other.max) : *other.max;
    }
}

Capability capability_from(const Moments &m, std::optional<double> low, std::optional<double> high) {
    Capability c;
    c.n = m.n;
    if (m.n == 0) {
        return c;
    }
    const auto n = static_cast<double>(m.n);
    c.mean = m.shift + m.sum / n;
    c.min = m.min;
    c.max = m.max;
    if (m.n < 2) {
        return c;
    }
    // The squares about the mean: those about the shift less n times the
    // mean's distance from it squared.
    const double squares = std::max(0.0, m.squares - m.sum * (m.sum / n));
    with_spread(c, std::sqrt(squares / (n - 1)), low, high);
    return c;
}

std::optional<std::string> capability_withheld(const std::string &command, const std::string &name) {
    if (name == "frames" && (command == "tx" || command == "rx")) {
        return std::string("a count the step stops at (--frames): its values are the count asked for plus the "
                           "last reading's frames, so their spread is not the board's; see frames_per_second and "
                           "per");
    }
    return std::nullopt;
}

std::string limit_text(const std::string &name, std::optional<double> low, std::optional<double> high) {
    if (low && high) {
        return short_number(*low) + " <= " + name + " <= " + short_number(*high);
    }
    if (high) {
        return name + " <= " + short_number(*high);
    }
    if (low) {
        return name + " >= " + short_number(*low);
    }
    return name;
}

std::vector<MeasurementStats> measurement_stats(const std::vector<Measurement> &rows) {
    using Key = std::tuple<std::string, std::string, std::string, std::string, std::optional<double>,
                           std::optional<double>, std::string>;
    std::map<Key, MeasurementStats> groups;
    for (const Measurement &m : rows) {
        if (!m.low && !m.high) {
            continue;
        }
        const Key key{m.command, m.point, m.name, m.unit, m.low, m.high, m.limit_set};
        MeasurementStats &s = groups[key];
        if (s.name.empty()) {
            s.command = m.command;
            s.point = m.point;
            s.name = m.name;
            s.unit = m.unit;
            s.low = m.low;
            s.high = m.high;
            s.limit_set = m.limit_set;
        }
        if (m.value && std::isfinite(*m.value)) {
            s.values.push_back(*m.value);
        } else {
            ++s.missing;
        }
        s.failed += m.passed ? 0 : 1;
    }
    std::vector<MeasurementStats> out;
    out.reserve(groups.size());
    for (auto &entry : groups) {
        MeasurementStats &s = entry.second;
        s.figures = capability(s.values, s.low, s.high);
        if (std::optional<std::string> why = capability_withheld(s.command, s.name)) {
            s.figures.cp.reset();
            s.figures.cpk.reset();
            s.no_capability = *why;
        }
        out.push_back(std::move(s));
    }
    return out;
}

// ---- Yield --------------------------------------------------------------------

double Yield::first_pass_yield() const {
    return boards == 0 ? 0.0 : static_cast<double>(first_pass) / static_cast<double>(boards);
}

double Yield::final_yield() const {
    return boards == 0 ? 0.0 : static_cast<double>(final_pass) / static_cast<double>(boards);
}

std::vector<Yield> yields(const std::vector<Run> &runs, GroupBy by, const Zone &zone) {
    std::map<std::string, std::vector<const Run *>> groups;
    for (const Run &run : runs) {
        groups[group_of(run, by, zone)].push_back(&run);
    }
    if (by == GroupBy::All && groups.empty()) {
        groups["all"];
    }
    std::vector<Yield> out;
    for (auto &entry : groups) {
        out.push_back(yield_of(entry.first, std::move(entry.second)));
    }
    return named_in_order(std::move(out), by);
}

bool natural_less(const std::string &a, const std::string &b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Two numbers: leading zeros aside, the longer is the larger,
            // then the first digit that differs decides; whatever their
            // length, no number overflows.
            std::size_t a_end = i;
            std::size_t b_end = j;
            while (a_end < a.size() && digit(a[a_end])) {
                ++a_end;
            }
            while (b_end < b.size() && digit(b[b_end])) {
                ++b_end;
            }
            std::size_t a_from = i;
            std::size_t b_from = j;
            while (a_from + 1 < a_end && a[a_from] == '0') {
                ++a_from;
            }
            while (b_from + 1 < b_end && b[b_from] == '0') {
                ++b_from;
            }
            const std::size_t a_len = a_end - a_from;
            const std::size_t b_len = b_end - b_from;
            if (a_len != b_len) {
                return a_len < b_len;
            }
            const int order = a.compare(a_from, a_len, b, b_from, b_len);
            if (order != 0) {
                return order < 0;
            }
            i = a_end;
            j = b_end;
            continue;
        }
        if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        }
        ++i;
        ++j;
    }
    if ((i == a.size()) != (j == b.size())) {
        return i == a.size();
    }
    // Equal but for leading zeros ("st01", "st1"): the text decides, so the
    // order is total.
    return a < b;
}

void YieldTally::add(const std::string &board, Run run) {
    if (board != board_) {
        flush();
        board_ = board;
    }
    runs_.push_back(std::move(run));
}

Yield &YieldTally::group(GroupBy by, const Run &run) {
    const auto find = [this, by](std::string name) -> Yield * {
        Yield &y = groups_[{by, name}];
        y.group = std::move(name);
        return &y;
    };
    Last &l = last_;
    switch (by) {
    case GroupBy::Station:
        if (l.station_group == nullptr || run.station != l.station || run.host != l.host) {
            l.station = run.station;
            l.host = run.host;
            l.station_group = find(group_of(run, by, zone_));
        }
        return *l.station_group;
    case GroupBy::Lot:
        if (l.lot_group == nullptr || run.lot != l.lot) {
            l.lot = run.lot;
            l.lot_group = find(run.lot);
        }
        return *l.lot_group;
    case GroupBy::Day:
        if (l.day_group == nullptr || run.started_ms < l.day.from_ms || run.started_ms >= l.day.until_ms) {
            l.day = zone_.day_span(run.started_ms);
            l.day_group = find(l.day.day);
        }
        return *l.day_group;
    case GroupBy::All: break;
    }
    if (l.all == nullptr) {
        l.all = find("all");
    }
    return *l.all;
}

void YieldTally::flush() {
    if (runs_.empty()) {
        return;
    }
    if (runs_.size() == 1) {
        // Most boards have one run: its first and its last in each group.
        const std::size_t pass = passed(runs_.front()) ? 1 : 0;
        for (GroupBy by : {GroupBy::All, GroupBy::Station, GroupBy::Lot, GroupBy::Day}) {
            Yield &y = group(by, runs_.front());
            ++y.runs;
            ++y.boards;
            y.first_pass += pass;
            y.final_pass += pass;
        }
        runs_.clear();
        return;
    }
    std::stable_sort(runs_.begin(), runs_.end(), [](const Run &a, const Run &b) {
        return std::tie(a.started_ms, a.run_id) < std::tie(b.started_ms, b.run_id);
    });
    for (GroupBy by : {GroupBy::All, GroupBy::Station, GroupBy::Lot, GroupBy::Day}) {
        // The board's first and last run in each of its groups, and how
        // many it had there.
        std::map<std::string, std::tuple<const Run *, const Run *, std::size_t>> mine;
        for (const Run &run : runs_) {
            auto [it, fresh] = mine.try_emplace(group_of(run, by, zone_), &run, &run, 0);
            std::get<1>(it->second) = &run;
            ++std::get<2>(it->second);
        }
        for (const auto &[name, seen] : mine) {
            Yield &y = group(by, *std::get<0>(seen));
            y.runs += std::get<2>(seen);
            ++y.boards;
            y.first_pass += passed(*std::get<0>(seen)) ? 1 : 0;
            y.final_pass += passed(*std::get<1>(seen)) ? 1 : 0;
        }
    }
    runs_.clear();
}

Yield YieldTally::overall() {
    flush();
    const auto it = groups_.find({GroupBy::All, "all"});
    if (it != groups_.end()) {
        return it->second;
    }
    Yield none;
    none.group = "all";
    return none;
}

std::vector<Yield> YieldTally::by(GroupBy by) {
    flush();
    std::vector<Yield> out;
    for (const auto &[key, y] : groups_) {
        if (key.first == by) {
            out.push_back(y);
        }
    }
    return named_in_order(std::move(out), by);
}

// ---- Failure Pareto -------------------------------------------------------------

std::vector<ParetoItem> failure_pareto(const Rows &rows) {
    std::map<std::pair<std::string, std::string>, std::set<std::string>> runs_of;
    std::map<std::pair<std::string, std::string>, std::size_t> counts;
    std::set<std::pair<std::string, int>> steps_with_failed_limit;
    auto add = [&](std::string step, std::string limit, const std::string &run_id) {
        const auto key = std::make_pair(std::move(step), std::move(limit));
        ++counts[key];
        runs_of[key].insert(run_id);
    };
    for (const Measurement &m : rows.measurements) {
        if (m.passed) {
            continue;
        }
        add(step_label(m.command, m.point), failed_limit_text(m.name, m.low, m.high, m.limit_set), m.run_id);
        steps_with_failed_limit.emplace(m.run_id, m.step_seq);
    }
    for (const Step &s : rows.steps) {
        if (s.outcome == "pass" || steps_with_failed_limit.count({s.run_id, s.seq}) != 0) {
            continue;
        }
        add(step_label(s.command, s.point), step_failure_text(s.outcome, s.kind), s.run_id);
    }
    // A run that did not pass but has no failure above (stopped between
    // steps, or before its first) counts under its verdict.
    std::set<std::string> counted;
    for (const auto &entry : runs_of) {
        counted.insert(entry.second.begin(), entry.second.end());
    }
    for (const Run &run : rows.runs) {
        if (!passed(run) && counted.count(run.run_id) == 0) {
            add("(run)", run.verdict, run.run_id);
        }
    }
    std::vector<ParetoItem> items;
    for (const auto &entry : counts) {
        ParetoItem item;
        item.step = entry.first.first;
        item.limit = entry.first.second;
        item.count = entry.second;
        item.runs = runs_of[entry.first].size();
        items.push_back(std::move(item));
    }
    return ranked_pareto(std::move(items));
}

std::string failed_limit_text(const std::string &name, std::optional<double> low, std::optional<double> high,
                              const std::string &limit_set) {
    std::string limit = limit_text(name, low, high);
    if (!limit_set.empty()) {
        limit += " [" + limit_set + "]";
    }
    return limit;
}

std::string step_failure_text(const std::string &outcome, const std::string &kind) {
    std::string what = outcome.empty() ? "never ended" : outcome;
    if (!kind.empty() && kind != outcome) {
        what += " (" + kind + ")";
    }
    return what;
}

std::vector<ParetoItem> ranked_pareto(std::vector<ParetoItem> items) {
    std::size_t total = 0;
    for (const ParetoItem &item : items) {
        total += item.count;
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const ParetoItem &a, const ParetoItem &b) { return a.count > b.count; });
    std::size_t so_far = 0;
    for (ParetoItem &item : items) {
        so_far += item.count;
        item.share = static_cast<double>(item.count) / static_cast<double>(total);
        item.cumulative = static_cast<double>(so_far) / static_cast<double>(total);
    }
    return items;
}

// ---- The report -------------------------------------------------------------------

Report build_report(Rows rows, const Window &window, std::int64_t generated_ms, const ReportOptions &options) {
    Report r;
    r.window = window;
    r.generated_ms = generated_ms;
    r.zone = options.zone.name();
    std::stable_sort(rows.runs.begin(), rows.runs.end(), [](const Run &a, const Run &b) {
        return std::tie(a.started_ms, a.run_id) < std::tie(b.started_ms, b.run_id);
    });
    std::map<std::string, std::size_t> counts;
    for (const Run &run : rows.runs) {
        ++counts[run.verdict];
    }
    r.verdicts = verdict_counts(counts);
    r.run_count = rows.runs.size();
    r.overall = yields(rows.runs, GroupBy::All, options.zone).front();
    r.by_station = yields(rows.runs, GroupBy::Station, options.zone);
    r.by_lot = yields(rows.runs, GroupBy::Lot, options.zone);
    r.by_day = yields(rows.runs, GroupBy::Day, options.zone);
    r.measurements = measurement_stats(rows.measurements);
    if (options.histograms) {
        for (const MeasurementStats &m : r.measurements) {
            r.histograms.push_back(histogram(m.values, m.low, m.high));
        }
    }
    r.pareto = failure_pareto(rows);
    if (options.list_runs) {
        r.runs_listed = true;
        r.runs = std::move(rows.runs);
    }
    return r;
}

std::vector<std::pair<std::string, std::size_t>> verdict_counts(const std::map<std::string, std::size_t> &counts) {
    static const char *const kVerdicts[] = {"pass", "fail", "error", "interrupted", "incomplete"};
    std::vector<std::pair<std::string, std::size_t>> out;
    std::map<std::string, std::size_t> others = counts;
    for (const char *verdict : kVerdicts) {
        const auto it = others.find(verdict);
        out.emplace_back(verdict, it == others.end() ? 0 : it->second);
        if (it != others.end()) {
            others.erase(it);
        }
    }
    out.insert(out.end(), others.begin(), others.end());
    return out;
}

std::string window_text(const Window &w) {
    std::string text = "from " + (w.since_ms ? utc_minute(*w.since_ms) : std::string("the first")) + " to " +
                       (w.until_ms ? utc_minute(*w.until_ms) : std::string("the last"));
    if (w.since_ms || w.until_ms) {
        text += " (UTC)";
    }
    const auto filter = [&text](const char *name, const std::vector<std::string> &values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            text += (i == 0 ? std::string(", ") + name + " " : std::string(" or ")) + values[i];
        }
    };
    filter("station", w.stations);
    filter("host", w.hosts);
    filter("lot", w.lots);
    filter("serial", w.serials);
    filter("pool", w.pools);
    filter("verdict", w.verdicts);
    return text;
}

// ---- Histogram --------------------------------------------------------------------

Histogram histogram_frame(std::size_t n, std::optional<double> min, std::optional<double> max,
                          std::optional<double> low, std::optional<double> high) {
    std::vector<double> points;
    for (const std::optional<double> &point : {min, max, low, high}) {
        if (point && std::isfinite(*point)) {
            points.push_back(*point);
        }
    }
    Histogram h;
    const std::size_t bins =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(n)))), 5, 40);
    h.counts.assign(bins, 0);
    h.outside.assign(bins, 0);
    if (points.empty()) {
        return h;
    }
    const auto [lo, hi] = std::minmax_element(points.begin(), points.end());
    double span = *hi - *lo;
    if (!(span > 0)) {
        span = std::max(1.0, std::fabs(*lo) * 0.1);
    }
    // A twentieth of the span on each side keeps limits off the edges.
    h.from = *lo - span / 20;
    h.width = (span + span / 10) / static_cast<double>(bins);
    return h;
}

std::size_t histogram_bin(const Histogram &h, double value) {
    const double position = std::floor((value - h.from) / h.width);
    return static_cast<std::size_t>(std::clamp(position, 0.0, static_cast<double>(h.counts.size() - 1)));
}

Histogram histogram(const std::vector<double> &values, std::optional<double> low, std::optional<double> high) {
    std::size_t n = 0;
    std::optional<double> min;
    std::optional<double> max;
    for (double v : values) {
        if (std::isfinite(v)) {
            ++n;
            min = min ? std::min(*min, v) : v;
            max = max ? std::max(*max, v) : v;
        }
    }
    // The bins count every value given, as before: a value that is not
    // finite widens nothing and falls in no bin.
    Histogram h = histogram_frame(values.size(), min, max, low, high);
    if (!min && !low && !high) {
        return h;
    }
    for (double v : values) {
        if (!std::isfinite(v)) {
            continue;
        }
        const std::size_t bin = histogram_bin(h, v);
        ++h.counts[bin];
        if ((low && v < *low) || (high && v > *high)) {
            ++h.outside[bin];
        }
    }
    return h;
}

// ---- Times ------------------------------------------------------------------------

namespace {

// The offset from UTC that ends a time of day, in minutes: "Z", "+01:00",
// "+0100", "+01", "-05:00". `at` is where it starts; nothing there, 0.
struct Offset {
    std::size_t at = std::string::npos;
    int minutes = 0;
    std::string error;
};

Offset offset_of(const std::string &text) {
    Offset o;
    // Only a time of day carries an offset: its sign comes after the "T"
    // or the space (the date's own dashes come before).
    const std::size_t time_at = text.find_first_of("T ");
    if (time_at == std::string::npos) {
        const std::size_t sign = text.find_first_of("+-Z", 10);
        if (text.size() > 10 && sign != std::string::npos) {
            o.error = "an offset from UTC needs a time of day (2026-12-09T05:00+01:00)";
        }
        return o;
    }
    if (!text.empty() && text.back() == 'Z') {
        o.at = text.size() - 1;
        return o;
    }
    const std::size_t sign = text.find_first_of("+-", time_at);
    if (sign == std::string::npos) {
        return o;
    }
    o.at = sign;
    const std::string digits = text.substr(sign + 1);
    std::string hours;
    std::string minutes = "00";
    if (digits.size() == 2) {
        hours = digits;
    } else if (digits.size() == 4) {
        hours = digits.substr(0, 2);
        minutes = digits.substr(2);
    } else if (digits.size() == 5 && digits[2] == ':') {
        hours = digits.substr(0, 2);
        minutes = digits.substr(3);
    }
    const auto all_digits = [](const std::string &part) {
        return part.size() == 2 && std::isdigit(static_cast<unsigned char>(part[0])) &&
               std::isdigit(static_cast<unsigned char>(part[1]));
    };
    if (!all_digits(hours) || !all_digits(minutes)) {
        o.error = "the offset " + text.substr(sign) + " is not one of Z, +HH:MM, +HHMM or +HH";
        return o;
    }
    const int h = std::stoi(hours);
    const int m = std::stoi(minutes);
    if (m > 59 || h * 60 + m > 14 * 60) {
        o.error = "the offset " + text.substr(sign) + " is not between -14:00 and +14:00";
        return o;
    }
    o.minutes = (text[sign] == '-' ? -1 : 1) * (h * 60 + m);
    return o;
}

}  // namespace

TimeParse read_time(const std::string &text, std::int64_t now_ms) {
    TimeParse result;
    if (std::optional<std::int64_t> span = parse_span(text, now_ms)) {
        result.ms = span;
        return result;
    }
    const Offset offset = offset_of(text);
    if (!offset.error.empty()) {
        result.error = offset.error;
        return result;
    }
    const std::string local = offset.at == std::string::npos ? text : text.substr(0, offset.at);
    const std::optional<std::int64_t> ms = parse_utc_time(local);
    if (!ms || (!local.empty() && local.back() == 'Z')) {
        result.error = "not a time: " + text +
                       " (2026-12-08, 2026-12-08T14:30, 2026-12-08T14:30:05Z, 2026-12-09T05:00+01:00, 90m, 12h or "
                       "7d)";
        return result;
    }
    // 05:00 at +01:00 is 04:00 UTC.
    result.ms = *ms - static_cast<std::int64_t>(offset.minutes) * kMsPerMinute;
    return result;
}

std::optional<std::int64_t> parse_time(const std::string &text, std::int64_t now_ms) {
    return read_time(text, now_ms).ms;
}

}  // namespace deve::cli::report
