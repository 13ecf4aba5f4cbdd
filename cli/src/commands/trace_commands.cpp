#include "trace_commands.h"

#include "platform.h"
#include "standalone_parse.h"
#include "standalone_run.h"

#include "common/text_format.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace deve::cli {

namespace {

constexpr int kRefused = 2;

using xolt_trace::Entry;
using xolt_trace::EntryPoint;

bool is_register_access(const Entry &e) {
    return e.entry == EntryPoint::ReadReg || e.entry == EntryPoint::WriteReg || e.entry == EntryPoint::BurstReadReg ||
           e.entry == EntryPoint::BurstWriteReg;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

std::string left(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.resize(width, ' ');
    }
    return text;
}

json::Array hex_words(const std::vector<std::uint32_t> &words) {
    json::Array out;
    for (const std::uint32_t w : words) {
        out.push(hex_word(w));
    }
    return out;
}

json::Object trace_head(const std::string &file, const xolt_trace::Trace &trace) {
    json::Array sections;
    for (const xolt_trace::Section &s : trace.sections) {
        sections.push(json::Object().add("process", s.process).add("started", s.started).add("target", s.target));
    }
    return json::Object()
        .add("file", file)
        .add("version", trace.version)
        .add("sections", sections)
        .add("entries", static_cast<std::uint64_t>(trace.entries.size()))
        .add("cut", trace.cut);
}

std::string trace_text(const std::string &file, const xolt_trace::Trace &trace) {
    return "trace " + file + ": version " + std::to_string(trace.version) + ", " +
           std::to_string(trace.sections.size()) + " section(s), " + std::to_string(trace.entries.size()) +
           " entries" + (trace.cut ? " (cut short: its last line is left out)" : "");
}

int show(const std::string &file, const xolt_trace::Trace &trace, Output &out, StandaloneRun &run) {
    out.record("trace", run.head().merge(trace_head(file, trace)));
    out.text(trace_text(file, trace));
    std::size_t section = 0;
    for (std::size_t i = 0; i < trace.entries.size() && !out.broken(); ++i) {
        const Entry &e = trace.entries[i];
        if (e.section != section) {
            section = e.section;
            const xolt_trace::Section &s = trace.sections.at(section - 1);
            out.text("section " + std::to_string(section) + ": process " + std::to_string(s.process) + ", " +
                     s.started + ", " + s.target);
        }
        json::Object fields = run.head();
        fields.add("index", static_cast<std::uint64_t>(i + 1))
            .add("section", static_cast<std::uint64_t>(e.section))
            .add("time_us", e.time_us)
            .add("duration_us", e.duration_us)
            .add("thread", e.thread)
            .add("entry", xolt_trace::entry_name(e.entry))
            .add("result", e.result);
        if (is_register_access(e)) {
            fields.add("address", hex_word(e.args.at(0))).add("register", xolt_trace::register_name(e.args.at(0)));
        } else {
            fields.add_null("address").add_null("register");
        }
        fields.add("args", hex_words(e.args)).add("values", hex_words(e.values)).add("call", xolt_trace::describe(e));
        out.record("trace_entry", fields, json::Object().add("time_us", "us").add("duration_us", "us"));
        out.text(padded(std::to_string(i + 1), 8) + padded(std::to_string(e.time_us), 12) + " us" +
                 padded(std::to_string(e.duration_us), 8) + " us  " + xolt_trace::describe(e) +
                 (e.result != 0 ? "  (result " + std::to_string(e.result) + ")" : ""));
    }
    return run.end(0);
}

json::Object count_json(const TraceStats::Count &c, bool with_address) {
    json::Object o;
    o.add("name", c.name);
    if (with_address) {
        o.add("address", hex_word(c.address)).add("reads", c.reads).add("writes", c.writes);
    } else {
        o.add("calls", c.calls);
    }
    return o.add("total_us", c.total_us);
}

int stats(const std::string &file, const xolt_trace::Trace &trace, Output &out, StandaloneRun &run) {
    const TraceStats s = trace_stats(trace);
    json::Array entry_points;
    json::Array registers;
    for (const TraceStats::Count &c : s.entry_points) {
        entry_points.push(count_json(c, false));
    }
    for (const TraceStats::Count &c : s.registers) {
        registers.push(count_json(c, true));
    }
    out.record("trace_stats",
               run.head()
                   .merge(trace_head(file, trace))
                   .add("entry_points", entry_points)
                   .add("registers", registers)
                   .add("accesses", s.accesses)
                   .add("median_us", s.median_us)
                   .add("p99_us", s.p99_us)
                   .add("max_us", s.max_us),
               json::Object().add("median_us", "us").add("p99_us", "us").add("max_us", "us"));
    out.text(trace_text(file, trace));
    out.text("");
    out.text(left("entry point", 16) + padded("calls", 10) + padded("time (us)", 14));
    for (const TraceStats::Count &c : s.entry_points) {
        out.text(left(c.name, 16) + padded(std::to_string(c.calls), 10) + padded(std::to_string(c.total_us), 14));
    }
    out.text("");
    out.text(left("register", 40) + padded("reads", 9) + padded("writes", 9) + padded("time (us)", 14));
    for (const TraceStats::Count &c : s.registers) {
        out.text(left(c.name, 40) + padded(std::to_string(c.reads), 9) + padded(std::to_string(c.writes), 9) +
                 padded(std::to_string(c.total_us), 14));
    }
    out.text("");
    auto us = [](const std::optional<std::uint64_t> &v) { return v ? std::to_string(*v) + " us" : std::string("-"); };
    out.text("access time of " + std::to_string(s.accesses) + " register reads and writes: median " + us(s.median_us) +
             ", 99th percentile " + us(s.p99_us) + ", maximum " + us(s.max_us));
    return run.end(0);
}

int diff(const std::vector<std::string> &files, const xolt_trace::Trace &a, const xolt_trace::Trace &b, Output &out,
         StandaloneRun &run) {
    const TraceDiff d = trace_diff(a, b);
    json::Object fields = run.head();
    fields.add("a", files[0])
        .add("b", files[1])
        .add("entries_a", static_cast<std::uint64_t>(d.entries_a))
        .add("entries_b", static_cast<std::uint64_t>(d.entries_b))
        .add("same_calls", !d.first.has_value());
    if (d.first) {
        fields.add("first_difference", json::Object()
                                           .add("index", static_cast<std::uint64_t>(*d.first))
                                           .add("a", d.first_a)
                                           .add("b", d.first_b));
    } else {
        fields.add_null("first_difference");
    }
    fields.add("differing_after", static_cast<std::uint64_t>(d.differing_after))
        .add("values_differing", static_cast<std::uint64_t>(d.values_differing));
    if (d.first_value) {
        fields.add("first_value_difference", json::Object()
                                                 .add("index", static_cast<std::uint64_t>(*d.first_value))
                                                 .add("a", d.first_value_a)
                                                 .add("b", d.first_value_b));
    } else {
        fields.add_null("first_value_difference");
    }
    out.record("trace_diff", fields);
    out.text("a: " + trace_text(files[0], a));
    out.text("b: " + trace_text(files[1], b));
    if (!d.first) {
        out.text("the same calls in the same order");
    } else {
        out.text("first difference at entry " + std::to_string(*d.first) + ":");
        out.text("  a: " + (d.first_a.empty() ? std::string("(the trace has ended)") : d.first_a));
        out.text("  b: " + (d.first_b.empty() ? std::string("(the trace has ended)") : d.first_b));
        out.text(std::to_string(d.differing_after) + " more entries differ after it");
    }
    if (d.first_value) {
        out.text(std::to_string(d.values_differing) + " reads before it read other values; the first at entry " +
                 std::to_string(*d.first_value) + ": a " + d.first_value_a + ", b " + d.first_value_b);
    }
    if (d.first) {
        return run.fail("the traces part at entry " + std::to_string(*d.first));
    }
    return run.end(0);
}

}  // namespace

