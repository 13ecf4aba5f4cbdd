// The command line of deve-cli: global options (the link and the output),
// then one or more commands, each starting at its name and run in order.
#pragma once

#include "deve/efuse_items.h"
#include "deve/open_sequence.h"
#include "limit_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace deve::cli {

struct Globals {
    bool json = false;
    bool progress = true;      // on a terminal only
    bool stop_on_fail = false;
    std::string library_log;   // file for the library's diagnostics; "-" = standard error
    OpenChoices open;          // port, supply, crystal; calibrate = false for --open quick
    // --meta KEY=VALUE, in the order given: serial, station, operator, lot...
    std::vector<std::pair<std::string, std::string>> meta;
    std::string limits_file;         // --limits FILE
    std::optional<LimitFile> limits; // its sets, read before the link opens
    std::string store;               // --store URL (else DEVE_STORE): the line store results also go to
    // What identifies the files the run followed: the SHA-256 (hex) of the
    // limit file's bytes, and a session's command file and its SHA-256.
    std::string limits_sha256;
    std::string commands_file;
    std::string commands_sha256;
    // --unjudged-ok: with --limits, a tx or rx that no set covers passes
    // unjudged instead of failing.
    bool unjudged_ok = false;
};

struct InfoCmd {};
struct RegReadCmd {
    std::uint32_t address = 0;
};
struct RegWriteCmd {
    std::uint32_t address = 0;
    std::uint32_t value = 0;
};

// Settings of tune as typed; resolved against the radio's state when run.
struct TuneRequest {
    std::optional<std::string> band;
    std::optional<std::string> channel;
    std::optional<std::string> mode;
    std::optional<std::string> rate;
    std::optional<std::string> rf_gain;
    std::optional<std::string> dac;
    std::optional<std::string> b_gain;
    std::optional<std::uint32_t> offset;
};
struct TuneCmd {
    TuneRequest request;
};

// How a tx or rx run is to stop: the command line's choice of the
// sequential test (--sequential and its settings) or of the fixed count
// (--fixed), over the limit set's.
struct SequentialChoice {
    bool sequential = false;  // --sequential, or any of its settings given
    bool fixed = false;       // --fixed: count --frames even when the set is sequential
    SequentialPlan plan;
};
struct TxCmd {
    unsigned seconds = 10;  // how long; the cap when frames is given
    std::optional<std::uint64_t> frames;  // stop once this many frames are counted
    std::uint32_t pit = 0;
    std::optional<std::uint64_t> min_frames;
    std::optional<double> min_fps;
    SequentialChoice test;
};
struct RxCmd {
    unsigned seconds = 10;
    std::optional<std::uint64_t> frames;
    std::optional<double> max_per;
    std::optional<std::uint64_t> min_frames;
    std::optional<std::uint64_t> max_errors;
    SequentialChoice test;
};
struct CalCmd {};
struct DpdCmd {
    bool on = false;
};
struct TempCmd {};
struct ScriptCmd {
    std::string file;
};

struct BurnOptions {
    bool dry_run = false;
    bool yes = false;
    bool if_blank = false;               // refuse when the item already holds a value
    std::optional<std::string> expect;   // refuse unless the item reads this first (readers' text)
};
struct MacReadCmd {};
struct MacWriteCmd {
    MacAddress mac{};
    BurnOptions burn;
    std::string pool;    // --from-pool NAME: the address comes from this pool of the store
    bool adopt = false;  // record an address the board holds that no pool knows
};
struct EfuseSummaryCmd {};
struct EfuseReadCmd {
    std::string item;  // empty = every item and the MAC address
};
struct EfuseBurnCmd {
    std::string item;  // an item name, or "MAC"
    std::vector<std::uint32_t> values;
    MacAddress mac{};
    BurnOptions burn;
};

// trim find: the frequency-offset trim with the lowest receive error rate.
struct TrimFindCmd {
    TuneRequest tune;  // band, channel, mode and rate to search at, applied as by tune
    std::uint32_t from = 0;
    std::uint32_t to = 255;
    std::uint64_t frames = 200;  // frames per point of the fine pass
    bool burn = false;           // burn the best trim (staged and verified) and run with it
    BurnOptions burn_options;
    // Acceptance limits: a search that fails them burns nothing.
    std::optional<double> max_per;           // the best trim's packet error rate
    std::optional<std::uint64_t> min_trim;   // where the best trim may sit
    std::optional<std::uint64_t> max_trim;
};

