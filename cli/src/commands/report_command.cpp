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

}  // namespace

ParseResult parse_report_command(const std::vector<std::string> &words) {
    ParseResult result;
    ReportCommand command;
    std::string since;
    std::string until;
    CLI::App app{"The line's figures from the store, without the board: runs by verdict; first-pass and final "
                 "yield per station, lot and day; n, mean, standard deviation, minimum, maximum, Cp and Cpk of "
                 "every measurement with limits; failures by step and limit. The store is named by --store URL "
                 "(or DEVE_STORE).",
                 "deve-cli report"};
    app.allow_windows_style_options(false);
    app.require_subcommand(0, 1);
    app.add_option("--since", since,
                   "runs that started at or after TIME: 2026-12-08, 2026-12-08T14:30[:05[.250]][Z] (UTC), or a "
                   "span back from now: 90m, 12h, 7d")
        ->type_name("TIME");
    app.add_option("--until", until, "runs that started before TIME (as --since)")->type_name("TIME");
    app.add_option("--station", command.station, "runs of this station only")->type_name("S");
    app.add_option("--lot", command.lot, "runs of this lot only")->type_name("L");
    app.add_option("--tz", command.zone,
                   "the zone of the day table: an IANA name (Europe/Berlin), UTC, or an offset (+01:00); default: "
                   "the machine's zone (TZ)")
        ->type_name("ZONE");
    app.add_flag("--runs", command.list_runs, "list every run too (JSON runs, CSV runs, a table in the text)");
    CLI::Option *json_flag = app.add_flag("--json", command.json, "one JSON object");
    CLI::Option *csv_flag = app.add_flag("--csv", command.csv, "CSV: one table per section, each row led by its name");
    CLI::Option *html = app.add_option("--html", command.html_file,
                                       "one self-contained HTML page with a histogram of each measurement "
                                       "against its limits and the yield by station")
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
    const StandaloneParse parsed = parse_standalone(app, words, "report", [&] {
        const std::int64_t now = now_ms();
        for (const auto &[text, target, name] :
             {std::make_tuple(&since, &command.since_ms, "--since"), std::make_tuple(&until, &command.until_ms, "--until")}) {
            if (text->empty()) {
                continue;
            }
            *target = report::parse_time(*text, now);
            if (!*target) {
                throw CLI::ValidationError(name, "not a time: " + *text +
                                                     " (2026-12-08, 2026-12-08T14:30:05Z, 90m, 12h or 7d)");
            }
        }
        // The store keeps text as UTF-8; a key or name whose bytes are not
        // is refused, never guessed at.
        for (const auto &[text, name, noun] : {std::make_tuple(&command.board, "board", "the board's key"),
                                               std::make_tuple(&command.station, "--station", "the station"),
                                               std::make_tuple(&command.lot, "--lot", "the lot")}) {
            if (const std::optional<std::string> bad = store::odbc::not_utf8_words(*text)) {
                throw CLI::ValidationError(name, std::string(noun) + " " + *bad);
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
            if (!command.html_file.empty() || !command.station.empty() || !command.lot.empty() || !since.empty() ||
                !until.empty() || !command.zone.empty() || command.list_runs) {
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
        if (!command.board.empty()) {
            const report::BoardHistory history = report::read_board(*db, command.board);
            output = json ? report::board_json(history)
                          : command.csv ? report::board_csv(history) : report::board_text(history);
        } else {
            const report::Window window{command.since_ms, command.until_ms, command.station, command.lot};
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
            const report::Report figures = report::read_report(*db, window, options, now_ms());
            if (!command.html_file.empty()) {
                std::string error;
                if (!write_page(command.html_file, report::report_html(figures), error)) {
                    return failed(kRefused, false, error);
                }
                output = "report: " + std::to_string(figures.run_count) + " runs, the page is " +
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