std::uint64_t percentile(const std::vector<std::uint64_t> &sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

TraceStats trace_stats(const xolt_trace::Trace &trace) {
    TraceStats s;
    std::vector<TraceStats::Count> per_entry(xolt_trace::kEntryPointCount);
    std::map<std::uint32_t, TraceStats::Count> per_register;
    std::vector<std::uint64_t> times;
    for (const Entry &e : trace.entries) {
        TraceStats::Count &c = per_entry[static_cast<std::size_t>(e.entry)];
        ++c.calls;
        c.total_us += e.duration_us;
        if (is_register_access(e)) {
            TraceStats::Count &r = per_register[e.args.at(0)];
            r.address = e.args.at(0);
            const bool read = e.entry == EntryPoint::ReadReg || e.entry == EntryPoint::BurstReadReg;
            ++(read ? r.reads : r.writes);
            r.total_us += e.duration_us;
            if (e.entry == EntryPoint::ReadReg || e.entry == EntryPoint::WriteReg) {
                times.push_back(e.duration_us);
            }
        }
    }
    for (int i = 0; i < xolt_trace::kEntryPointCount; ++i) {
        if (per_entry[static_cast<std::size_t>(i)].calls != 0) {
            per_entry[static_cast<std::size_t>(i)].name = xolt_trace::entry_name(static_cast<EntryPoint>(i));
            s.entry_points.push_back(per_entry[static_cast<std::size_t>(i)]);
        }
    }
    for (auto &[address, c] : per_register) {
        c.name = xolt_trace::register_name(address);
        s.registers.push_back(c);
    }
    std::sort(times.begin(), times.end());
    s.accesses = times.size();
    if (!times.empty()) {
        s.median_us = percentile(times, 50);
        s.p99_us = percentile(times, 99);
        s.max_us = times.back();
    }
    return s;
}

TraceDiff trace_diff(const xolt_trace::Trace &a, const xolt_trace::Trace &b) {
    TraceDiff d;
    d.entries_a = a.entries.size();
    d.entries_b = b.entries.size();
    const std::size_t common = std::min(d.entries_a, d.entries_b);
    for (std::size_t i = 0; i < common; ++i) {
        const Entry &x = a.entries[i];
        const Entry &y = b.entries[i];
        if (!xolt_trace::same_call(x, y)) {
            if (!d.first) {
                d.first = i + 1;
                d.first_a = xolt_trace::describe(x);
                d.first_b = xolt_trace::describe(y);
            } else {
                ++d.differing_after;
            }
        } else if (!d.first && (x.values != y.values || x.result != y.result)) {
            if (!d.first_value) {
                d.first_value = i + 1;
                d.first_value_a = xolt_trace::describe(x) + (x.result != 0 ? " (result " + std::to_string(x.result) + ")" : "");
                d.first_value_b = xolt_trace::describe(y) + (y.result != 0 ? " (result " + std::to_string(y.result) + ")" : "");
            }
            ++d.values_differing;
        }
    }
    if (d.entries_a != d.entries_b) {
        const std::size_t beyond = std::max(d.entries_a, d.entries_b) - common;
        if (!d.first) {
            d.first = common + 1;
            d.first_a = common < d.entries_a ? xolt_trace::describe(a.entries[common]) : "";
            d.first_b = common < d.entries_b ? xolt_trace::describe(b.entries[common]) : "";
            d.differing_after = beyond - 1;
        } else {
            d.differing_after += beyond;
        }
    }
    return d;
}

ParseResult parse_trace_command(const std::vector<std::string> &words) {
    ParseResult result;
    TraceCommand command;
    CLI::App app{"Traces of the link that the recording transport wrote (XOLT_LIBRARY=.../libxolt_tap.so, "
                 "XOLT_TAP_TARGET, XOLT_TAP_FILE), read without the board. Accesses are named from the chip's "
                 "register map.",
                 "deve-cli trace"};
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);
    std::string file;
    std::vector<std::string> pair;
    bool json = false;
    CLI::App *show = app.add_subcommand("show", "every call: when, how long, the entry point, its arguments, its "
                                                "result and the values read");
    show->add_option("file", file, "the trace")->type_name("FILE")->required();
    CLI::App *stats = app.add_subcommand("stats", "calls and time per entry point and per register, and the link's "
                                                  "access times (median, 99th percentile, maximum)");
    stats->add_option("file", file, "the trace")->type_name("FILE")->required();
    CLI::App *diff = app.add_subcommand("diff", "the first call where two traces of the same command part (a real "
                                                "board against the simulated board), and how much differs after "
                                                "it; exit code 1 when they part");
    diff->add_option("files", pair, "the two traces")->type_name("A B")->expected(2)->required();
    for (CLI::App *sub : {show, stats, diff}) {
        sub->allow_windows_style_options(false);
        sub->add_flag("--json", json, "one JSON object per line");
    }
    if (take_help_or_error(parse_standalone(app, words, "trace"), result)) {
        return result;
    }
    command.action = app.get_subcommands().front()->get_name();
    command.files = command.action == "diff" ? pair : std::vector<std::string>{file};
    command.json = json;
    result.line.trace = command;
    return result;
}

int run_trace_command(const TraceCommand &command, const Globals &globals) {
    Output out(stdout, globals.json || command.json);
    out.set_run_id(random_uuid());
    StandaloneRun run(out, "trace " + command.action);
    std::vector<xolt_trace::Trace> traces;
    for (const std::string &file : command.files) {
        xolt_trace::ReadResult read = xolt_trace::read_trace(file);
        if (!read.trace) {
            return run.failed(kRefused, "refused", read.error);
        }
        traces.push_back(std::move(*read.trace));
    }
    int code = 0;
    if (command.action == "show") {
        code = show(command.files[0], traces[0], out, run);
    } else if (command.action == "stats") {
        code = stats(command.files[0], traces[0], out, run);
    } else {
        code = diff(command.files, traces[0], traces[1], out, run);
    }
    if (out.broken()) {
        std::fprintf(stderr, "deve-cli: standard output could not be written (%s)\n", out.failure().c_str());
        return kRefused;
    }
    return code;
}

}  // namespace deve::cli
