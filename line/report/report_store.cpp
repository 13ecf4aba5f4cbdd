#include "report_store.h"

#include "deve/efuse_items.h"
#include "deve/efuse_map.h"

#include <algorithm>
#include <map>
#include <set>

namespace deve::cli::report {

namespace {

using store::odbc::Cell;
using store::odbc::Connection;
using store::odbc::Row;
using store::odbc::Value;

using store::odbc::Type;

std::string text(const Cell &cell) { return cell.text().value_or(std::string()); }

int whole_or_zero(const Cell &cell) { return static_cast<int>(cell.integer().value_or(0)); }

// "2G ch6 11n-HT20 MCS7" from the step's band, channel, mode and rate.
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

Rows read_rows(Connection &db, const Window &window) {
    const Filter f = window_filter(window);
    Rows rows;
    for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + kRunsFrom + f.where +
                                       " ORDER BY r.started_at, r.run_id",
                                   f.params, kRunTypes)) {
        rows.runs.push_back(run_of(row));
    }
    for (const Row &row : db.query(std::string("SELECT ") + kStepColumns +
                                       " FROM steps s JOIN runs r ON r.run_id = s.run_id" + f.where +
                                       " ORDER BY r.started_at, s.run_id, s.seq",
                                   f.params, kStepTypes)) {
        rows.steps.push_back(step_of(row));
    }
    for (const Row &row : db.query(std::string("SELECT ") + kMeasurementColumns + kMeasurementsFrom + f.where +
                                       " ORDER BY r.started_at, m.run_id, m.step_seq, m.name",
                                   f.params, kMeasurementTypes)) {
        rows.measurements.push_back(measurement_of(row));
    }
    return rows;
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
    // The count is a number of ours, not a value given from outside.
    const std::string first_rows = db.dialect() == store::Dialect::Other
                                       ? " FETCH FIRST " + std::to_string(limit) + " ROWS ONLY"
                                       : " LIMIT " + std::to_string(limit);
    std::map<std::string, std::size_t> index;
    for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + kRunsFrom + where +
                                       " ORDER BY r.started_at DESC, r.run_id DESC" + first_rows,
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
        FailingRuns::BoardRuns board{f.run.board, {}};
        const std::set<std::string> ids = board_run_ids(db, f.run.board);
        if (!ids.empty()) {
            for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + kRunsFrom + " WHERE r.run_id IN (" +
                                               placeholders(ids.size()) + ") ORDER BY r.started_at, r.run_id",
                                           std::vector<Value>(ids.begin(), ids.end()), kRunTypes)) {
                board.runs.push_back(run_of(row));
            }
        }
        failing.boards.push_back(std::move(board));
    }
}

WindowWhere window_where(const Window &window) {
    Filter f = window_filter(window);
    return WindowWhere{std::move(f.where), std::move(f.params)};
}

}  // namespace deve::cli::report
