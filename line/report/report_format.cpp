// The report as text, as JSON and as CSV.
#include "common/json.h"
#include "common/text_format.h"
#include "report.h"

#include <algorithm>
#include <functional>

namespace deve::cli::report {

namespace {

// 2: runs listed only when asked for (run_count always), the zone of the
// day table, and why a measurement has no Cp and Cpk.
constexpr int kReportSchema = 2;

std::string percent(double share) { return fixed(share * 100, 1); }

std::string optional_number(const std::optional<double> &value) {
    return value ? short_number(*value) : std::string();
}

// The width of UTF-8 text on a terminal: one column per character.
std::size_t columns(const std::string &text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Columns padded to their widest cell: text to the left, numbers to the right.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> header, std::vector<bool> numeric)
        : numeric_(std::move(numeric)) {
        rows_.push_back(std::move(header));
    }
    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    std::string str(const std::string &indent) const {
        std::vector<std::size_t> widths(numeric_.size(), 0);
        for (const auto &row : rows_) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                widths[i] = std::max(widths[i], columns(row[i]));
            }
        }
        std::string text;
        for (const auto &row : rows_) {
            std::string line = indent;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const std::string pad(widths[i] - columns(row[i]), ' ');
                line += (i == 0 ? "" : "  ") + (numeric_[i] ? pad + row[i] : row[i] + pad);
            }
            while (!line.empty() && line.back() == ' ') {
                line.pop_back();
            }
            text += line + "\n";
        }
        return text;
    }

private:
    std::vector<bool> numeric_;
    std::vector<std::vector<std::string>> rows_;
};

std::string name_or_none(const std::string &name) { return name.empty() ? kNoName : name; }

// A table of yields; by station, with the PC of each (two PCs may carry one
// station name).
std::string yield_table(const std::string &title, const std::vector<Yield> &rows, bool hosts = false) {
    std::vector<std::string> header{title};
    std::vector<bool> numeric{false};
    if (hosts) {
        header.emplace_back("host");
        numeric.push_back(false);
    }
    header.insert(header.end(), {"runs", "boards", "first-pass", "final"});
    numeric.insert(numeric.end(), {true, true, true, true});
    TextTable table(header, numeric);
    for (const Yield &y : rows) {
        std::vector<std::string> row{name_or_none(y.group)};
        if (hosts) {
            row.push_back(name_or_none(y.host));
        }
        row.insert(row.end(), {std::to_string(y.runs), std::to_string(y.boards), percent(y.first_pass_yield()) + " %",
                               percent(y.final_yield()) + " %"});
        table.add(row);
    }
    return table.str("  ");
}

ordered_json yield_json(const Yield &y, bool host = false) {
    ordered_json group{{"group", y.group}};
    if (host) {
        group.update({{"host", y.host.empty() ? std::nullopt : std::optional<std::string>(y.host)}});
    }
    return merged(group, ordered_json{{"runs", y.runs}, {"boards", y.boards}, {"first_pass", y.first_pass}, {"final_pass", y.final_pass}, {"first_pass_yield", y.boards == 0 ? std::nullopt : std::optional<double>(y.first_pass_yield())}, {"final_yield", y.boards == 0 ? std::nullopt : std::optional<double>(y.final_yield())}});
}

ordered_json yields_json(const std::vector<Yield> &rows, bool hosts = false) {
    ordered_json list = ordered_json::array();
    for (const Yield &y : rows) {
        list.push_back(yield_json(y, hosts));
    }
    return list;
}

// One CSV field: quoted when it holds a comma, a quote or a line break.
std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string csv_row(const std::vector<std::string> &fields) {
    std::string line;
    for (const std::string &f : fields) {
        line += (line.empty() ? "" : ",") + csv_field(f);
    }
    return line + "\r\n";
}

std::string csv_fraction(double share) { return json_number(share); }

