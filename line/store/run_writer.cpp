#include "run_writer.h"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

namespace deve::store {

namespace {

using nlohmann::json;
using odbc::Value;

// The quantities a record measures, by record type.
struct Measured {
    const char *type;
    std::vector<const char *> fields;
};
const std::array<Measured, 4> kMeasured{{
    {"tx", {"frames", "frames_per_second"}},
    {"rx", {"errors", "frames", "per"}},
    {"temp", {"celsius"}},
    {"trim", {"best", "best_per"}},
}};

// The quantity a limit bounds, and which side.
struct LimitOf {
    const char *limit;
    const char *quantity;
};
const std::array<LimitOf, 4> kLimits{{
    {"min-frames", "frames"},
    {"min-fps", "frames_per_second"},
    {"max-per", "per"},
    {"max-errors", "errors"},
}};

// The --meta keys that have a column of runs.
const std::array<const char *, 4> kMetaColumns{"station", "operator", "serial", "lot"};

Value text(const json &object, const char *key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return Value{};
    }
    if (it->is_string()) {
        return it->get<std::string>();
    }
    return it->dump();
}

Value number(const json &object, const char *key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return Value{};
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    return it->get<double>();
}

std::string string_of(const json &object, const char *key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

Value text_or_null(const std::string &s) { return s.empty() ? Value{} : Value{s}; }

}  // namespace

std::string step_mark_line(const StepMark &mark) {
    json line = {{"mark", "step_end"},        {"step", mark.step},
                 {"command", mark.command},   {"outcome", mark.outcome},
                 {"kind", mark.kind},         {"reason", mark.reason},
                 {"started_at", mark.started_at}, {"ended_at", mark.ended_at}};
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

struct RunWriter::State {
    odbc::Connection &db;
    bool from_spool;
    bool whole;
    std::string run_id;
    bool skip = false;          // already stored whole
    bool run_written = false;
    bool replacing = false;     // a part of the run is in the store: replace it
    json open;                  // the open record, until step 0 ends
    std::vector<json> pending;  // the records of the step under way
    std::string mac;            // the board's MAC as last seen in the run

    State(odbc::Connection &connection, bool spool, bool in_one) : db(connection), from_spool(spool), whole(in_one) {}


    void on_open(const json &record) {
        run_id = string_of(record, "run_id");
        open = record;
        if (!from_spool) {
            return;
        }
        const odbc::Cell verdict = db.scalar("SELECT verdict FROM runs WHERE run_id = ?", {run_id});
        if (verdict) {
            skip = verdict.text() != "incomplete";
            replacing = !skip;
        }
    }

    // The run's row, its --meta pairs and its board (inside a transaction).
    void write_run() {
        if (run_written || open.is_null()) {
            return;
        }
        if (replacing) {
            for (const char *table : {"measurements", "burns", "steps", "boards", "run_meta"}) {
                db.execute(std::string("DELETE FROM ") + table + " WHERE run_id = ?", {run_id});
            }
            db.execute("DELETE FROM runs WHERE run_id = ?", {run_id});
        }
        const json meta = open.contains("meta") && open["meta"].is_object() ? open["meta"] : json::object();
        std::vector<Value> values{run_id,
                                  open.contains("started_at") ? text(open, "started_at") : text(open, "time")};
        for (const char *key : kMetaColumns) {
            values.push_back(text(meta, key));
        }
        for (const char *key : {"version", "host", "port", "supply", "crystal", "open", "limits_file",
                                "limits_sha256", "commands_file", "commands_sha256"}) {
            values.push_back(text(open, key));
        }
        if (std::holds_alternative<std::monostate>(values[6])) {
            values[6] = std::string("unknown");
        }
        values.push_back(std::int64_t{from_spool ? 1 : 0});
        db.execute("INSERT INTO runs (run_id, started_at, station, operator, serial, lot, tool_version, host, port, "
                   "supply, crystal, open_mode, limits_path, limits_sha256, commands_path, commands_sha256, verdict, "
                   "spooled) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'incomplete', ?)",
                   values);
        for (const auto &[key, value] : meta.items()) {
            bool has_column = false;
            for (const char *column : kMetaColumns) {
                has_column = has_column || key == column;
            }
            if (!has_column) {
                db.execute("INSERT INTO run_meta (run_id, name, value) VALUES (?, ?, ?)",
                           {run_id, key, value.is_string() ? value.get<std::string>() : value.dump()});
            }
        }
        db.execute("INSERT INTO boards (run_id, serial, chip_id) VALUES (?, ?, ?)",
                   {run_id, text(meta, "serial"), text(open, "chip_id")});
        run_written = true;
    }

    void write_step(const json &mark, const std::string &outcome) {
        const std::int64_t seq = mark.value("step", std::int64_t{0});
        // The operating point of the step's first record that has one.
        json point = json::object();
        for (const json &r : pending) {
            if (r.contains("band")) {
                point = r;
                break;
            }
        }
        // A tx or rx run: how it ended and the frames it used.
        json run = json::object();
        for (const json &r : pending) {
            const std::string type = string_of(r, "type");
            if (type == "tx" || type == "rx") {
                run = r;
            }
        }
        db.execute("INSERT INTO steps (run_id, seq, command, started_at, ended_at, band, channel, frequency, mode, "
                   "rate, freq_offset, outcome, error_kind, detail, ending, frames_used) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {run_id, seq, string_of(mark, "command"), string_of(mark, "started_at"),
                    string_of(mark, "ended_at"), text(point, "band"), number(point, "channel"),
                    number(point, "frequency"), text(point, "mode"), text(point, "rate"), number(point, "offset"),
                    outcome, text_or_null(string_of(mark, "kind")), text_or_null(string_of(mark, "reason")),
                    text(run, "ending"), number(run, "frames")});
        std::optional<std::string> chip_id;
        std::string value_after;  // the preview's, for a burn that reads nothing back
        for (const json &r : pending) {
            const std::string type = string_of(r, "type");
            for (const Measured &m : kMeasured) {
                if (type == m.type) {
                    write_measurements(seq, r, m);
                }
            }
            if (type == "efuse_preview") {
                value_after = string_of(r, "value_after");
            } else if (type == "efuse_burn") {
                const std::string burn_outcome = string_of(r, "outcome");
                std::string value = string_of(r, "value");
                if (value.empty()) {
                    value = value_after;
                }
                const std::string detail = !string_of(r, "reason").empty() ? string_of(r, "reason")
                                                                           : string_of(r, "detail");
                db.execute("INSERT INTO burns (run_id, step_seq, item, value, outcome, detail) VALUES (?, ?, ?, ?, ?, ?)",
                           {run_id, seq, string_of(r, "item"), text_or_null(value), burn_outcome,
                            text_or_null(detail)});
                if (string_of(r, "item") == "MAC" && (burn_outcome == "burned" || burn_outcome == "unchanged")) {
                    mac = value;
                }
            } else if (type == "mac_pool" && !string_of(r, "mac").empty() &&
                       (string_of(r, "outcome") == "burned" || string_of(r, "outcome") == "unchanged" ||
                        string_of(r, "outcome") == "adopted")) {
                // A board's address from a MAC pool, also one it held already.
                mac = string_of(r, "mac");
            } else if (type == "mac" && !string_of(r, "mac").empty()) {
                mac = string_of(r, "mac");
            } else if (type == "efuse_read" && r.contains("items") && r["items"].is_array()) {
                for (const json &item : r["items"]) {
                    if (item.value("item", std::string()) == "MAC" && item.contains("mac") && item["mac"].is_string()) {
                        mac = item["mac"].get<std::string>();
                    }
                }
            } else if (type == "info" && r.contains("chip_id") && r["chip_id"].is_string()) {
                chip_id = r["chip_id"].get<std::string>();
            }
        }
        if (!mac.empty()) {
            db.execute("UPDATE boards SET mac = ? WHERE run_id = ?", {mac, run_id});
        }
        if (chip_id) {
            db.execute("UPDATE boards SET chip_id = ? WHERE run_id = ? AND chip_id IS NULL", {*chip_id, run_id});
        }
    }

    void write_measurements(std::int64_t seq, const json &record, const Measured &measured) {
        const json units = record.contains("units") ? record["units"] : json::object();
        const json limits = record.contains("limits") && record["limits"].is_array() ? record["limits"] : json::array();
        for (const char *field : measured.fields) {
            Value low;
            Value high;
            Value source;
            std::optional<bool> passed;
            for (const json &check : limits) {
                const std::string name = check.value("name", std::string());
                for (const LimitOf &l : kLimits) {
                    if (name != l.limit || std::string(field) != l.quantity) {
                        continue;
                    }
                    const std::string relation = check.value("relation", std::string());
                    (relation == "<=" ? high : low) = number(check, "limit");
                    source = text(check, "source");
                    passed = passed.value_or(true) && check.value("pass", false);
                }
            }
            db.execute("INSERT INTO measurements (run_id, step_seq, name, value, unit, low, high, limit_set, "
                       "limit_source, passed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       {run_id, seq, std::string(field), number(record, field), text(units, field), low, high,
                        text(record, "limit_set"), source,
                        passed ? Value{std::int64_t{*passed ? 1 : 0}} : Value{}});
        }
    }

