#include "report_command.h"

#include "connect.h"
#include "common/json.h"
#include "odbc.h"
#include "platform.h"
#include "report.h"
#include "report_store.h"
#include "schema.h"
#include "standalone_parse.h"
#include "url.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace deve::cli {

namespace {

constexpr int kRefused = 2;
constexpr int kAway = 3;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A refusal or failure: the line on standard error, and with --json an
// error object on standard output, so that a reader of the JSON sees it.
int failed(int code, bool json, const std::string &message) {
    std::fprintf(stderr, "deve-cli: report: %s\n", message.c_str());
    if (json) {
        std::fputs((dump_record(ordered_json{{"type", "error"}, {"command", "report"}, {"message", message}, {"exit_code", code}}) +
                    "\n")
                       .c_str(),
                   stdout);
    }
    return code;
}

bool write_stdout(const std::string &text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

// Writes the page beside its place and moves it there, so that a failed
// write leaves no half page.
bool write_page(const std::string &file, const std::string &page, std::string &error) {
    const std::filesystem::path path = std::filesystem::u8path(file);
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << page;
        out.flush();
        if (!out) {
            error = "cannot write the page " + file;
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        error = "cannot write the page " + file + ": " + ec.message();
        std::filesystem::remove(partial, ec);
        return false;
    }
    return true;
}

// The runs the command's filters pick.
report::Window window_of(const ReportCommand &command) {
    report::Window window;
    window.since_ms = command.since_ms;
    window.until_ms = command.until_ms;
    window.stations = command.stations;
    window.lots = command.lots;
    window.serials = command.serials;
    window.hosts = command.hosts;
    window.pools = command.pools;
    window.verdicts = command.verdicts;
    return window;
}

// "127.0.0.1:8080", "[::1]:8080", "line-pc:8080": the host (without the
// brackets of an IPv6 address) and the port, 0 to 65535.
bool parse_listen(const std::string &text, std::string &host, int &port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || text.size() - colon - 1 > 5) {
        return false;
    }
    std::string name = text.substr(0, colon);
    if (name.front() == '[') {
        if (name.size() < 3 || name.back() != ']') {
            return false;
        }
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string::npos) {
        return false;  // an IPv6 address goes in brackets
    }
    int number = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        number = number * 10 + (text[i] - '0');
    }
    if (number > 65535 || name.find_first_of(" \t/") != std::string::npos) {
        return false;
    }
    host = name;
    port = number;
    return true;
}

}  // namespace

