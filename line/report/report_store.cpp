#include "report_store.h"

#include "deve/efuse_items.h"
#include "deve/efuse_map.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <tuple>

namespace deve::cli::report {

namespace {

using store::odbc::Cell;
using store::odbc::Connection;
using store::odbc::Row;
using store::odbc::Value;

using store::odbc::Type;

std::string text(const Cell &cell) { return cell.text().value_or(std::string()); }

int whole_or_zero(const Cell &cell) { return static_cast<int>(cell.integer().value_or(0)); }

// The WHERE clause over runs r for a window, and its parameters. The text
// is made of fixed pieces; every value is a parameter.
struct Filter {
    std::string where;
    std::vector<Value> params;
};

// The placeholders of an IN list of `count` values: "?, ?, ?".
std::string placeholders(std::size_t count) {
    std::string list;
    for (std::size_t i = 0; i < count; ++i) {
        list += i == 0 ? "?" : ", ?";
    }
    return list;
}

// Every filter of the window is one condition on the runs r; a filter
// given several values takes a run that has any of them.
Filter window_filter(const Window &window) {
    Filter f;
    const auto add = [&f](const std::string &condition) {
        f.where += f.where.empty() ? " WHERE " : " AND ";
        f.where += condition;
    };
    if (window.since_ms) {
        add("r.started_at >= ?");
        f.params.emplace_back(utc_text(*window.since_ms));
    }
    if (window.until_ms) {
        add("r.started_at < ?");
        f.params.emplace_back(utc_text(*window.until_ms));
    }
    const auto any_of = [&](const char *column, const std::vector<std::string> &values) {
        if (values.empty()) {
            return;
        }
        add(std::string(column) + " IN (" + placeholders(values.size()) + ")");
        f.params.insert(f.params.end(), values.begin(), values.end());
    };
    any_of("r.station", window.stations);
    any_of("r.lot", window.lots);
    any_of("r.serial", window.serials);
    any_of("r.host", window.hosts);
    any_of("r.verdict", window.verdicts);
    if (!window.pools.empty()) {
        // A board belongs to a pool when the pool gave it an address (by
        // the serial the pool keeps), or when the run read one of the
        // pool's addresses from its fuses (a run that named no serial).
        const std::string list = placeholders(window.pools.size());
        add("(r.serial IN (SELECT a.serial FROM mac_addresses a WHERE a.pool IN (" + list +
            ")) OR r.run_id IN (SELECT pb.run_id FROM boards pb JOIN mac_addresses pa ON pa.mac = pb.mac"
            " WHERE pa.pool IN (" +
            list + ")))");
        f.params.insert(f.params.end(), window.pools.begin(), window.pools.end());
        f.params.insert(f.params.end(), window.pools.begin(), window.pools.end());
    }
    return f;
}

// The end of a query that keeps its first `count` rows, in the database's
// words. The count is a number of ours, not a value given from outside.
std::string first_rows(const Connection &db, std::size_t count) {
    return db.dialect() == store::Dialect::Other ? " FETCH FIRST " + std::to_string(count) + " ROWS ONLY"
                                                 : " LIMIT " + std::to_string(count);
}

// Runs, from "SELECT <kRunColumns> FROM runs r LEFT JOIN boards b ...".
constexpr const char *kRunColumns =
    "r.run_id, r.started_at, r.ended_at, r.station, r.operator, r.lot, r.serial, b.mac, r.verdict, r.exit_code, "
    "r.host";
constexpr const char *kRunsFrom = " FROM runs r LEFT JOIN boards b ON b.run_id = r.run_id";
const std::vector<Type> kRunTypes{Type::Text, Type::Time, Type::Time, Type::Text, Type::Text,
                                  Type::Text, Type::Text, Type::Text, Type::Text, Type::Integer,
                                  Type::Text};

Run run_of(const Row &row) {
    Run r;
    r.run_id = text(row[0]);
    r.started_ms = row[1].time().value_or(0);
    r.ended_ms = row[2].time();
    r.station = text(row[3]);
    r.operator_name = text(row[4]);
    r.lot = text(row[5]);
    r.serial = text(row[6]);
    r.board = !r.serial.empty() ? r.serial : text(row[7]);
    r.verdict = text(row[8]);
    const std::optional<std::int64_t> code = row[9].integer();
    r.exit_code = code ? std::optional<int>(static_cast<int>(*code)) : std::nullopt;
    r.host = text(row[10]);
    return r;
}

constexpr const char *kStepColumns =
    "s.run_id, s.seq, s.command, s.band, s.channel, s.mode, s.rate, s.outcome, s.started_at, s.error_kind";
const std::vector<Type> kStepTypes{Type::Text, Type::Integer, Type::Text, Type::Text, Type::Integer,
                                   Type::Text, Type::Text,    Type::Text, Type::Time, Type::Text};

Step step_of(const Row &row) {
    Step s;
    s.run_id = text(row[0]);
    s.seq = whole_or_zero(row[1]);
    s.command = text(row[2]);
    s.point = point_of(row[3], row[4], row[5], row[6]);
    s.outcome = text(row[7]);
    s.started_ms = row[8].time();
    s.kind = text(row[9]);
    return s;
}

constexpr const char *kMeasurementColumns =
    "m.run_id, m.step_seq, s.command, s.band, s.channel, s.mode, s.rate, m.name, m.value, m.unit, m.low, m.high, "
    "m.limit_set, m.passed";
constexpr const char *kMeasurementsFrom =
    " FROM measurements m JOIN runs r ON r.run_id = m.run_id"
    " LEFT JOIN steps s ON s.run_id = m.run_id AND s.seq = m.step_seq";
const std::vector<Type> kMeasurementTypes{Type::Text, Type::Integer, Type::Text, Type::Text, Type::Integer,
                                          Type::Text, Type::Text,    Type::Text, Type::Real, Type::Text,
                                          Type::Real, Type::Real,    Type::Text, Type::Integer};

Measurement measurement_of(const Row &row) {
    Measurement m;
    m.run_id = text(row[0]);
    m.step_seq = whole_or_zero(row[1]);
    m.command = text(row[2]);
    m.point = point_of(row[3], row[4], row[5], row[6]);
    m.name = text(row[7]);
    m.value = row[8].real();
    m.unit = text(row[9]);
    m.low = row[10].real();
    m.high = row[11].real();
    m.limit_set = text(row[12]);
    // A measurement the run did not judge (no limit) did not fail.
    m.passed = row[13].integer().value_or(1) != 0;
    return m;
}

// The MAC address as the store writes it, when the key is one.
std::optional<std::string> mac_key(const std::string &key) {
    const std::optional<MacAddress> mac = parse_mac_text(key);
    return mac ? std::optional<std::string>(record_value_text(kMacRecordType, {mac->begin(), mac->end()}))
               : std::nullopt;
}

}  // namespace

namespace {

// The board a run counts for, as the report keys it: its serial, else the
// MAC address it read or burnt, else the run alone. The board's row is
// looked up only for a run without a serial (a join of every run with its
// board would cost as much as the sort by this key).
constexpr const char *kBoardKey =
    "CASE WHEN r.serial <> '' THEN 'board ' || r.serial"
    " ELSE COALESCE((SELECT 'board ' || b.mac FROM boards b WHERE b.run_id = r.run_id AND b.mac <> ''),"
    " 'run ' || r.run_id) END";

// A value as the figures take it: finite, else none (SQLite keeps an
// infinity; PostgreSQL also a NaN, which compares above every number).
constexpr const char *kFiniteValue =
    "CASE WHEN m.value >= -1.7976931348623157e308 AND m.value <= 1.7976931348623157e308 THEN m.value END";

// The rows of the runs in the window, by the condition that picks them:
// nothing when every run is in it (then no join is needed at all).
std::string runs_in_window(const Filter &f, const char *run_id_column) {
    if (f.where.empty()) {
        return "";
    }
    return std::string(run_id_column) + " IN (SELECT r.run_id" + kRunsFrom + f.where + ")";
}

std::string where_all(std::initializer_list<std::string> conditions) {
    std::string where;
    for (const std::string &c : conditions) {
        if (!c.empty()) {
            where += (where.empty() ? " WHERE " : " AND ") + c;
        }
    }
    return where;
}

// One group of measurements as the database summed it.
struct MeasurementGroup {
    MeasurementStats stats;
    Moments moments;
    std::size_t failed_runs = 0;
    // The step's columns as stored, to ask for the group again.
    std::string band, mode, rate;
    std::optional<std::int64_t> channel;
    // The step numbers it was summed from without its steps (none when
    // its steps were joined).
    std::set<std::int64_t> seqs;
};

// The aggregates of a measurement group (after its key columns): rows,
// values, failed rows and runs, the sums about the group's limit (its
// shift), minimum and maximum. A group that holds the step number has at
// most one row of a run (the measurements' key is run, step number and
// name): its failed runs are its failed rows, and need no DISTINCT (which
// makes PostgreSQL sort every row).
//
// The figures take only finite values. Testing every value for that costs
// as much again as the sums, and a value that is not finite is rare (no
// record carries one; only a row written by hand can): so the groups are
// summed as they are, and a group whose minimum or maximum comes back not
// finite is summed again, alone, over its finite values (`only_finite`).
std::string group_sums(bool one_row_a_run, bool only_finite) {
    const std::string v = only_finite ? kFiniteValue : "m.value";
    const std::string d = "(" + v + " - COALESCE(m.low, m.high, 0))";
    const std::string failed = "SUM(CASE WHEN m.passed = 0 THEN 1 ELSE 0 END)";
    return "COUNT(*), COUNT(" + v + "), " + failed + ", " +
           (one_row_a_run ? failed : "COUNT(DISTINCT CASE WHEN m.passed = 0 THEN m.run_id END)") + ", SUM(" + d +
           "), SUM(" + d + " * " + d + "), MIN(" + v + "), MAX(" + v + ")";
}
const std::vector<Type> kSumTypes{Type::Integer, Type::Integer, Type::Integer, Type::Integer,
                                  Type::Real,    Type::Real,    Type::Real,    Type::Real};

// A group's figures from the aggregates at row[at...].
void take_sums(const Row &row, std::size_t at, MeasurementGroup &g) {
    MeasurementStats &s = g.stats;
    const auto count = [&row](std::size_t i) { return static_cast<std::size_t>(row[i].integer().value_or(0)); };
    g.moments.n = count(at + 1);
    s.missing = count(at) - g.moments.n;
    s.failed = count(at + 2);
    g.failed_runs = count(at + 3);
    g.moments.shift = s.low ? *s.low : s.high ? *s.high : 0.0;
    g.moments.sum = row[at + 4].real().value_or(0);
    g.moments.squares = row[at + 5].real().value_or(0);
    g.moments.min = row[at + 6].real();
    g.moments.max = row[at + 7].real();
}

// Whether a group's sums may hold a value that is not finite: its minimum
// or maximum is an infinity or a NaN (which PostgreSQL ranks above every
// number; SQLite keeps none, a NaN there is NULL).
bool summed_a_value_not_finite(const Moments &m) {
    return (m.min && !std::isfinite(*m.min)) || (m.max && !std::isfinite(*m.max));
}

// A condition that a column holds exactly the value (NULL as NULL).
void add_exactly(std::string &where, std::vector<Value> &params, const char *column, Value value) {
    if (std::holds_alternative<std::monostate>(value)) {
        where += std::string(" AND ") + column + " IS NULL";
    } else {
        where += std::string(" AND ") + column + " = ?";
        params.push_back(std::move(value));
    }
}

// A cell of the given type as a parameter to ask for it again.
Value value_of(const Cell &cell, Type type) {
    if (!cell) {
        return Value();
    }
    switch (type) {
    case Type::Real: return *cell.real();
    case Type::Integer: return *cell.integer();
    case Type::Time:
    case Type::Text: break;
    }
    return text(cell);
}

// Every measurement of the window by step, point, name, unit, limits and
// set, summed by the database in one pass over the measurements.
//
// The measurements are summed by their own columns and step number (in the
// order of the index measurements_group, so without a sort), and each step
// number is given the command and point the window's steps had at it. Where
// a step number had more than one (two stations' scripts), its
// measurements are summed again with their steps joined. Every measurement
// has its step: a run's steps and measurements are written together.
std::vector<MeasurementGroup> measurement_groups(Connection &db, const Filter &f) {
    std::map<std::int64_t, std::vector<std::vector<Cell>>> points;  // by step number
    db.each_row("SELECT s.seq, s.command, s.band, s.channel, s.mode, s.rate FROM steps s" +
                    where_all({runs_in_window(f, "s.run_id")}) +
                    " GROUP BY s.seq, s.command, s.band, s.channel, s.mode, s.rate",
                f.params, {Type::Integer, Type::Text, Type::Text, Type::Integer, Type::Text, Type::Text},
                [&points](Row &row) {
                    points[row[0].integer().value_or(0)].push_back(std::vector<Cell>(row.begin() + 1, row.end()));
                });
    std::vector<MeasurementGroup> groups;
    const auto group_of = [](const Row &row, std::size_t at) {
        MeasurementGroup g;
        MeasurementStats &s = g.stats;
        s.name = text(row[at]);
        s.unit = text(row[at + 1]);
        s.low = row[at + 2].real();
        s.high = row[at + 3].real();
        s.limit_set = text(row[at + 4]);
        return g;
    };
    const auto set_point = [](MeasurementGroup &g, const std::vector<Cell> &step) {
        g.stats.command = text(step[0]);
        g.stats.point = point_of(step[1], step[2], step[3], step[4]);
        g.band = text(step[1]);
        g.channel = step[2].integer();
        g.mode = text(step[3]);
        g.rate = text(step[4]);
    };
    std::vector<Type> types{Type::Text, Type::Text, Type::Real, Type::Real, Type::Text, Type::Integer};
    types.insert(types.end(), kSumTypes.begin(), kSumTypes.end());
    std::set<std::int64_t> mixed;
    // The groups to sum again over their finite values: where each is, and
    // its key columns as stored.
    std::vector<std::pair<std::size_t, std::vector<Value>>> again;
    db.each_row("SELECT m.name, m.unit, m.low, m.high, m.limit_set, m.step_seq, " + group_sums(true, false) +
                    " FROM measurements m" + where_all({runs_in_window(f, "m.run_id")}) +
                    " GROUP BY m.name, m.unit, m.low, m.high, m.limit_set, m.step_seq",
                f.params, types, [&](Row &row) {
                    const std::int64_t seq = row[5].integer().value_or(0);
                    const auto it = points.find(seq);
                    if (it != points.end() && it->second.size() > 1) {
                        mixed.insert(seq);
                        return;
                    }
                    MeasurementGroup g = group_of(row, 0);
                    if (it != points.end()) {
                        set_point(g, it->second.front());
                    }
                    take_sums(row, 6, g);
                    g.seqs.insert(seq);
                    if (summed_a_value_not_finite(g.moments)) {
                        std::vector<Value> key;
                        for (std::size_t i = 0; i < 6; ++i) {
                            key.push_back(value_of(row[i], types[i]));
                        }
                        again.emplace_back(groups.size(), std::move(key));
                    }
                    groups.push_back(std::move(g));
                });
    for (auto &[group_at, key] : again) {
        MeasurementGroup &g = groups[group_at];
        std::string where = " WHERE 1 = 1";
        std::vector<Value> params;
        const char *columns[] = {"m.name", "m.unit", "m.low", "m.high", "m.limit_set", "m.step_seq"};
        for (std::size_t i = 0; i < key.size(); ++i) {
            add_exactly(where, params, columns[i], std::move(key[i]));
        }
        if (!f.where.empty()) {
            where += " AND " + runs_in_window(f, "m.run_id");
            params.insert(params.end(), f.params.begin(), f.params.end());
        }
        db.each_row("SELECT " + group_sums(true, true) + " FROM measurements m" + where, params, kSumTypes,
                    [&g](Row &row) { take_sums(row, 0, g); });
    }
    if (!mixed.empty()) {
        std::string numbers;
        for (std::int64_t seq : mixed) {
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(seq);
        }
        types = {Type::Text, Type::Text, Type::Real, Type::Real, Type::Text,
                 Type::Text, Type::Text, Type::Integer, Type::Text, Type::Text};
        types.insert(types.end(), kSumTypes.begin(), kSumTypes.end());
        const char *key = "m.name, m.unit, m.low, m.high, m.limit_set, s.command, s.band, s.channel, s.mode, s.rate";
        db.each_row(std::string("SELECT ") + key + ", " + group_sums(false, true) +
                        " FROM measurements m LEFT JOIN steps s ON s.run_id = m.run_id AND s.seq = m.step_seq" +
                        where_all({"m.step_seq IN (" + numbers + ")", runs_in_window(f, "m.run_id")}) +
                        " GROUP BY " + key,
                    f.params, types, [&](Row &row) {
                        MeasurementGroup g = group_of(row, 0);
                        set_point(g, std::vector<Cell>(row.begin() + 5, row.begin() + 10));
                        take_sums(row, 10, g);
                        groups.push_back(std::move(g));
                    });
    }
    return groups;
}

// The histogram of one measurement: its bins set from the group's minimum,
// maximum and limits, then filled by the database, bin by bin. The group
// is asked for as it reads (a NULL text as an empty one).
Histogram histogram_of(Connection &db, const Filter &f, const MeasurementStats &m, const MeasurementGroup &g) {
    Histogram h = histogram_frame(m.figures.n, m.figures.min, m.figures.max, m.low, m.high);
    if (m.figures.n == 0) {
        return h;
    }
    const std::string v = kFiniteValue;
    // Which bin: the whole part of (v - from) / width, never below 0 (no
    // value is below the lowest). PostgreSQL's CAST rounds, so it floors.
    const std::string position = "(" + v + " - ?) / ?";
    const std::string bin = db.dialect() == store::Dialect::Postgresql ? "FLOOR(" + position + ")"
                                                                       : "CAST(" + position + " AS INTEGER)";
    std::vector<Value> params{h.from, h.width, m.name, m.unit, m.limit_set};
    std::string where =
        " WHERE m.name = ? AND COALESCE(m.unit, '') = ? AND COALESCE(m.limit_set, '') = ? AND " + v + " IS NOT NULL";
    // Summed by step number: those numbers, in the index's order; else by
    // its steps, joined.
    std::string from = " FROM measurements m";
    if (!g.seqs.empty()) {
        std::string numbers;
        for (std::int64_t seq : g.seqs) {
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(seq);
        }
        where += " AND m.step_seq IN (" + numbers + ")";
    } else {
        from += " LEFT JOIN steps s ON s.run_id = m.run_id AND s.seq = m.step_seq";
        where += " AND COALESCE(s.command, '') = ? AND COALESCE(s.band, '') = ? AND COALESCE(s.mode, '') = ? AND "
                 "COALESCE(s.rate, '') = ?";
        params.insert(params.end(), {m.command, g.band, g.mode, g.rate});
    }
    const auto exactly = [&](const char *column, Value value) { add_exactly(where, params, column, std::move(value)); };
    exactly("m.low", m.low ? Value(*m.low) : Value());
    exactly("m.high", m.high ? Value(*m.high) : Value());
    if (g.seqs.empty()) {
        exactly("s.channel", g.channel ? Value(*g.channel) : Value());
    }
    if (!f.where.empty()) {
        where += " AND " + runs_in_window(f, "m.run_id");
        params.insert(params.end(), f.params.begin(), f.params.end());
    }
    const std::string sql = "SELECT " + bin + ", COUNT(*), SUM(CASE WHEN m.value < m.low OR m.value > m.high "
                            "THEN 1 ELSE 0 END)" + from + where + " GROUP BY 1";
    db.each_row(sql, params, {Type::Real, Type::Integer, Type::Integer}, [&h](Row &row) {
        const double bin_index = row[0].real().value_or(0);
        const auto last = static_cast<double>(h.counts.size() - 1);
        const auto i = static_cast<std::size_t>(std::clamp(bin_index, 0.0, last));
        h.counts[i] += static_cast<std::size_t>(row[1].integer().value_or(0));
        h.outside[i] += static_cast<std::size_t>(row[2].integer().value_or(0));
    });
    return h;
}

// The settings of a session that reads a report. PostgreSQL: the report
// reads every row of its results (through a cursor): plan for all of them,
// not the first tenth; and compiling these plans to machine code costs more
// than it saves. For this session only; nothing is written. A server
// without the setting (JIT came with PostgreSQL 11) is read as it plans.
void plan_for_reading(Connection &db) {
    if (db.dialect() != store::Dialect::Postgresql) {
        return;
    }
    for (const char *setting : {"SET cursor_tuple_fraction = 1.0", "SET jit = off"}) {
        try {
            db.execute(setting);
        } catch (const store::odbc::Error &) {
        }
    }
}

// A task on its own thread, joined however the caller leaves; what it
// threw is thrown again by get().
class Beside {
public:
    explicit Beside(std::function<void()> task)
        : thread_([this, task = std::move(task)] {
              try {
                  task();
              } catch (...) {
                  failure_ = std::current_exception();
              }
          }) {}
    Beside(const Beside &) = delete;
    Beside &operator=(const Beside &) = delete;
    ~Beside() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void get() {
        thread_.join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

private:
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace

Report read_report(Connection &db, const Window &window, const ReportOptions &options, std::int64_t generated_ms,
                   Connection *second) {
    const Filter f = window_filter(window);
    Report r;
    r.window = window;
    r.generated_ms = generated_ms;
    r.zone = options.zone.name();
    plan_for_reading(db);

    // The measurements are summed on the second connection, if there is
    // one, while the runs stream on this one: two reads of the database at
    // once, each on a core of its own.
    std::vector<MeasurementGroup> groups;
    std::optional<Beside> summing;
    if (second != nullptr) {
        plan_for_reading(*second);
        summing.emplace([&groups, second, &f] { groups = measurement_groups(*second, f); });
    }

    // Runs by verdict, and the yield: the runs board by board, one board
    // held at a time.
    std::map<std::string, std::size_t> verdicts;
    YieldTally tally(options.zone);
    db.each_row(std::string("SELECT ") + kBoardKey + ", r.run_id, r.started_at, r.station, r.lot, r.verdict, r.host" +
                    " FROM runs r" + f.where + " ORDER BY 1",
                f.params, {Type::Text, Type::Text, Type::Time, Type::Text, Type::Text, Type::Text, Type::Text},
                [&](Row &row) {
                    Run run;
                    run.run_id = text(row[1]);
                    run.started_ms = row[2].time().value_or(0);
                    run.station = text(row[3]);
                    run.lot = text(row[4]);
                    run.verdict = text(row[5]);
                    run.host = text(row[6]);
                    ++verdicts[run.verdict];
                    ++r.run_count;
                    tally.add(text(row[0]), std::move(run));
                });
    r.verdicts = verdict_counts(verdicts);
    r.overall = tally.overall();
    r.by_station = tally.by(GroupBy::Station);
    r.by_lot = tally.by(GroupBy::Lot);
    r.by_day = tally.by(GroupBy::Day);

    // Measurements: the groups with a limit get their figures; every
    // failed row counts in the Pareto.
    using Key = std::tuple<std::string, std::string, std::string, std::string, std::optional<double>,
                           std::optional<double>, std::string>;
    std::map<Key, MeasurementGroup> merged;
    std::map<std::pair<std::string, std::string>, ParetoItem> pareto;
    std::map<std::pair<std::string, std::string>, int> parts;  // groups behind each item
    if (summing) {
        summing->get();
    } else {
        groups = measurement_groups(db, f);
    }
    for (MeasurementGroup &g : groups) {
        const MeasurementStats &s = g.stats;
        if (s.failed != 0) {
            const std::pair<std::string, std::string> at{step_label(s.command, s.point),
                                                         failed_limit_text(s.name, s.low, s.high, s.limit_set)};
            ParetoItem &item = pareto[at];
            item.count += s.failed;
            item.runs += g.failed_runs;
            ++parts[at];
        }
        if (!s.low && !s.high) {
            continue;
        }
        // Groups whose columns differ but read the same (a NULL and an
        // empty unit) are one.
        const Key key{s.command, s.point, s.name, s.unit, s.low, s.high, s.limit_set};
        auto [it, fresh] = merged.try_emplace(key, g);
        if (!fresh) {
            it->second.stats.missing += s.missing;
            it->second.stats.failed += s.failed;
            it->second.moments.add(g.moments);
            if (g.seqs.empty()) {
                it->second.seqs.clear();
            } else if (!it->second.seqs.empty()) {
                it->second.seqs.insert(g.seqs.begin(), g.seqs.end());
            }
        }
    }
    std::vector<const MeasurementGroup *> columns;
    for (auto &entry : merged) {
        columns.push_back(&entry.second);
        MeasurementStats &s = entry.second.stats;
        s.figures = capability_from(entry.second.moments, s.low, s.high);
        if (std::optional<std::string> why = capability_withheld(s.command, s.name)) {
            s.figures.cp.reset();
            s.figures.cpk.reset();
            s.no_capability = *why;
        }
        r.measurements.push_back(s);
    }

    // An item that several groups feed (a step repeated at the same point,
    // under two numbers) counts a run that failed in more than one of them
    // once: its runs are counted again over its failed rows alone.
    if (std::any_of(parts.begin(), parts.end(), [](const auto &p) { return p.second > 1; })) {
        std::map<std::pair<std::string, std::string>, std::set<std::string>> runs_of;
        db.each_row("SELECT s.command, s.band, s.channel, s.mode, s.rate, m.name, m.low, m.high, m.limit_set, "
                    "m.run_id FROM measurements m LEFT JOIN steps s ON s.run_id = m.run_id AND s.seq = m.step_seq" +
                        where_all({"m.passed = 0", runs_in_window(f, "m.run_id")}),
                    f.params,
                    {Type::Text, Type::Text, Type::Integer, Type::Text, Type::Text, Type::Text, Type::Real,
                     Type::Real, Type::Text, Type::Text},
                    [&](Row &row) {
                        const std::pair<std::string, std::string> at{
                            step_label(text(row[0]), point_of(row[1], row[2], row[3], row[4])),
                            failed_limit_text(text(row[5]), row[6].real(), row[7].real(), text(row[8]))};
                        if (parts[at] > 1) {
                            runs_of[at].insert(text(row[9]));
                        }
                    });
        for (const auto &[at, runs] : runs_of) {
            pareto[at].runs = runs.size();
        }
    }

    // The steps that did not pass without a failed measurement of their
    // own, and the runs that did not pass with neither. (A step's outcome
    // is never NULL: one that never ended has an empty one.) The conditions
    // read as the partial indexes of migration 5 do, so that the database
    // reads those indexes and not every step.
    const std::string not_passed_step = "s.outcome <> 'pass'";
    const std::string no_failed_value =
        "NOT EXISTS (SELECT 1 FROM measurements m WHERE m.run_id = s.run_id AND m.step_seq = s.seq AND m.passed = 0)";
    db.each_row("SELECT s.command, s.band, s.channel, s.mode, s.rate, s.outcome, s.error_kind, COUNT(*), "
                "COUNT(DISTINCT s.run_id) FROM steps s" +
                    where_all({not_passed_step, no_failed_value, runs_in_window(f, "s.run_id")}) +
                    " GROUP BY s.command, s.band, s.channel, s.mode, s.rate, s.outcome, s.error_kind",
                f.params,
                {Type::Text, Type::Text, Type::Integer, Type::Text, Type::Text, Type::Text, Type::Text, Type::Integer,
                 Type::Integer},
                [&](Row &row) {
                    ParetoItem &item = pareto[{step_label(text(row[0]), point_of(row[1], row[2], row[3], row[4])),
                                               step_failure_text(text(row[5]), text(row[6]))}];
                    item.count += static_cast<std::size_t>(row[7].integer().value_or(0));
                    item.runs += static_cast<std::size_t>(row[8].integer().value_or(0));
                });
    db.each_row(std::string("SELECT r.verdict, COUNT(*)") + kRunsFrom +
                    where_all({f.where.empty() ? "" : f.where.substr(7), "r.verdict <> 'pass'",
                               "NOT EXISTS (SELECT 1 FROM measurements m WHERE m.run_id = r.run_id AND m.passed = 0)",
                               "NOT EXISTS (SELECT 1 FROM steps s WHERE s.run_id = r.run_id AND " + not_passed_step +
                                   ")"}) +
                    " GROUP BY r.verdict",
                f.params, {Type::Text, Type::Integer}, [&](Row &row) {
                    ParetoItem &item = pareto[{"(run)", text(row[0])}];
                    const auto count = static_cast<std::size_t>(row[1].integer().value_or(0));
                    item.count += count;
                    item.runs += count;
                });
    std::vector<ParetoItem> items;
    for (auto &[key, item] : pareto) {
        item.step = key.first;
        item.limit = key.second;
        items.push_back(std::move(item));
    }
    r.pareto = ranked_pareto(std::move(items));

    if (options.histograms) {
        // Each histogram reads its group's values again: with a second
        // connection, every other one is binned on it, at the same time.
        r.histograms.resize(r.measurements.size());
        const auto bin = [&](Connection &on, std::size_t first, std::size_t step) {
            for (std::size_t i = first; i < r.measurements.size(); i += step) {
                r.histograms[i] = histogram_of(on, f, r.measurements[i], *columns[i]);
            }
        };
        if (second != nullptr && !getenv("ONEBIN")) {
            Beside binning([&] { bin(*second, 1, 2); });
            bin(db, 0, 2);
            binning.get();
        } else {
            bin(db, 0, 1);
        }
    }

    if (options.list_runs) {
        r.runs_listed = true;
        db.each_row(std::string("SELECT ") + kRunColumns + kRunsFrom + f.where + " ORDER BY r.started_at, r.run_id",
                    f.params, kRunTypes, [&r](Row &row) { r.runs.push_back(run_of(row)); });
        std::stable_sort(r.runs.begin(), r.runs.end(), [](const Run &a, const Run &b) {
            return std::tie(a.started_ms, a.run_id) < std::tie(b.started_ms, b.run_id);
        });
    }
    return r;
}

FailingRuns read_failing_runs(Connection &db, const Window &window, std::size_t limit) {
    const Filter f = window_filter(window);
    const std::string where = f.where + (f.where.empty() ? " WHERE " : " AND ") + "r.verdict <> 'pass'";
    FailingRuns out;
    out.limit = limit;
    out.total = static_cast<std::size_t>(
        db.scalar("SELECT COUNT(*) FROM runs r" + where, f.params, Type::Integer).integer().value_or(0));
    if (limit == 0 || out.total == 0) {
        return out;
    }
    std::map<std::string, std::size_t> index;
    for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + kRunsFrom + where +
                                       " ORDER BY r.started_at DESC, r.run_id DESC" + first_rows(db, limit),
                                   f.params, kRunTypes)) {
        FailingRun failing;
        failing.run = run_of(row);
        index.emplace(failing.run.run_id, out.runs.size());
        out.runs.push_back(std::move(failing));
    }
    if (out.runs.empty()) {
        return out;
    }
    std::vector<Value> ids;
    for (const FailingRun &failing : out.runs) {
        ids.emplace_back(failing.run.run_id);
    }
    const std::string of_runs = " IN (" + placeholders(ids.size()) + ")";
    // What each run failed on first: the lowest step that did not pass, and
    // the first limit it broke there.
    for (const Row &row : db.query("SELECT s.run_id, s.seq, s.command, s.band, s.channel, s.mode, s.rate, "
                                   "s.outcome, s.error_kind FROM steps s WHERE s.outcome <> 'pass' AND s.run_id" +
                                       of_runs + " ORDER BY s.run_id, s.seq",
                                   ids, {Type::Text, Type::Integer, Type::Text, Type::Text, Type::Integer})) {
        FailingRun &failing = out.runs[index.at(text(row[0]))];
        if (failing.step_seq) {
            continue;
        }
        failing.step_seq = whole_or_zero(row[1]);
        failing.step = step_label(text(row[2]), point_of(row[3], row[4], row[5], row[6]));
        failing.outcome = text(row[7]).empty() ? "never ended" : text(row[7]);
        failing.kind = text(row[8]);
    }
    for (const Row &row : db.query(std::string("SELECT ") + kMeasurementColumns + kMeasurementsFrom +
                                       " WHERE m.passed = 0 AND m.run_id" + of_runs +
                                       " ORDER BY m.run_id, m.step_seq, m.name",
                                   ids, kMeasurementTypes)) {
        const Measurement m = measurement_of(row);
        FailingRun &failing = out.runs[index.at(m.run_id)];
        if (failing.limit_broken || (failing.step_seq && *failing.step_seq < m.step_seq)) {
            continue;
        }
        if (!failing.step_seq || *failing.step_seq > m.step_seq) {
            failing.step_seq = m.step_seq;
            failing.step = step_label(m.command, m.point);
            failing.outcome = "fail";
            failing.kind.clear();
        }
        failing.limit_broken = true;
        failing.name = m.name;
        failing.value = m.value;
        failing.unit = m.unit;
        failing.low = m.low;
        failing.high = m.high;
        failing.limit_set = m.limit_set;
    }
    return out;
}

namespace {

// What one run carries of its board.
struct Carried {
    std::string run_id;
    std::string serial;  // the run's serial, else the one its board gave
    std::string chip_id;
    std::string mac;
};

// The runs that carry one of the serials or MAC addresses, or whose id is
// `run_id`. Each branch of the union uses its own index (runs by serial,
// boards by serial, boards by MAC, runs by id).
std::vector<Carried> runs_carrying(Connection &db, const std::set<std::string> &serials,
                                   const std::set<std::string> &macs, const std::string &run_id) {
    std::vector<Value> params;
    std::string where = " WHERE r.run_id IN (SELECT run_id FROM runs WHERE run_id = ?";
    params.emplace_back(run_id);
    if (!serials.empty()) {
        where += " UNION SELECT run_id FROM runs WHERE serial IN (" + placeholders(serials.size()) +
                 ") UNION SELECT run_id FROM boards WHERE serial IN (" + placeholders(serials.size()) + ")";
        params.insert(params.end(), serials.begin(), serials.end());
        params.insert(params.end(), serials.begin(), serials.end());
    }
    if (!macs.empty()) {
        where += " UNION SELECT run_id FROM boards WHERE mac IN (" + placeholders(macs.size()) + ")";
        params.insert(params.end(), macs.begin(), macs.end());
    }
    where += ")";
    std::vector<Carried> out;
    for (const Row &row : db.query("SELECT r.run_id, r.serial, b.serial, b.chip_id, b.mac FROM runs r"
                                   " LEFT JOIN boards b ON b.run_id = r.run_id" +
                                       where,
                                   params)) {
        out.push_back(Carried{text(row[0]), text(row[1]).empty() ? text(row[2]) : text(row[1]), text(row[3]),
                              text(row[4])});
    }
    return out;
}

// The ids of the runs of the board that `key` names (see read_board): the
// runs the key names, then, until no run is added, the runs that carry
// one of the board's MAC addresses or serials. A serial found through a MAC
// address holds only the runs of the chips found with it (or of no known
// chip); one the key names holds them all.
std::set<std::string> board_run_ids(Connection &db, const std::string &key) {
    std::set<std::string> key_macs{key};
    if (const std::optional<std::string> mac = mac_key(key)) {
        key_macs.insert(*mac);
    }
    std::set<std::string> ids;
    std::set<std::string> whole_serials;                  // every run of these serials
    std::set<std::pair<std::string, std::string>> chips;  // a serial and a chip id of the board
    std::set<std::string> macs;
    const auto chip_of_board = [&](const Carried &c) {
        return chips.count({c.serial, c.chip_id}) != 0 || chips.count({c.serial, ""}) != 0 ||
               (c.chip_id.empty() && std::any_of(chips.begin(), chips.end(), [&](const auto &chip) {
                    return chip.first == c.serial;
                }));
    };
    std::vector<Carried> found = runs_carrying(db, {key}, key_macs, key);
    for (int round = 0; round < 8 && !found.empty(); ++round) {
        bool added = false;
        for (const Carried &c : found) {
            if (ids.count(c.run_id) != 0) {
                continue;
            }
            const bool named = round == 0 && (c.run_id == key || (!c.serial.empty() && c.serial == key));
            const bool by_mac = !c.mac.empty() && (macs.count(c.mac) != 0 || (round == 0 && key_macs.count(c.mac) != 0));
            const bool by_serial =
                !c.serial.empty() && (whole_serials.count(c.serial) != 0 || chip_of_board(c));
            if (!named && !by_mac && !by_serial) {
                continue;
            }
            ids.insert(c.run_id);
            added = true;
            if (!c.mac.empty()) {
                macs.insert(c.mac);
            }
            // A run found by its MAC address tells the board's serial and
            // chip (a chip not known: any chip of that serial).
            if (named && !c.serial.empty()) {
                whole_serials.insert(c.serial);
            } else if (by_mac && !c.serial.empty() && whole_serials.count(c.serial) == 0) {
                chips.emplace(c.serial, c.chip_id);
            }
        }
        if (!added) {
            break;
        }
        std::set<std::string> serials = whole_serials;
        for (const auto &chip : chips) {
            serials.insert(chip.first);
        }
        found = runs_carrying(db, serials, macs, key);
    }
    return ids;
}

}  // namespace

BoardHistory read_board(Connection &db, const std::string &key) {
    BoardHistory h;
    h.key = key;
    const std::set<std::string> ids = board_run_ids(db, key);
    if (ids.empty()) {
        return h;
    }
    const std::string where = " WHERE r.run_id IN (" + placeholders(ids.size()) + ")";
    const std::vector<Value> params(ids.begin(), ids.end());

    std::vector<Type> run_types = kRunTypes;
    run_types.insert(run_types.end(), {Type::Text, Type::Text});
    for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + ", b.serial, b.chip_id" + kRunsFrom +
                                       where + " ORDER BY r.started_at, r.run_id",
                                   params, run_types)) {
        h.rows.runs.push_back(run_of(row));
        h.identities.push_back(BoardIdentity{text(row[0]), text(row[11]).empty() ? text(row[6]) : text(row[11]),
                                             text(row[12]), text(row[7])});
    }
    if (h.rows.runs.empty()) {
        return h;
    }
    // Steps, measurements and burns of those runs.
    const std::string &board_runs = where;
    for (const Row &row : db.query(std::string("SELECT ") + kStepColumns +
                                       " FROM steps s JOIN runs r ON r.run_id = s.run_id" + board_runs +
                                       " ORDER BY r.started_at, s.run_id, s.seq",
                                   params, kStepTypes)) {
        h.rows.steps.push_back(step_of(row));
    }
    for (const Row &row : db.query(std::string("SELECT ") + kMeasurementColumns + kMeasurementsFrom + board_runs +
                                       " ORDER BY r.started_at, m.run_id, m.step_seq, m.name",
                                   params, kMeasurementTypes)) {
        h.rows.measurements.push_back(measurement_of(row));
    }
    for (const Row &row : db.query("SELECT u.run_id, u.step_seq, u.item, u.value, u.outcome FROM burns u"
                                   " JOIN runs r ON r.run_id = u.run_id" +
                                       board_runs + " ORDER BY r.started_at, u.run_id, u.step_seq, u.item",
                                   params, {Type::Text, Type::Integer})) {
        h.burns.push_back(Burn{text(row[0]), whole_or_zero(row[1]), text(row[2]), text(row[3]), text(row[4])});
    }
    return h;
}

