// The parts of deve-cli's command-line parsing, one file per command family:
// arguments.cpp cuts the words into parts and holds the command table,
// argument_words.cpp the reading of one part's words and of the numbers,
// arguments_radio.cpp the chip and radio commands (info, reg, tune, tx, rx,
// cal, dpd, temp, script), arguments_efuse.cpp mac and efuse,
// arguments_trim.cpp trim, arguments_session.cpp the session and its lines,
// arguments_globals.cpp the global options.
#pragma once

#include "commands.h"
#include "numbers.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace deve::cli::parsing {

// A usage error found after CLI11 accepted the words.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// --help: the help of the app (or of its chosen subcommand).
struct HelpRequest {
    std::string text;
};

constexpr const char *kProgram = "deve-cli";
constexpr const char *kSessionCommand = "session";

std::string lower(std::string text);

// Whether a word starts a command.
bool is_command(const std::string &word);
// "info, reg, tune, ...".
std::string command_words();

// Parses the words of one part (in their order) with an app; --help throws
// a HelpRequest.
void parse_words(CLI::App &app, std::vector<std::string> words);

std::uint32_t hex_argument(const std::string &text, const char *what);

// ---- Numbers of the options --------------------------------------------------
// Options that take numbers are read as text and checked when the words
// have been parsed, so that a refusal names the range in plain words (and a
// negative count cannot wrap, nor a NaN or infinite limit pass everything).

// The number in `text`, within the range; a usage error naming the range
// otherwise.
double checked_number(const std::string &option, const std::string &text, const NumberRange &range);

// A number option: its text is checked when the words have been parsed.
struct NumberOption {
    std::string option;
    NumberRange range;
    std::optional<std::string> text;
};
using NumberOptions = std::vector<std::unique_ptr<NumberOption>>;

CLI::Option *add_number(CLI::App &app, NumberOptions &numbers, const std::string &name, const NumberRange &range,
                        const std::string &description);

template <typename T>
void take_number(const NumberOption &n, T &out) {
    if (n.text) {
        out = static_cast<T>(checked_number(n.option, *n.text, n.range));
    }
}
template <typename T>
void take_number(const NumberOption &n, std::optional<T> &out) {
    if (n.text) {
        out = static_cast<T>(checked_number(n.option, *n.text, n.range));
    }
}

// ---- eFuse burns ---------------------------------------------------------------

// --dry-run, --yes, --if-blank and --expect VALUE (its text in `expect`).
void burn_flags(CLI::App &app, BurnOptions &burn, std::string &expect);
// The value an item is expected to read, as readers show it; a usage error
// when it is not a value of the item.
std::string expected_item_value(const EfuseItem &item, const std::string &text);

// ---- One parser per command ------------------------------------------------

using Parser = Command (*)(const std::vector<std::string> &);

Command parse_info(const std::vector<std::string> &words);
Command parse_reg(const std::vector<std::string> &words);
Command parse_tune(const std::vector<std::string> &words);
Command parse_tx(const std::vector<std::string> &words);
Command parse_rx(const std::vector<std::string> &words);
Command parse_cal(const std::vector<std::string> &words);
Command parse_dpd(const std::vector<std::string> &words);
Command parse_temp(const std::vector<std::string> &words);
Command parse_script(const std::vector<std::string> &words);
Command parse_mac(const std::vector<std::string> &words);
Command parse_efuse(const std::vector<std::string> &words);
Command parse_trim(const std::vector<std::string> &words);

// The commands of parts[first...], each part starting with its name.
ParseResult parse_commands(const std::vector<std::vector<std::string>> &parts, std::size_t first);

// The session command's words (after its name): Help, Error, or Run with
// the session set.
ParseResult parse_session(const std::vector<std::string> &words);

// ---- Global options ----------------------------------------------------------

// The global options as typed, before they are checked.
struct GlobalWords {
    std::string port;
    std::string supply;
    std::string crystal;
    std::string open = "full";
    std::vector<std::string> meta;
    CLI::Option *store = nullptr;  // --store, to tell an empty URL from none
    bool no_progress = false;
    bool version = false;
};

// The usage line of the whole program: options, then commands.
class ProgramFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App *, std::string name) const override;
};

// Adds the global options to the program's app.
void global_options(CLI::App &app, Globals &g, GlobalWords &words);
// Checks the global options' words and puts them in `g`; the usage error
// when one is not right.
std::optional<std::string> settle_globals(const GlobalWords &words, Globals &g);

}  // namespace deve::cli::parsing