    void on_mark(const json &mark) {
        // A step's transaction, unless the caller holds one for the journal.
        std::optional<odbc::Transaction> transaction;
        if (!whole) {
            transaction.emplace(db);
        }
        if (mark.value("step", 0) == 0) {
            write_run();
        }
        if (run_written) {
            write_step(mark, string_of(mark, "outcome"));
        }
        if (transaction) {
            transaction->commit();
        }
        pending.clear();
    }

    void on_end(const json &record) {
        // A step's transaction, unless the caller holds one for the journal.
        std::optional<odbc::Transaction> transaction;
        if (!whole) {
            transaction.emplace(db);
        }
        write_run();
        if (run_written) {
            db.execute("UPDATE runs SET ended_at = ?, verdict = ?, exit_code = ? WHERE run_id = ?",
                       {text(record, "time"), text(record, "verdict"), number(record, "exit_code"), run_id});
        }
        if (transaction) {
            transaction->commit();
        }
        pending.clear();
    }

    void finish() {
        if (skip || open.is_null()) {
            return;
        }
        // A step's transaction, unless the caller holds one for the journal.
        std::optional<odbc::Transaction> transaction;
        if (!whole) {
            transaction.emplace(db);
        }
        write_run();
        // A step under way when the journal stopped.
        std::optional<std::int64_t> step;
        for (const json &r : pending) {
            if (r.value("step", std::int64_t{0}) > 0) {
                step = r["step"].get<std::int64_t>();
            }
        }
        if (step && run_written &&
            !db.scalar("SELECT seq FROM steps WHERE run_id = ? AND seq = ?", {run_id, *step})) {
            json mark = {{"step", *step}, {"outcome", "incomplete"}};
            for (const json &r : pending) {
                if (r.value("step", std::int64_t{0}) == *step) {
                    mark["command"] = string_of(r, "command");
                    if (!mark.contains("started_at")) {
                        mark["started_at"] = r.value("started_at", string_of(r, "time"));
                    }
                    mark["ended_at"] = string_of(r, "time");
                }
            }
            write_step(mark, "incomplete");
        }
        if (transaction) {
            transaction->commit();
        }
        pending.clear();
    }
};