void read_failing_boards(Connection &db, FailingRuns &failing) {
    std::set<std::string> seen;
    for (const FailingRun &f : failing.runs) {
        if (f.run.board.empty() || !seen.insert(f.run.board).second) {
            continue;
        }
        FailingRuns::BoardRuns board{f.run.board, 0, {}};
        const std::set<std::string> ids = board_run_ids(db, f.run.board);
        board.total = ids.size();
        if (!ids.empty()) {
            // The latest runs only: a reference board tested every shift
            // has thousands, and the page would hold them all.
            db.each_row(std::string("SELECT ") + kRunColumns + kRunsFrom + " WHERE r.run_id IN (" +
                            placeholders(ids.size()) + ") ORDER BY r.started_at DESC, r.run_id DESC" +
                            first_rows(db, kBoardRunsShown),
                        std::vector<Value>(ids.begin(), ids.end()), kRunTypes,
                        [&board](Row &row) { board.runs.push_back(run_of(row)); });
            std::reverse(board.runs.begin(), board.runs.end());
        }
        failing.boards.push_back(std::move(board));
    }
}

WindowWhere window_where(const Window &window) {
    Filter f = window_filter(window);
    return WindowWhere{std::move(f.where), std::move(f.params)};
}

std::string point_of(const Cell &band, const Cell &channel, const Cell &mode, const Cell &rate) {
    std::string point = text(band);
    const auto append = [&point](const std::string &part) {
        if (!part.empty()) {
            point += (point.empty() ? "" : " ") + part;
        }
    };
    append(channel ? "ch" + std::to_string(*channel.integer()) : "");
    append(text(mode));
    append(text(rate));
    return point;
}

}  // namespace deve::cli::report