using Command = std::variant<InfoCmd, RegReadCmd, RegWriteCmd, TuneCmd, TxCmd, RxCmd, CalCmd, DpdCmd, TempCmd,
                             ScriptCmd, MacReadCmd, MacWriteCmd, EfuseSummaryCmd, EfuseReadCmd, EfuseBurnCmd,
                             TrimFindCmd>;

// The command's name as typed ("reg read", "efuse burn", ...).
std::string command_name(const Command &command);

// deve-cli session: command lines from standard input, or from a file.
struct Session {
    std::string commands_file;  // empty: standard input
};

// deve-cli store ACTION ...: work on the line store alone, without the board.
struct StoreCommand {
    std::string action;              // "init", "upload"
    std::vector<std::string> words;  // the action's own arguments
    bool json = false;               // --json given after the action (store pool status NAME --json)
};

// deve-cli report ...: the line's figures from the store, without the board.
struct ReportCommand {
    std::optional<std::int64_t> since_ms;  // UTC milliseconds
    std::optional<std::int64_t> until_ms;
    // Each repeatable: a run of any of the values given.
    std::vector<std::string> stations;
    std::vector<std::string> lots;
    std::vector<std::string> serials;
    std::vector<std::string> hosts;
    std::vector<std::string> pools;
    std::vector<std::string> verdicts;
    std::size_t failing = 50;  // --failing N: the latest failing runs listed
    std::string board;      // report board SERIAL|MAC|RUN_ID
    std::string zone;       // --tz ZONE; empty: the machine's
    bool list_runs = false; // --runs: every run in the report
    bool json = false;
    bool csv = false;
    std::string html_file;  // --html FILE
    // report serve: the live page, on ADDRESS:PORT, read again every
    // refresh_seconds. A --since given as a span back from now ("8h")
    // slides with the clock: since_span_ms keeps it.
    bool serve = false;
    std::string listen_host = "127.0.0.1";
    int listen_port = 8080;
    int refresh_seconds = 10;
    std::optional<std::int64_t> since_span_ms;
};

// deve-cli trace show|stats|diff: a trace of the link, without the board.
struct TraceCommand {
    std::string action;              // "show", "stats", "diff"
    std::vector<std::string> files;  // one; two for diff
    bool json = false;               // --json given after the action
};

// deve-cli link check: the link alone, for bring-up; writes nothing to the chip.
struct LinkCheckCommand {
    unsigned reads = 1000;  // timed reads of the chip revision word
    bool json = false;
};

struct CommandLine {
    Globals globals;
    std::vector<Command> commands;
    std::optional<Session> session;  // the commands come from a session's lines
    std::optional<StoreCommand> store;
    std::optional<ReportCommand> report;
    std::optional<TraceCommand> trace;
    std::optional<LinkCheckCommand> link_check;
};

// What the arguments ask for: run, print help (text to standard output), or
// a usage error (message).
struct ParseResult {
    enum class Kind { Run, Help, Error } kind = Kind::Run;
    std::string text;
    CommandLine line;
};

// Parses the arguments after the program name.
ParseResult parse_command_line(const std::vector<std::string> &args);

// The words of one session line: blanks separate words, double or single
// quotes keep blanks in a word, a backslash takes the next character as it
// is, and a word that starts with # starts a comment. Nothing when a quote
// is not closed.
std::optional<std::vector<std::string>> split_session_line(const std::string &line);
// One session line's commands (the words as on the command line, without
// the global options). Kind Help or Error as for the command line.
ParseResult parse_session_line(const std::vector<std::string> &words);
// The word that ends a session.
constexpr const char *kQuitWord = "quit";

// deve-cli store ...: its words after "store" (kind Help or Error as above).
ParseResult parse_store_command(const std::vector<std::string> &words);
// deve-cli report ...: its words after "report" (kind Help or Error as above).
ParseResult parse_report_command(const std::vector<std::string> &words);

// deve-cli trace ...: its words after "trace" (kind Help or Error as above).
ParseResult parse_trace_command(const std::vector<std::string> &words);
// deve-cli link ...: its words after "link" (kind Help or Error as above).
ParseResult parse_link_command(const std::vector<std::string> &words);

// The names that start a command.
const std::vector<std::string> &command_names();

// Strict parsers of typed values (the console's fields are more lenient).
// Hexadecimal with an optional 0x, 1 to 8 digits.
std::optional<std::uint32_t> parse_hex_word(const std::string &text);
// A decimal number of at most 32 bits.
std::optional<std::uint32_t> parse_decimal(const std::string &text);

constexpr const char *kVersion = DEVE_VERSION;

}  // namespace deve::cli
