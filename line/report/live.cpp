#include "live.h"

#include "common/json.h"
#include "common/text_format.h"
#include "report_store.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <tuple>

namespace deve::cli::report {

namespace {

using store::odbc::Cell;
using store::odbc::Connection;
using store::odbc::Row;
using store::odbc::Type;
using store::odbc::Value;

std::string text(const Cell &cell) { return cell.text().value_or(std::string()); }

std::size_t count(const Cell &cell) {
    return static_cast<std::size_t>(std::max<std::int64_t>(0, cell.integer().value_or(0)));
}

// The runs of the window, as the report reads them.
constexpr const char *kRunsFrom = " FROM runs r LEFT JOIN boards b ON b.run_id = r.run_id";

// A board as the report's yield counts it: its serial, else its MAC
// address, else the run alone (prefixed, so that a serial never meets a run
// id).
constexpr const char *kBoardKey = "CASE WHEN r.serial IS NOT NULL AND r.serial <> '' THEN 'b:' || r.serial"
                                  " WHEN b.mac IS NOT NULL AND b.mac <> '' THEN 'b:' || b.mac ELSE 'r:' || "
                                  "r.run_id END";
// The board as a tile or a failure shows it.
constexpr const char *kBoardShown = "CASE WHEN r.serial IS NOT NULL AND r.serial <> '' THEN r.serial ELSE "
                                    "COALESCE(b.mac, '') END";

// The window's WHERE clause with one more condition.
std::string where_and(const WindowWhere &w, const std::string &condition) {
    return w.where + (w.where.empty() ? " WHERE " : " AND ") + condition;
}

std::string placeholders(std::size_t n) {
    std::string list;
    for (std::size_t i = 0; i < n; ++i) {
        list += i == 0 ? "?" : ", ?";
    }
    return list;
}

std::vector<LiveStation> read_stations(Connection &db, const WindowWhere &w) {
    const std::string inner = std::string("SELECT COALESCE(r.station, '') AS station, r.verdict AS verdict,"
                                          " ROW_NUMBER() OVER (PARTITION BY COALESCE(r.station, ''), ") +
                              kBoardKey + " ORDER BY r.started_at, r.run_id) AS first_n," +
                              " ROW_NUMBER() OVER (PARTITION BY COALESCE(r.station, ''), " + kBoardKey +
                              " ORDER BY r.started_at DESC, r.run_id DESC) AS last_n" + kRunsFrom + w.where;
    const std::string sql = "SELECT station, COUNT(*),"
                            " SUM(CASE WHEN first_n = 1 THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN first_n = 1 AND verdict = 'pass' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN last_n = 1 AND verdict = 'pass' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN verdict = 'pass' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN verdict = 'fail' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN verdict = 'error' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN verdict = 'interrupted' THEN 1 ELSE 0 END),"
                            " SUM(CASE WHEN verdict = 'incomplete' THEN 1 ELSE 0 END)"
                            " FROM (" +
                            inner + ") w GROUP BY station";
    std::vector<LiveStation> out;
    for (const Row &row : db.query(sql, w.params,
                                   {Type::Text, Type::Integer, Type::Integer, Type::Integer, Type::Integer,
                                    Type::Integer, Type::Integer, Type::Integer, Type::Integer, Type::Integer})) {
        LiveStation s;
        s.station = text(row[0]);
        s.runs = count(row[1]);
        s.boards = count(row[2]);
        s.first_pass = count(row[3]);
        s.final_pass = count(row[4]);
        s.passed = count(row[5]);
        s.failed = count(row[6]);
        s.errors = count(row[7]);
        s.interrupted = count(row[8]);
        s.incomplete = count(row[9]);
        out.push_back(s);
    }
    std::sort(out.begin(), out.end(),
              [](const LiveStation &a, const LiveStation &b) { return natural_less(a.station, b.station); });
    return out;
}

std::vector<LiveTile> read_tiles(Connection &db, const WindowWhere &w, std::int64_t now_ms) {
    const std::string inner = std::string("SELECT COALESCE(r.station, '') AS station, COALESCE(r.host, "
                                          "'') AS host, r.run_id AS run_id,"
                                          " r.started_at AS started_at, r.ended_at AS ended_at, "
                                          "r.verdict AS verdict, ") +
                              kBoardShown +
                              " AS board, ROW_NUMBER() OVER (PARTITION BY COALESCE(r.station, ''), "
                              "COALESCE(r.host, '')"
                              " ORDER BY r.started_at DESC, r.run_id DESC) AS n" +
                              kRunsFrom + w.where;
    const std::string sql = "SELECT t.station, t.host, t.run_id, t.started_at, t.ended_at, "
                            "t.verdict, t.board,"
                            " (SELECT MAX(s.ended_at) FROM steps s WHERE s.run_id = t.run_id),"
                            " (SELECT s.command FROM steps s WHERE s.run_id = t.run_id ORDER BY "
                            "s.seq DESC LIMIT 1)"
                            " FROM (" +
                            inner + ") t WHERE t.n = 1";
    std::vector<LiveTile> out;
    for (const Row &row : db.query(sql, w.params,
                                   {Type::Text, Type::Text, Type::Text, Type::Time, Type::Time, Type::Text, Type::Text,
                                    Type::Time, Type::Text})) {
        LiveTile t;
        t.station = text(row[0]);
        t.host = text(row[1]);
        t.run_id = text(row[2]);
        t.started_ms = row[3].time().value_or(0);
        t.ended_ms = row[4].time();
        t.verdict = text(row[5]);
        t.board = text(row[6]);
        t.last_activity_ms = std::max(t.started_ms, row[7].time().value_or(t.started_ms));
        t.last_command = text(row[8]);
        // A run that has ended is the station's last; one that has not is
        // under way while steps keep ending, and stopped part-way after.
        if (t.ended_ms || t.verdict != "incomplete") {
            t.state = StationState::Idle;
        } else {
            t.state = now_ms - t.last_activity_ms < kStalledAfterMs ? StationState::Testing : StationState::Incomplete;
        }
        out.push_back(t);
    }
    std::sort(out.begin(), out.end(), [](const LiveTile &a, const LiveTile &b) {
        if (a.station != b.station) {
            return natural_less(a.station, b.station);
        }
        return natural_less(a.host, b.host);
    });
    return out;
}

std::vector<LiveFailure> read_failures(Connection &db, const WindowWhere &w) {
    const std::string inner = std::string("SELECT r.run_id AS run_id, r.started_at AS started_at, "
                                          "COALESCE(r.station, '') AS station,"
                                          " COALESCE(r.host, '') AS host, ") +
                              kBoardShown +
                              " AS board, r.verdict AS verdict, ROW_NUMBER() OVER (PARTITION BY "
                              "COALESCE(r.station, '')"
                              " ORDER BY r.started_at DESC, r.run_id DESC) AS n" +
                              kRunsFrom + where_and(w, "r.verdict IN ('fail', 'error', 'interrupted')");
    const std::string sql = "SELECT f.run_id, f.started_at, f.station, f.host, "
                            "f.board, f.verdict FROM (" +
                            inner + ") f WHERE f.n <= " + std::to_string(kLiveFailures) +
                            " ORDER BY f.started_at DESC, f.run_id DESC";
    std::vector<LiveFailure> out;
    for (const Row &row :
         db.query(sql, w.params, {Type::Text, Type::Time, Type::Text, Type::Text, Type::Text, Type::Text})) {
        LiveFailure f;
        f.run_id = text(row[0]);
        f.started_ms = row[1].time().value_or(0);
        f.station = text(row[2]);
        f.host = text(row[3]);
        f.board = text(row[4]);
        f.verdict = text(row[5]);
        out.push_back(f);
    }
    if (out.empty()) {
        return out;
    }
    // The first step of each run that did not pass, and its first failed
    // measurement: a few rows for each of these runs only.
    std::map<std::string, LiveFailure *> by_run;
    std::vector<Value> ids;
    for (LiveFailure &f : out) {
        by_run[f.run_id] = &f;
        ids.emplace_back(f.run_id);
    }
    std::map<std::string, int> failed_seq;
    for (const Row &row : db.query("SELECT s.run_id, s.seq, s.command, s.band, "
                                   "s.channel, s.mode, s.rate, s.outcome,"
                                   " s.detail, s.error_kind FROM steps s WHERE s.run_id IN (" +
                                       placeholders(ids.size()) +
                                       ") AND (s.outcome IS NULL OR s.outcome <> "
                                       "'pass') ORDER BY s.run_id, s.seq",
                                   ids,
                                   {Type::Text, Type::Integer, Type::Text, Type::Text, Type::Integer, Type::Text,
                                    Type::Text, Type::Text, Type::Text, Type::Text})) {
        const std::string run = text(row[0]);
        if (failed_seq.count(run) != 0) {
            continue;
        }
        failed_seq[run] = static_cast<int>(row[1].integer().value_or(0));
        LiveFailure &f = *by_run.at(run);
        f.step = step_label(text(row[2]), point_of(row[3], row[4], row[5], row[6]));
        f.outcome = row[7] ? text(row[7]) : "incomplete";
        // An error's kind with its outcome: "error (link)".
        if (!text(row[9]).empty()) {
            f.outcome += " (" + text(row[9]) + ")";
        }
        f.detail = text(row[8]);
    }
    std::set<std::string> measured;
    for (const Row &row :
         db.query("SELECT m.run_id, m.step_seq, m.name, m.value, m.unit, m.low, m.high"
                  " FROM measurements m WHERE m.run_id IN (" +
                      placeholders(ids.size()) + ") AND m.passed = 0 ORDER BY m.run_id, m.step_seq, m.name",
                  ids, {Type::Text, Type::Integer, Type::Text, Type::Real, Type::Text, Type::Real, Type::Real})) {
        const std::string run = text(row[0]);
        const auto seq = failed_seq.find(run);
        if (measured.count(run) != 0 || seq == failed_seq.end() || seq->second != row[1].integer().value_or(-1)) {
            continue;
        }
        measured.insert(run);
        const std::optional<double> value = row[3].real();
        const std::string unit = text(row[4]);
        by_run.at(run)->detail = text(row[2]) + " " + (value ? short_number(*value) : std::string("none")) +
                                 (unit.empty() ? "" : " " + unit) + ", limit " +
                                 limit_text(text(row[2]), row[5].real(), row[6].real());
    }
    return out;
}

std::vector<LivePool> read_pools(Connection &db) {
    std::vector<LivePool> out;
    for (const Row &row : db.query("SELECT p.name,"
                                   " (SELECT SUM(g.last_mac - g.first_mac + 1) FROM pool_ranges g "
                                   "WHERE g.pool = p.name),"
                                   " (SELECT SUM(CASE WHEN g.next_mac <= g.last_mac THEN g.last_mac - "
                                   "g.next_mac + 1 ELSE 0 END)"
                                   " FROM pool_ranges g WHERE g.pool = p.name),"
                                   " (SELECT COUNT(*) FROM mac_addresses a WHERE a.pool = p.name AND "
                                   "a.state = 'released')"
                                   " FROM pools p ORDER BY p.name",
                                   {}, {Type::Text, Type::Integer, Type::Integer, Type::Integer})) {
        LivePool p;
        p.pool = text(row[0]);
        p.size = count(row[1]);
        // Free as pool status counts it: never taken, or released.
        p.free = count(row[2]) + count(row[3]);
        out.push_back(p);
    }
    return out;
}

ordered_json optional_time(const std::optional<std::int64_t> &ms) {
    return ms ? ordered_json(utc_text(*ms)) : ordered_json(nullptr);
}

ordered_json share(std::size_t part, std::size_t whole) {
    return whole == 0 ? ordered_json(nullptr) : ordered_json(static_cast<double>(part) / static_cast<double>(whole));
}

}  // namespace

const char *state_name(StationState state) {
    switch (state) {
    case StationState::Testing: return "testing";
    case StationState::Incomplete: return "incomplete";
    case StationState::Idle: break;
    }
    return "idle";
}

LiveFigures read_live(Connection &db, const Window &window, std::int64_t now_ms) {
    const WindowWhere w = window_where(window);
    LiveFigures figures;
    figures.window = window;
    figures.read_ms = now_ms;
    figures.stations = read_stations(db, w);
    figures.tiles = read_tiles(db, w, now_ms);
    figures.failures = read_failures(db, w);
    figures.pools = read_pools(db);
    return figures;
}

std::string live_json(const LiveFigures *figures, const LiveView &view, const StoreState &store, std::int64_t now_ms) {
    const std::set<std::string> wanted(view.stations.begin(), view.stations.end());
    const auto shown = [&wanted](const std::string &station) { return wanted.empty() || wanted.count(station) != 0; };
    ordered_json out{{"type", "live"}, {"generated_at", utc_text(now_ms)}};
    out["store"] =
        ordered_json{{"reachable", store.reachable},
                     {"unreachable_since", optional_time(store.unreachable_since_ms)},
                     {"problem", store.problem.empty() ? ordered_json(nullptr) : ordered_json(store.problem)}};
    out["view"] = ordered_json{{"stations", view.stations}};
    if (figures == nullptr) {
        out["figures"] = nullptr;
        return dump_record(out);
    }
    ordered_json window{
        {"since", optional_time(figures->window.since_ms)},
        {"until", optional_time(figures->window.until_ms)},
        {"stations", figures->window.stations},
        {"lots", figures->window.lots},
        {"serials", figures->window.serials},
        {"hosts", figures->window.hosts},
        {"pools", figures->window.pools},
        {"verdicts", figures->window.verdicts},
        {"text", window_text(figures->window)}};
    ordered_json stations = ordered_json::array();
    for (const LiveStation &s : figures->stations) {
        if (!shown(s.station)) {
            continue;
        }
        stations.push_back(ordered_json{{"station", s.station},
                                        {"runs", s.runs},
                                        {"boards", s.boards},
                                        {"first_pass", s.first_pass},
                                        {"final_pass", s.final_pass},
                                        {"first_pass_yield", share(s.first_pass, s.boards)},
                                        {"final_yield", share(s.final_pass, s.boards)},
                                        {"verdicts", ordered_json{{"pass", s.passed},
                                                                  {"fail", s.failed},
                                                                  {"error", s.errors},
                                                                  {"interrupted", s.interrupted},
                                                                  {"incomplete", s.incomplete}}}});
    }
    ordered_json tiles = ordered_json::array();
    for (const LiveTile &t : figures->tiles) {
        if (!shown(t.station)) {
            continue;
        }
        tiles.push_back(ordered_json{{"station", t.station},
                                     {"host", t.host},
                                     {"state", state_name(t.state)},
                                     {"run_id", t.run_id},
                                     {"board", t.board},
                                     {"verdict", t.verdict},
                                     {"started_at", utc_text(t.started_ms)},
                                     {"ended_at", optional_time(t.ended_ms)},
                                     {"last_activity_at", utc_text(t.last_activity_ms)},
                                     {"last_command", t.last_command}});
    }
    ordered_json failures = ordered_json::array();
    for (const LiveFailure &f : figures->failures) {
        if (failures.size() == kLiveFailures) {
            break;
        }
        if (!shown(f.station)) {
            continue;
        }
        failures.push_back(ordered_json{{"run_id", f.run_id},
                                        {"started_at", utc_text(f.started_ms)},
                                        {"station", f.station},
                                        {"host", f.host},
                                        {"board", f.board},
                                        {"verdict", f.verdict},
                                        {"step", f.step},
                                        {"outcome", f.outcome},
                                        {"detail", f.detail}});
    }
    ordered_json pools = ordered_json::array();
    for (const LivePool &p : figures->pools) {
        pools.push_back(ordered_json{{"pool", p.pool}, {"size", p.size}, {"free", p.free}});
    }
    out["figures"] = ordered_json{{"read_at", utc_text(figures->read_ms)},
                                  {"window", window},
                                  {"stations", stations},
                                  {"tiles", tiles},
                                  {"failures", failures},
                                  {"pools", pools}};
    return dump_record(out);
}

}  // namespace deve::cli::report
