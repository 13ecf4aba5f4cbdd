#include "standalone_parse.h"

namespace deve::cli {

StandaloneParse parse_standalone(CLI::App &app, const std::vector<std::string> &words, const std::string &name,
                                 const std::function<void()> &check) {
    StandaloneParse out;
    std::vector<std::string> reversed(words.rbegin(), words.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
        if (check) {
            check();
        }
    } catch (const CLI::CallForHelp &) {
        out.help = app.get_subcommands().empty() ? app.help() : app.get_subcommands().front()->help();
    } catch (const CLI::ParseError &e) {
        out.error = name + ": " + e.what();
    }
    return out;
}

bool take_help_or_error(const StandaloneParse &parsed, ParseResult &result) {
    if (!parsed.help.empty()) {
        result.kind = ParseResult::Kind::Help;
        result.text = parsed.help;
        return true;
    }
    if (!parsed.error.empty()) {
        result.kind = ParseResult::Kind::Error;
        result.text = parsed.error;
        return true;
    }
    return false;
}

}  // namespace deve::cli