// A run as JSON, and as a CSV row after its header.
ordered_json run_json(const Run &run) {
    return ordered_json{{"run_id", run.run_id}, {"started_at", utc_text(run.started_ms)}, {"ended_at", run.ended_ms ? std::optional<std::string>(utc_text(*run.ended_ms)) : std::nullopt}, {"station", run.station}, {"host", run.host}, {"operator", run.operator_name}, {"lot", run.lot}, {"serial", run.serial}, {"board", run.board}, {"verdict", run.verdict}, {"exit_code", run.exit_code}};
}

std::string runs_csv(const std::vector<Run> &runs) {
    std::string text = csv_row({"runs", "run_id", "started_at", "ended_at", "station", "operator", "lot", "serial",
                                "board", "verdict", "exit_code", "host"});
    for (const Run &run : runs) {
        text += csv_row({"runs", run.run_id, utc_text(run.started_ms), run.ended_ms ? utc_text(*run.ended_ms) : "",
                         run.station, run.operator_name, run.lot, run.serial, run.board, run.verdict,
                         run.exit_code ? std::to_string(*run.exit_code) : "", run.host});
    }
    return text;
}

ordered_json optional_text(const std::string &text) {
    return text.empty() ? ordered_json(nullptr) : ordered_json(text);
}

ordered_json string_list(const std::vector<std::string> &values) {
    ordered_json list = ordered_json::array();
    for (const std::string &v : values) {
        list.push_back(v);
    }
    return list;
}

ordered_json failing_json(const FailingRuns &failing) {
    ordered_json runs = ordered_json::array();
    for (const FailingRun &f : failing.runs) {
        ordered_json limit = nullptr;
        if (f.limit_broken) {
            limit = ordered_json{{"name", f.name}, {"value", f.value}, {"unit", f.unit}, {"low", f.low}, {"high", f.high}, {"limit_set", optional_text(f.limit_set)}};
        }
        runs.push_back(merged(run_json(f.run), ordered_json{{"step_seq", f.step_seq}, {"step", optional_text(f.step)}, {"outcome", optional_text(f.outcome)}, {"kind", optional_text(f.kind)}, {"limit", limit}, {"failure", failure_text(f)}}));
    }
    return ordered_json{{"total", failing.total}, {"limit", failing.limit}, {"left_out", failing.total - failing.runs.size()}, {"runs", runs}};
}

}  // namespace