ParseResult parse_report_command(const std::vector<std::string> &words) {
    ParseResult result;
    ReportCommand command;
    std::string since;
    std::string until;
    CLI::App app{"The line's figures from the store, without the board: runs by verdict; first-pass and final "
                 "yield per station, lot and day; n, mean, standard deviation, minimum, maximum, Cp and Cpk of "
                 "every measurement with limits; the latest failing runs; failures by step and limit. The store is "
                 "named by --store URL (or DEVE_STORE).",
                 "deve-cli report"};
    app.allow_windows_style_options(false);
    app.require_subcommand(0, 1);
    app.add_option("--since", since,
                   "runs that started at or after TIME: 2026-12-08, 2026-12-08T14:30[:05[.250]] (UTC), the same "
                   "with an offset from UTC (2026-12-09T05:00+01:00, ...Z, +0100, -05:00), or a span back from "
                   "now: 90m, 12h, 7d")
        ->type_name("TIME");
    app.add_option("--until", until, "runs that started before TIME (as --since)")->type_name("TIME");
    // Filters: each repeatable, a run of any of the values given.
    const auto filter = [&app](const char *name, std::vector<std::string> &values, const char *help,
                               const char *type) {
        return app.add_option(name, values, help)->type_name(type)->allow_extra_args(false);
    };
    filter("--station", command.stations, "runs of this station (repeatable)", "S");
    filter("--host", command.hosts, "runs on this PC (repeatable): two PCs may carry one station name", "H");
    filter("--lot", command.lots, "runs of this lot (repeatable)", "L");
    filter("--serial", command.serials, "runs of the board with this serial (repeatable)", "SERIAL");
    filter("--pool", command.pools, "runs of boards that took an address of this MAC pool (repeatable)", "POOL");
    filter("--verdict", command.verdicts,
           "runs with this verdict (repeatable): pass, fail, error, interrupted, incomplete", "VERDICT")
        ->check(CLI::IsMember({"pass", "fail", "error", "interrupted", "incomplete"}));
    command.failing = report::kFailingRunsShown;
    app.add_option("--failing", command.failing,
                   "list the latest N runs that did not pass, with what each failed on (default 50; the count of "
                   "the others is given)")
        ->type_name("N")
        ->check(CLI::Range(static_cast<std::size_t>(0), static_cast<std::size_t>(1000)));
    app.add_option("--tz", command.zone,
                   "the zone of the day table: an IANA name (Europe/Berlin), UTC, or an offset (+01:00); default: "
                   "the machine's zone (TZ)")
        ->type_name("ZONE");
    app.add_flag("--runs", command.list_runs, "list every run too (JSON runs, CSV runs, a table in the text)");
    CLI::Option *json_flag = app.add_flag("--json", command.json, "one JSON object");
    CLI::Option *csv_flag = app.add_flag("--csv", command.csv, "CSV: one table per section, each row led by its name");
    CLI::Option *html = app.add_option("--html", command.html_file,
                                       "one self-contained HTML page with a histogram of each measurement "
                                       "against its limits, the yield by station, and the failing runs each "
                                       "linked to its board's runs")
                            ->type_name("FILE");
    json_flag->excludes(csv_flag)->excludes(html);
    csv_flag->excludes(html);
    CLI::App *board = app.add_subcommand("board", "one board's history: every run of the board with its steps, "
                                                  "measurements and burns");
    board->allow_windows_style_options(false);
    board->add_option("key", command.board, "the board's serial, its MAC address, or the id of one of its runs")
        ->type_name("SERIAL|MAC|RUN_ID")
        ->required();
    bool board_json = false;
    bool board_csv = false;
    CLI::Option *board_json_flag = board->add_flag("--json", board_json, "one JSON object");
    board->add_flag("--csv", board_csv, "CSV: one table per section")->excludes(board_json_flag);
    CLI::App *serve = app.add_subcommand(
        "serve", "the line's live page over HTTP: the shift's yield per station, a tile for each station with its "
                 "last run and its state, the last failures and the pools' free addresses, read again from the "
                 "store every few seconds. It only reads the store. The report's filters (--since, default 8h, "
                 "--until, --station, --lot) pick the runs; a --since given as a span slides with the clock");
    serve->allow_windows_style_options(false);
    // The report's filters, given after serve, are the report's own.
    serve->fallthrough();
    std::string listen;
    serve->add_option("--listen", listen,
                      "the address and port to listen on (default 127.0.0.1:8080, this computer only); "
                      "0.0.0.0:8080 or [::]:8080 for every network, port 0 for any free one")
        ->type_name("ADDRESS:PORT");
    serve->add_option("--refresh", command.refresh_seconds, "how often the page and the figures are read again")
        ->check(CLI::Range(2, 3600))
        ->type_name("SECONDS");
    const StandaloneParse parsed = parse_standalone(app, words, "report", [&] {
        const std::int64_t now = now_ms();
        command.serve = serve->parsed();
        if (command.serve && since.empty()) {
            since = "8h";
        }
        for (const auto &[text, target, name] :
             {std::make_tuple(&since, &command.since_ms, "--since"), std::make_tuple(&until, &command.until_ms, "--until")}) {
            if (text->empty()) {
                continue;
            }
            const report::TimeParse time = report::read_time(*text, now);
            if (!time.ms) {
                throw CLI::ValidationError(name, time.error);
            }
            *target = time.ms;
        }
        // The store keeps text as UTF-8; a key or name whose bytes are not
        // is refused, never guessed at.
        if (const std::optional<std::string> bad = store::odbc::not_utf8_words(command.board)) {
            throw CLI::ValidationError("board", "the board's key " + *bad);
        }
        for (const auto &[values, name, noun] :
             {std::make_tuple(&command.stations, "--station", "the station"),
              std::make_tuple(&command.hosts, "--host", "the host"), std::make_tuple(&command.lots, "--lot", "the lot"),
              std::make_tuple(&command.serials, "--serial", "the serial"),
              std::make_tuple(&command.pools, "--pool", "the pool")}) {
            for (const std::string &value : *values) {
                if (const std::optional<std::string> bad = store::odbc::not_utf8_words(value)) {
                    throw CLI::ValidationError(name, std::string(noun) + " " + *bad);
                }
            }
        }
        // A span back from now ("8h") reads differently at another now.
        if (command.since_ms && report::parse_time(since, 0) != report::parse_time(since, 1000)) {
            command.since_span_ms = now - *command.since_ms;
        }
        if (command.serve) {
            if (command.json || command.csv || !command.html_file.empty()) {
                throw CLI::ValidationError("serve", "serves a page: --json, --csv and --html are not for it");
            }
            if (!listen.empty() && !parse_listen(listen, command.listen_host, command.listen_port)) {
                throw CLI::ValidationError("--listen", "not ADDRESS:PORT: " + listen +
                                                           " (127.0.0.1:8080, 0.0.0.0:8080, [::1]:8080)");
            }
        }
        if (!command.zone.empty()) {
            std::string error;
            if (!report::Zone::find(command.zone, error)) {
                throw CLI::ValidationError("--tz", error);
            }
        }
        if (command.since_ms && command.until_ms && *command.since_ms >= *command.until_ms) {
            throw CLI::ValidationError("--since", "must be before --until");
        }
        if (!command.board.empty()) {
            if (!command.html_file.empty() || !command.stations.empty() || !command.lots.empty() ||
                !command.hosts.empty() || !command.serials.empty() || !command.pools.empty() ||
                !command.verdicts.empty() || !since.empty() || !until.empty() || app.count("--failing") != 0 || !command.zone.empty() ||
                command.list_runs) {
                throw CLI::ValidationError("board", "takes the board's key and --json or --csv only");
            }
            command.json = command.json || board_json;
            command.csv = command.csv || board_csv;
            if (command.json && command.csv) {
                throw CLI::ValidationError("board", "--json and --csv exclude each other");
            }
        }
    });
    if (take_help_or_error(parsed, result)) {
        return result;
    }
    result.line.report = command;
    return result;
}

