#include "report_rows.h"

#include <sstream>

namespace reporttest {

using namespace deve::cli::report;
using deve::store::odbc::Value;

namespace {

Value text_or_null(const std::string &text) { return text.empty() ? Value{} : Value{text}; }

Value number_or_null(const std::optional<double> &value) { return value ? Value{*value} : Value{}; }

}  // namespace

void insert_rows(deve::store::odbc::Connection &db, const Rows &rows, const std::vector<BoardIdentity> &identities,
                 const std::vector<Burn> &burns) {
    deve::store::odbc::Transaction transaction(db);
    for (const Run &r : rows.runs) {
        const std::string started = utc_text(r.started_ms);
        db.execute("INSERT INTO runs (run_id, started_at, ended_at, station, operator, serial, lot, tool_version,"
                   " verdict, exit_code, host) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {r.run_id, started, r.ended_ms ? Value{utc_text(*r.ended_ms)} : Value{}, text_or_null(r.station),
                    text_or_null(r.operator_name), text_or_null(r.serial), text_or_null(r.lot),
                    std::string("test"), r.verdict,
                    r.exit_code ? Value{std::int64_t{*r.exit_code}} : Value{}, text_or_null(r.host)});
        BoardIdentity id{r.run_id, r.serial, "0x74000000", r.board != r.serial ? r.board : ""};
        for (const BoardIdentity &given : identities) {
            if (given.run_id == r.run_id) {
                id = given;
            }
        }
        db.execute("INSERT INTO boards (run_id, serial, chip_id, mac) VALUES (?, ?, ?, ?)",
                   {r.run_id, text_or_null(id.serial), text_or_null(id.chip_id), text_or_null(id.mac)});
    }
    for (const Step &s : rows.steps) {
        std::istringstream point(s.point);
        std::string band, channel, mode, rate;
        point >> band >> channel >> mode >> rate;
        const std::string started = s.started_ms ? utc_text(*s.started_ms) : "2026-01-01T00:00:00.000Z";
        db.execute("INSERT INTO steps (run_id, seq, command, started_at, ended_at, band, channel, mode, rate,"
                   " outcome, error_kind) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {s.run_id, std::int64_t{s.seq}, s.command, started, started, text_or_null(band),
                    channel.size() > 2 ? Value{std::int64_t{std::stoi(channel.substr(2))}} : Value{},
                    text_or_null(mode), text_or_null(rate), s.outcome, text_or_null(s.kind)});
    }
    for (const Measurement &m : rows.measurements) {
        db.execute("INSERT INTO measurements (run_id, step_seq, name, value, unit, low, high, limit_set,"
                   " limit_source, passed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {m.run_id, std::int64_t{m.step_seq}, m.name, number_or_null(m.value), text_or_null(m.unit),
                    number_or_null(m.low), number_or_null(m.high), text_or_null(m.limit_set),
                    m.limit_set.empty() ? Value{} : Value{"set " + m.limit_set},
                    m.low || m.high ? Value{std::int64_t{m.passed ? 1 : 0}} : Value{}});
    }
    for (const Burn &b : burns) {
        db.execute("INSERT INTO burns (run_id, step_seq, item, value, outcome) VALUES (?, ?, ?, ?, ?)",
                   {b.run_id, std::int64_t{b.step_seq}, b.item, text_or_null(b.value), b.outcome});
    }
    transaction.commit();
}

}  // namespace reporttest