std::string counted(std::size_t n, const std::string &one, const std::string &many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string failure_text(const FailingRun &f) {
    if (f.limit_broken) {
        return f.name + " = " + (f.value ? short_number(*f.value) : std::string("NA")) +
               (f.unit.empty() ? "" : " " + f.unit) + " against " + limit_text(f.name, f.low, f.high) +
               (f.limit_set.empty() ? "" : " [" + f.limit_set + "]");
    }
    if (!f.step_seq) {
        return f.run.verdict + ", between steps";
    }
    return f.outcome + (f.kind.empty() || f.kind == f.outcome ? "" : " (" + f.kind + ")");
}

std::vector<std::string> capability_notes(const std::vector<MeasurementStats> &measurements) {
    // One line per reason, naming the measurements it holds for.
    std::vector<std::pair<std::string, std::string>> notes;
    for (const MeasurementStats &m : measurements) {
        if (m.no_capability.empty()) {
            continue;
        }
        const std::string what = m.name + " of " + m.command;
        auto it = std::find_if(notes.begin(), notes.end(), [&](const auto &n) { return n.second == m.no_capability; });
        if (it == notes.end()) {
            notes.emplace_back(what, m.no_capability);
        } else if (it->first.find(what) == std::string::npos) {
            it->first += ", " + what;
        }
    }
    std::vector<std::string> lines;
    for (const auto &[what, why] : notes) {
        lines.push_back("No Cp or Cpk for " + what + ": " + why + ".");
    }
    return lines;
}

// Text for a terminal: the control characters a value may hold (an escape
// sequence in a --meta value would retitle or clear the operator's
// terminal) shown as \xHH, as the JSON shows them as \u00HH. Line ends stay.
static std::string terminal_safe(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C1 controls, U+0080 to U+009F, are C2 80 to C2 9F in UTF-8.
        const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((c < 0x20 && c != '\n') || c == 0x7F || c1) {
            const unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : c;
            const char *digits = "0123456789abcdef";
            out += "\\x";
            out += digits[code >> 4];
            out += digits[code & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

static std::string report_lines(const Report &r) {
    std::string text = "Report of the runs that started " + window_text(r.window) + "\n";
    text += "Days are those of " + r.zone + ".\n";
    text += "Runs: " + std::to_string(r.run_count);
    std::string counts;
    for (const auto &[verdict, count] : r.verdicts) {
        if (count != 0) {
            counts += (counts.empty() ? "" : ", ") + verdict + " " + std::to_string(count);
        }
    }
    text += counts.empty() ? "\n" : " (" + counts + ")\n";
    if (r.run_count == 0) {
        return text;
    }

    text += "\nYield (first-pass: boards whose first run passed; final: boards whose last run passed)\n";
    text += yield_table("all", {r.overall});
    text += yield_table("station", r.by_station, true);
    text += yield_table("lot", r.by_lot);
    text += yield_table("day (" + r.zone + ")", r.by_day);

    text += "\nMeasurements with limits\n";
    if (r.measurements.empty()) {
        text += "  none\n";
    } else {
        TextTable table({"step", "limit", "unit", "n", "mean", "s", "min", "max", "Cp", "Cpk", "failed"},
                        {false, false, false, true, true, true, true, true, true, true, true});
        for (const MeasurementStats &m : r.measurements) {
            const Capability &f = m.figures;
            table.add({step_label(m.command, m.point),
                       limit_text(m.name, m.low, m.high) + (m.limit_set.empty() ? "" : " [" + m.limit_set + "]"),
                       m.unit, std::to_string(f.n), optional_number(f.mean), optional_number(f.stddev),
                       optional_number(f.min), optional_number(f.max), f.cp ? fixed(*f.cp, 2) : "-",
                       f.cpk ? fixed(*f.cpk, 2) : "-", std::to_string(m.failed)});
        }
        text += table.str("  ");
        for (const std::string &note : capability_notes(r.measurements)) {
            text += "  " + note + "\n";
        }
    }
    if (r.runs_listed) {
        text += "\nRuns\n";
        TextTable table({"started", "station", "serial", "board", "verdict", "run"},
                        {false, false, false, false, false, false});
        for (const Run &run : r.runs) {
            table.add({utc_text(run.started_ms), run.station, run.serial, run.board, run.verdict, run.run_id});
        }
        text += table.str("  ");
    }

    text += "\nFailing and incomplete runs";
    if (r.failing.total == 0) {
        text += "\n  none\n";
    } else {
        text += r.failing.runs.size() < r.failing.total
                    ? ": the latest " + std::to_string(r.failing.runs.size()) + " of " + std::to_string(r.failing.total) +
                          " (report board SERIAL shows one board's runs)\n"
                    : " (report board SERIAL shows one board's runs)\n";
        TextTable table({"started (UTC)", "station", "host", "serial", "verdict", "step", "failed on"},
                        {false, false, false, false, false, false, false});
        for (const FailingRun &f : r.failing.runs) {
            table.add({utc_text(f.run.started_ms), name_or_none(f.run.station), name_or_none(f.run.host),
                       f.run.board.empty() ? "run " + f.run.run_id : f.run.board, f.run.verdict,
                       f.step.empty() ? "-" : f.step, failure_text(f)});
        }
        text += table.str("  ");
    }

    text += "\nFailures by step and limit\n";
    if (r.pareto.empty()) {
        text += "  none\n";
    } else {
        TextTable table({"count", "share", "cumulative", "runs", "step", "limit"},
                        {true, true, true, true, false, false});
        for (const ParetoItem &p : r.pareto) {
            table.add({std::to_string(p.count), percent(p.share) + " %", percent(p.cumulative) + " %",
                       std::to_string(p.runs), p.step, p.limit});
        }
        text += table.str("  ");
    }
    return text;
}

std::string report_text(const Report &r) { return terminal_safe(report_lines(r)); }

std::string report_json(const Report &r) {
    // "station" and "lot" name the one asked for (null: none, or more than
    // one); the lists name every filter's values.
    const auto only = [](const std::vector<std::string> &values) {
        return values.size() == 1 ? ordered_json(values.front()) : ordered_json(nullptr);
    };
    const Window &w = r.window;
    ordered_json window{{"since", w.since_ms ? std::optional<std::string>(utc_text(*w.since_ms)) : std::nullopt}, {"until", w.until_ms ? std::optional<std::string>(utc_text(*w.until_ms)) : std::nullopt}, {"station", only(w.stations)}, {"lot", only(w.lots)}, {"stations", string_list(w.stations)}, {"lots", string_list(w.lots)}, {"serials", string_list(w.serials)}, {"hosts", string_list(w.hosts)}, {"pools", string_list(w.pools)}, {"verdicts", string_list(w.verdicts)}, {"text", window_text(w)}};
    ordered_json verdicts = ordered_json::object();
    for (const auto &[verdict, count] : r.verdicts) {
        verdicts.update({{verdict, count}});
    }
    ordered_json runs = ordered_json::array();
    for (const Run &run : r.runs) {
        runs.push_back(run_json(run));
    }
    ordered_json measurements = ordered_json::array();
    for (const MeasurementStats &m : r.measurements) {
        const Capability &f = m.figures;
        measurements.push_back(ordered_json{{"command", m.command}, {"point", m.point}, {"name", m.name}, {"unit", m.unit}, {"low", m.low}, {"high", m.high}, {"limit_set", m.limit_set.empty() ? std::nullopt : std::optional<std::string>(m.limit_set)}, {"n", f.n}, {"missing", m.missing}, {"failed", m.failed}, {"mean", f.mean}, {"stddev", f.stddev}, {"min", f.min}, {"max", f.max}, {"cp", f.cp}, {"cpk", f.cpk}, {"no_capability", m.no_capability.empty() ? std::nullopt : std::optional<std::string>(m.no_capability)}});
    }
    ordered_json pareto = ordered_json::array();
    for (const ParetoItem &p : r.pareto) {
        pareto.push_back(ordered_json{{"step", p.step}, {"limit", p.limit}, {"count", p.count}, {"runs", p.runs}, {"share", p.share}, {"cumulative", p.cumulative}});
    }
    ordered_json head{{"type", "report"}, {"report_schema", kReportSchema}, {"generated_at", utc_text(r.generated_ms)}, {"window", window}, {"zone", r.zone}, {"run_count", r.run_count}, {"verdicts", verdicts}};
    if (r.runs_listed) {
        head.update({{"runs", runs}});
    }
    return dump_record(merged(head, {{"yield", ordered_json{{"all", yield_json(r.overall)}, {"station", yields_json(r.by_station, true)}, {"lot", yields_json(r.by_lot)}, {"day", yields_json(r.by_day)}}}, {"measurements", measurements}, {"pareto", pareto}, {"failing", failing_json(r.failing)}})) +
           "\n";
}

std::string report_csv(const Report &r) {
    std::string text = csv_row({"report", "generated_at", "zone", "run_count"});
    text += csv_row({"report", utc_text(r.generated_ms), r.zone, std::to_string(r.run_count)});
    if (r.runs_listed) {
        text += "\r\n" + runs_csv(r.runs);
    }
    text += "\r\n" + csv_row({"yield", "by", "group", "runs", "boards", "first_pass", "final_pass",
                              "first_pass_yield", "final_yield", "host"});
    const auto yield_rows = [&](const char *by, const std::vector<Yield> &rows) {
        for (const Yield &y : rows) {
            text += csv_row({"yield", by, y.group, std::to_string(y.runs), std::to_string(y.boards),
                             std::to_string(y.first_pass), std::to_string(y.final_pass),
                             y.boards != 0 ? csv_fraction(y.first_pass_yield()) : "",
                             y.boards != 0 ? csv_fraction(y.final_yield()) : "", y.host});
        }
    };
    yield_rows("all", {r.overall});
    yield_rows("station", r.by_station);
    yield_rows("lot", r.by_lot);
    yield_rows("day", r.by_day);
    const auto number = [](const std::optional<double> &v) { return v ? json_number(*v) : std::string(); };
    text += "\r\n" + csv_row({"measurements", "command", "point", "name", "unit", "low", "high", "limit_set", "n",
                              "missing", "failed", "mean", "stddev", "min", "max", "cp", "cpk", "no_capability"});
    for (const MeasurementStats &m : r.measurements) {
        const Capability &f = m.figures;
        text += csv_row({"measurements", m.command, m.point, m.name, m.unit, number(m.low), number(m.high),
                         m.limit_set, std::to_string(f.n), std::to_string(m.missing), std::to_string(m.failed),
                         number(f.mean), number(f.stddev), number(f.min), number(f.max), number(f.cp),
                         number(f.cpk), m.no_capability});
    }
    text += "\r\n" + csv_row({"failing", "run_id", "started_at", "station", "host", "serial", "board", "verdict",
                              "step_seq", "step", "failure"});
    for (const FailingRun &f : r.failing.runs) {
        text += csv_row({"failing", f.run.run_id, utc_text(f.run.started_ms), f.run.station, f.run.host, f.run.serial,
                         f.run.board, f.run.verdict, f.step_seq ? std::to_string(*f.step_seq) : "", f.step,
                         failure_text(f)});
    }
    text += "\r\n" + csv_row({"pareto", "step", "limit", "count", "runs", "share", "cumulative"});
    for (const ParetoItem &p : r.pareto) {
        text += csv_row({"pareto", p.step, p.limit, std::to_string(p.count), std::to_string(p.runs),
                         csv_fraction(p.share), csv_fraction(p.cumulative)});
    }
    return text;
}

// ---- One board's history ------------------------------------------------------------

namespace {

std::string run_line(const Run &run) {
    std::string text = utc_text(run.started_ms) + "  " + (run.station.empty() ? "-" : run.station) +
                       (run.host.empty() ? "" : " on " + run.host) + "  " +
                       (run.operator_name.empty() ? "-" : run.operator_name) + "  " + run.verdict;
    if (run.exit_code) {
        text += " (exit code " + std::to_string(*run.exit_code) + ")";
    }
    return text + "  run " + run.run_id;
}

std::string measurement_line(const Measurement &m) {
    std::string text = m.name + " = " + (m.value ? short_number(*m.value) : std::string("NA")) +
                       (m.unit.empty() ? "" : " " + m.unit);
    if (m.low || m.high) {
        text += " (" + limit_text(m.name, m.low, m.high) + (m.limit_set.empty() ? "" : ", set " + m.limit_set) +
                ") " + (m.passed ? "ok" : "FAILED");
    }
    return text;
}

// The distinct non-empty values of one field of the identities, in order.
std::vector<std::string> distinct(const std::vector<BoardIdentity> &identities,
                                  std::string BoardIdentity::*field) {
    std::vector<std::string> values;
    for (const BoardIdentity &id : identities) {
        const std::string &v = id.*field;
        if (!v.empty() && std::find(values.begin(), values.end(), v) == values.end()) {
            values.push_back(v);
        }
    }
    return values;
}

std::string joined(const std::vector<std::string> &values) {
    std::string text;
    for (const std::string &v : values) {
        text += (text.empty() ? "" : ", ") + v;
    }
    return text.empty() ? "-" : text;
}

ordered_json measurement_json(const Measurement &m) {
    return ordered_json{{"name", m.name}, {"value", m.value}, {"unit", m.unit}, {"low", m.low}, {"high", m.high}, {"limit_set", m.limit_set.empty() ? std::nullopt : std::optional<std::string>(m.limit_set)}, {"passed", m.passed}};
}

}  // namespace

static std::string board_lines(const BoardHistory &h) {
    if (h.rows.runs.empty()) {
        return "No run of a board " + h.key + " in the store.\n";
    }
    const Run &last = h.rows.runs.back();
    std::string text = "Board " + h.key + ": serial " + joined(distinct(h.identities, &BoardIdentity::serial)) +
                       ", MAC " + joined(distinct(h.identities, &BoardIdentity::mac)) + ", chip " +
                       joined(distinct(h.identities, &BoardIdentity::chip_id)) + "\n";
    text += counted(h.rows.runs.size(), "run", "runs") + ", the last " +
            last.verdict + "\n";
    for (const Run &run : h.rows.runs) {
        text += "\n" + run_line(run) + "\n";
        for (const Step &s : h.rows.steps) {
            if (s.run_id != run.run_id) {
                continue;
            }
            text += "  step " + std::to_string(s.seq) + " " + step_label(s.command, s.point) + ": " +
                    (s.outcome.empty() ? "never ended" : s.outcome) + "\n";
            for (const Measurement &m : h.rows.measurements) {
                if (m.run_id == run.run_id && m.step_seq == s.seq) {
                    text += "    " + measurement_line(m) + "\n";
                }
            }
            for (const Burn &b : h.burns) {
                if (b.run_id == run.run_id && b.step_seq == s.seq) {
                    text += "    burn " + b.item + (b.value.empty() ? "" : " " + b.value) + ": " + b.outcome + "\n";
                }
            }
        }
    }
    return text;
}

std::string board_text(const BoardHistory &h) { return terminal_safe(board_lines(h)); }

std::string board_json(const BoardHistory &h) {
    ordered_json runs = ordered_json::array();
    for (const Run &run : h.rows.runs) {
        ordered_json steps = ordered_json::array();
        for (const Step &s : h.rows.steps) {
            if (s.run_id != run.run_id) {
                continue;
            }
            ordered_json measurements = ordered_json::array();
            for (const Measurement &m : h.rows.measurements) {
                if (m.run_id == run.run_id && m.step_seq == s.seq) {
                    measurements.push_back(measurement_json(m));
                }
            }
            ordered_json burns = ordered_json::array();
            for (const Burn &b : h.burns) {
                if (b.run_id == run.run_id && b.step_seq == s.seq) {
                    burns.push_back(ordered_json{{"item", b.item}, {"value", b.value}, {"outcome", b.outcome}});
                }
            }
            steps.push_back(ordered_json{{"seq", s.seq}, {"command", s.command}, {"point", s.point}, {"started_at", s.started_ms ? std::optional<std::string>(utc_text(*s.started_ms)) : std::nullopt}, {"outcome", s.outcome}, {"measurements", measurements}, {"burns", burns}});
        }
        runs.push_back(merged(run_json(run), {{"steps", steps}}));
    }
    return dump_record(ordered_json{{"type", "board"}, {"report_schema", kReportSchema}, {"key", h.key}, {"serials", string_list(distinct(h.identities, &BoardIdentity::serial))}, {"macs", string_list(distinct(h.identities, &BoardIdentity::mac))}, {"chip_ids", string_list(distinct(h.identities, &BoardIdentity::chip_id))}, {"runs", runs}}) +
           "\n";
}

std::string board_csv(const BoardHistory &h) {
    std::string text = runs_csv(h.rows.runs);
    text += "\r\n" + csv_row({"steps", "run_id", "seq", "command", "point", "started_at", "outcome"});
    for (const Step &s : h.rows.steps) {
        text += csv_row({"steps", s.run_id, std::to_string(s.seq), s.command, s.point,
                         s.started_ms ? utc_text(*s.started_ms) : "", s.outcome});
    }
    const auto number = [](const std::optional<double> &v) { return v ? json_number(*v) : std::string(); };
    text += "\r\n" + csv_row({"measurements", "run_id", "step_seq", "name", "value", "unit", "low", "high",
                              "limit_set", "passed"});
    for (const Measurement &m : h.rows.measurements) {
        text += csv_row({"measurements", m.run_id, std::to_string(m.step_seq), m.name, number(m.value), m.unit,
                         number(m.low), number(m.high), m.limit_set, m.passed ? "1" : "0"});
    }
    text += "\r\n" + csv_row({"burns", "run_id", "step_seq", "item", "value", "outcome"});
    for (const Burn &b : h.burns) {
        text += csv_row({"burns", b.run_id, std::to_string(b.step_seq), b.item, b.value, b.outcome});
    }
    return text;
}

}  // namespace deve::cli::report