int run_report_command(const ReportCommand &command, const Globals &globals) {
    platform::binary_output(stdout);
    const bool json = command.json || (globals.json && !command.csv && command.html_file.empty());
    if (globals.store.empty()) {
        return failed(kRefused, json, "no store is named: give --store URL or set DEVE_STORE");
    }
    const store::UrlResult url = store::parse_store_url(globals.store);
    if (!url.url) {
        return failed(kRefused, json, url.error);
    }
    std::string output;
    try {
        store::odbc::Environment env;
        std::unique_ptr<store::odbc::Connection> db;
        try {
            db = store::connect_for_reading(env, *url.url);
        } catch (const store::odbc::Error &e) {
            // The SQLite driver says no more than "connect failed" for a file
            // that is not there (a report never creates one).
            if (url.url->backend != store::Backend::Sqlite) {
                throw;
            }
            return failed(kRefused, json, std::string(e.what()) + "; if there is no store there yet, create it with "
                                                                  "deve-cli --store " + url.url->name + " store init");
        }
        const store::SchemaCheck schema = store::check_schema(*db);
        if (schema.state != store::SchemaState::Current) {
            return failed(kRefused, json, schema.message);
        }
        if (command.serve) {
            // The page's reader opens its own connection; this one only
            // checked the store at the start.
            db.reset();
            return run_report_serve(command, *url.url, window_of(command));
        }
        if (!command.board.empty()) {
            const report::BoardHistory history = report::read_board(*db, command.board);
            output = json ? report::board_json(history)
                          : command.csv ? report::board_csv(history) : report::board_text(history);
        } else {
            const report::Window window = window_of(command);
            report::ReportOptions options;
            std::string zone_error;
            const std::optional<report::Zone> zone =
                command.zone.empty() ? report::Zone::machine() : report::Zone::find(command.zone, zone_error);
            if (!zone) {
                return failed(kRefused, json, zone_error);
            }
            options.zone = *zone;
            options.list_runs = command.list_runs;
            options.histograms = !command.html_file.empty();
            // A second connection sums the measurements while the first
            // streams the runs; without one (a server that allows no more
            // connections), the first does both, one after the other.
            std::unique_ptr<store::odbc::Connection> second;
            try {
                second = store::connect(env, *url.url, false);
            } catch (const store::odbc::Error &) {
            }
            report::Report figures = report::read_report(*db, window, options, now_ms(), second.get());
            figures.failing = report::read_failing_runs(*db, window, command.failing);
            if (!command.html_file.empty()) {
                report::read_failing_boards(*db, figures.failing);
                std::string error;
                if (!write_page(command.html_file, report::report_html(figures), error)) {
                    return failed(kRefused, false, error);
                }
                output = "report: " + report::counted(figures.run_count, "run", "runs") + ", the page is " +
                         command.html_file + "\n";
            } else {
                output = json ? report::report_json(figures)
                              : command.csv ? report::report_csv(figures) : report::report_text(figures);
            }
        }
    } catch (const store::odbc::Error &e) {
        return failed(e.failure() == store::odbc::Failure::Unreachable ? kAway : kRefused, json, e.what());
    }
    if (!write_stdout(output)) {
        std::fprintf(stderr, "deve-cli: report: the output could not be written\n");
        return kRefused;
    }
    return 0;
}

}  // namespace deve::cli
