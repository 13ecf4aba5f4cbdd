#include "report_store.h"

#include "deve/efuse_items.h"
#include "deve/efuse_map.h"

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

Filter window_filter(const Window &window) {
    Filter f;
    const auto add = [&f](const char *condition, Value value) {
        f.where += f.where.empty() ? " WHERE " : " AND ";
        f.where += condition;
        f.params.push_back(std::move(value));
    };
    if (window.since_ms) {
        add("r.started_at >= ?", utc_text(*window.since_ms));
    }
    if (window.until_ms) {
        add("r.started_at < ?", utc_text(*window.until_ms));
    }
    if (!window.station.empty()) {
        add("r.station = ?", window.station);
    }
    if (!window.lot.empty()) {
        add("r.lot = ?", window.lot);
    }
    return f;
}

// Runs, from "SELECT <kRunColumns> FROM runs r LEFT JOIN boards b ...".
constexpr const char *kRunColumns =
    "r.run_id, r.started_at, r.ended_at, r.station, r.operator, r.lot, r.serial, b.mac, r.verdict, r.exit_code";
constexpr const char *kRunsFrom = " FROM runs r LEFT JOIN boards b ON b.run_id = r.run_id";
const std::vector<Type> kRunTypes{Type::Text, Type::Time, Type::Time, Type::Text, Type::Text,
                                  Type::Text, Type::Text, Type::Text, Type::Text, Type::Integer};

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

// The placeholders of an IN list of `count` values: "?, ?, ?".
std::string placeholders(std::size_t count) {
    std::string list;
    for (std::size_t i = 0; i < count; ++i) {
        list += i == 0 ? "?" : ", ?";
    }
    return list;
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

BoardHistory read_board(Connection &db, const std::string &key) {
    BoardHistory h;
    h.key = key;
    // The board's serials and MAC addresses: the key itself, and those of a
    // run whose id it is.
    std::set<std::string> serials{key};
    std::set<std::string> macs{key};
    if (const std::optional<std::string> mac = mac_key(key)) {
        macs.insert(*mac);
    }
    for (const Row &row : db.query("SELECT r.serial, b.mac FROM runs r LEFT JOIN boards b ON b.run_id = r.run_id"
                                   " WHERE r.run_id = ?",
                                   {key})) {
        if (!text(row[0]).empty()) {
            serials.insert(text(row[0]));
        } else if (!text(row[1]).empty()) {
            macs.insert(text(row[1]));
        }
    }
    std::vector<Value> params;
    for (const std::string &s : serials) {
        params.emplace_back(s);
    }
    for (const std::string &m : macs) {
        params.emplace_back(m);
    }
    // Each branch of the union can use its own index (runs by serial,
    // boards by MAC).
    const std::string where = " WHERE r.run_id IN (SELECT run_id FROM runs WHERE serial IN (" +
                              placeholders(serials.size()) + ") UNION SELECT run_id FROM boards WHERE mac IN (" +
                              placeholders(macs.size()) + ") UNION SELECT run_id FROM runs WHERE run_id = ?)";
    params.emplace_back(key);

    std::vector<Type> run_types = kRunTypes;
    run_types.insert(run_types.end(), {Type::Text, Type::Text});
    for (const Row &row : db.query(std::string("SELECT ") + kRunColumns + ", b.serial, b.chip_id" + kRunsFrom +
                                       where + " ORDER BY r.started_at, r.run_id",
                                   params, run_types)) {
        h.rows.runs.push_back(run_of(row));
        h.identities.push_back(BoardIdentity{text(row[0]), text(row[10]).empty() ? text(row[6]) : text(row[10]),
                                             text(row[11]), text(row[7])});
    }
    if (h.rows.runs.empty()) {
        return h;
    }
    // Steps, measurements and burns of those runs.
    const std::string board_runs = " LEFT JOIN boards b ON b.run_id = r.run_id" + where;
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

WindowWhere window_where(const Window &window) {
    Filter f = window_filter(window);
    return WindowWhere{std::move(f.where), std::move(f.params)};
}

}  // namespace deve::cli::report
