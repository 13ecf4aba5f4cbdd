// Parsing of the commands that stand alone on the command line and need no
// board (store, store pool, report): their CLI11 app, its help and its
// errors in one place.
#pragma once

#include "commands.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace deve::cli {

// What parsing a stand-alone command gave: its help (--help), an error, or
// neither when the words were accepted.
struct StandaloneParse {
    std::string help;
    std::string error;
};

// Parses WORDS (in their order) with APP, then runs CHECK, which may throw
// a CLI::ParseError of its own. --help gives the help of the subcommand
// chosen, or of APP; an error is named after NAME ("store: ...").
StandaloneParse parse_standalone(CLI::App &app, const std::vector<std::string> &words, const std::string &name,
                                 const std::function<void()> &check = {});

// Puts the help or the error of PARSED into RESULT; true when there was one.
bool take_help_or_error(const StandaloneParse &parsed, ParseResult &result);

}  // namespace deve::cli
