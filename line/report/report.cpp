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

std::string group_of(const Run &run, GroupBy by) {
    switch (by) {
    case GroupBy::Station: return run.station + kHostSeparator + run.host;
    case GroupBy::Lot: return run.lot;
    case GroupBy::Day: return utc_day(run.started_ms);
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

}  // namespace

std::string step_label(const std::string &command, const std::string &point) {
    return point.empty() ? command : command + " " + point;
}

// ---- Capability -------------------------------------------------------------

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
    const double s = std::sqrt(squares / static_cast<double>(c.n - 1));
    c.stddev = s;
    if (!(s > 0)) {
        return c;
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
    return c;
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

std::vector<Yield> yields(const std::vector<Run> &runs, GroupBy by) {
    std::map<std::string, std::vector<const Run *>> groups;
    for (const Run &run : runs) {
        groups[group_of(run, by)].push_back(&run);
    }
    if (by == GroupBy::All && groups.empty()) {
        groups["all"];
    }
    std::vector<Yield> out;
    for (auto &entry : groups) {
        std::string group = entry.first;
        std::string host;
        if (by == GroupBy::Station) {
            const std::size_t at = group.find(kHostSeparator);
            host = group.substr(at + 1);
            group.resize(at);
        }
        out.push_back(yield_of(std::move(group), std::move(entry.second)));
        out.back().host = std::move(host);
    }
    std::stable_sort(out.begin(), out.end(), [](const Yield &a, const Yield &b) {
        if (a.group != b.group) {
            return natural_less(a.group, b.group);
        }
        return natural_less(a.host, b.host);
    });
    return out;
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
        std::string limit = limit_text(m.name, m.low, m.high);
        if (!m.limit_set.empty()) {
            limit += " [" + m.limit_set + "]";
        }
        add(step_label(m.command, m.point), std::move(limit), m.run_id);
        steps_with_failed_limit.emplace(m.run_id, m.step_seq);
    }
    for (const Step &s : rows.steps) {
        if (s.outcome == "pass" || steps_with_failed_limit.count({s.run_id, s.seq}) != 0) {
            continue;
        }
        std::string what = s.outcome.empty() ? "never ended" : s.outcome;
        if (!s.kind.empty() && s.kind != s.outcome) {
            what += " (" + s.kind + ")";
        }
        add(step_label(s.command, s.point), std::move(what), s.run_id);
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
    std::size_t total = 0;
    std::vector<ParetoItem> items;
    for (const auto &entry : counts) {
        ParetoItem item;
        item.step = entry.first.first;
        item.limit = entry.first.second;
        item.count = entry.second;
        item.runs = runs_of[entry.first].size();
        total += item.count;
        items.push_back(std::move(item));
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

Report build_report(Rows rows, const Window &window, std::int64_t generated_ms) {
    Report r;
    r.window = window;
    r.generated_ms = generated_ms;
    std::stable_sort(rows.runs.begin(), rows.runs.end(), [](const Run &a, const Run &b) {
        return std::tie(a.started_ms, a.run_id) < std::tie(b.started_ms, b.run_id);
    });
    static const char *const kVerdicts[] = {"pass", "fail", "error", "interrupted", "incomplete"};
    std::map<std::string, std::size_t> others;
    for (const char *verdict : kVerdicts) {
        r.verdicts.emplace_back(verdict, 0);
    }
    for (const Run &run : rows.runs) {
        auto known = std::find_if(r.verdicts.begin(), r.verdicts.end(),
                                  [&](const auto &entry) { return entry.first == run.verdict; });
        if (known != r.verdicts.end()) {
            ++known->second;
        } else {
            ++others[run.verdict];
        }
    }
    r.verdicts.insert(r.verdicts.end(), others.begin(), others.end());
    r.overall = yields(rows.runs, GroupBy::All).front();
    r.by_station = yields(rows.runs, GroupBy::Station);
    r.by_lot = yields(rows.runs, GroupBy::Lot);
    r.by_day = yields(rows.runs, GroupBy::Day);
    r.measurements = measurement_stats(rows.measurements);
    r.pareto = failure_pareto(rows);
    r.rows = std::move(rows);
    return r;
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

Histogram histogram(const std::vector<double> &values, std::optional<double> low, std::optional<double> high) {
    std::vector<double> points;
    for (double v : values) {
        if (std::isfinite(v)) {
            points.push_back(v);
        }
    }
    for (const std::optional<double> &limit : {low, high}) {
        if (limit && std::isfinite(*limit)) {
            points.push_back(*limit);
        }
    }
    Histogram h;
    const std::size_t bins = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(values.size())))), 5, 40);
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
    for (double v : values) {
        if (!std::isfinite(v)) {
            continue;
        }
        const double position = std::floor((v - h.from) / h.width);
        const auto bin = static_cast<std::size_t>(std::clamp(position, 0.0, static_cast<double>(bins - 1)));
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