RunWriter::RunWriter(odbc::Connection &db, bool from_spool, bool whole)
    : state_(std::make_unique<State>(db, from_spool, whole)) {}

RunWriter::~RunWriter() = default;

void RunWriter::consume(const std::string &line) {
    const json parsed = json::parse(line, nullptr, false);
    if (!parsed.is_object()) {
        throw std::runtime_error("not a record of a run: " + line.substr(0, 80));
    }
    State &s = *state_;
    if (parsed.contains("mark")) {
        if (!s.skip) {
            s.on_mark(parsed);
        }
        return;
    }
    const std::string type = string_of(parsed, "type");
    if (type.empty()) {
        throw std::runtime_error("not a record of a run: " + line.substr(0, 80));
    }
    if (type == "open" && s.open.is_null()) {
        s.on_open(parsed);
        return;
    }
    if (s.skip) {
        return;
    }
    if (type == "end") {
        s.on_end(parsed);
        return;
    }
    // Samples are summed up by their run's record; a session's line ends
    // are for the client that drives it and measure nothing.
    if (type != "tx_sample" && type != "rx_sample" && type != "line_end") {
        s.pending.push_back(parsed);
    }
}

void RunWriter::finish() { state_->finish(); }

const std::string &RunWriter::run_id() const { return state_->run_id; }

bool RunWriter::already_stored() const { return state_->skip; }

}  // namespace deve::store
