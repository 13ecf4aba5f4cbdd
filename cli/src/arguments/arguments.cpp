// Parsing the command line. CLI11 parses one command at a time: the
// arguments are cut into a global part and one part per command, each
// starting at a command name, and each part goes to a parser of its own, so a
// command may appear any number of times and every part gets its own --help.
// The parsers of the command families are in the arguments_*.cpp files
// (argument_parts.h).
#include "argument_parts.h"

#include "input_file.h"
#include "tuning.h"

#include <algorithm>
#include <array>

namespace deve::cli {

namespace parsing {

namespace {

struct CommandSpec {
    const char *name;
    const char *summary;
};

constexpr const char *kStoreCommand = "store";
constexpr const char *kReportCommand = "report";
constexpr const char *kTraceCommand = "trace";
constexpr const char *kLinkCommand = "link";

constexpr std::array<CommandSpec, 17> kCommands{{
    {"info", "chip identifier, revision word, transport file, free eFuse bits"},
    {"reg", "read or write one chip register (reg read ADDR, reg write ADDR VALUE)"},
    {"tune", "band, channel, mode, rate, RF gain, DAC, 11b gain, frequency offset"},
    {"tx", "continuous transmission; transmitted frames every second; limits"},
    {"rx", "reception; errors, frames and packet error rate every second; limits"},
    {"cal", "run the radio's calibrations"},
    {"dpd", "pre-distortion on (calibrates) or off"},
    {"temp", "die temperature and the raw sensor code"},
    {"script", "write the registers of a register script file"},
    {"mac", "read the MAC address, or burn one into the eFuse"},
    {"efuse", "eFuse map summary, item values, or a staged and verified burn"},
    {"trim", "trim find: the frequency-offset trim with the lowest packet error rate; --burn burns it"},
    {"session", "command lines from standard input or a file, one link for all of them (alone on the command line)"},
    {"store", "the line store without the board: store init, store upload, store pool (alone on the command line)"},
    {"report", "yield, Cpk and failures of the store's runs, or one board's history (alone on the command line)"},
    {"trace", "trace show|stats|diff: read traces of the link, without the board (alone on the command line)"},
    {"link", "link check: the transport, its access times and the chip's identity; writes nothing (alone)"},
}};

std::string command_list() {
    std::string text = "Commands (run in the order given; each has --help):\n";
    for (const CommandSpec &c : kCommands) {
        std::string name = c.name;
        name.resize(8, ' ');
        text += "  " + name + c.summary + "\n";
    }
    return text;
}

Parser parser_of(const std::string &name) {
    static const std::array<std::pair<const char *, Parser>, 12> parsers{{
        {"info", parse_info},
        {"reg", parse_reg},
        {"tune", parse_tune},
        {"tx", parse_tx},
        {"rx", parse_rx},
        {"cal", parse_cal},
        {"dpd", parse_dpd},
        {"temp", parse_temp},
        {"script", parse_script},
        {"mac", parse_mac},
        {"efuse", parse_efuse},
        {"trim", parse_trim},
    }};
    for (const auto &[n, p] : parsers) {
        if (name == n) {
            return p;
        }
    }
    return nullptr;
}

}  // namespace

bool is_command(const std::string &word) {
    return std::any_of(kCommands.begin(), kCommands.end(), [&](const CommandSpec &c) { return word == c.name; });
}

// "info, reg, tune, ...".
std::string command_words() {
    std::string names;
    for (const std::string &n : command_names()) {
        names += (names.empty() ? "" : ", ") + n;
    }
    return names;
}

// The commands of parts[first...], each part starting with its name.
ParseResult parse_commands(const std::vector<std::vector<std::string>> &parts, std::size_t first) {
    ParseResult result;
    for (std::size_t i = first; i < parts.size(); ++i) {
        std::vector<std::string> words(parts[i].begin() + 1, parts[i].end());
        const std::string &name = parts[i].front();
        try {
            if (name == kSessionCommand) {
                throw UsageError("a session stands alone: deve-cli [OPTIONS] session [--commands FILE]");
            }
            if (name == kStoreCommand) {
                throw UsageError("store stands alone: deve-cli --store URL store ACTION");
            }
            if (name == kReportCommand) {
                throw UsageError("it stands alone: deve-cli --store URL report [OPTIONS]");
            }
            if (name == kTraceCommand) {
                throw UsageError("it stands alone: deve-cli trace show|stats FILE, deve-cli trace diff A B");
            }
            if (name == kLinkCommand) {
                throw UsageError("it stands alone: deve-cli [--port USB|SDIO] link check");
            }
            result.line.commands.push_back(parser_of(name)(words));
        } catch (const HelpRequest &help) {
            result.kind = ParseResult::Kind::Help;
            result.text = help.text;
            return result;
        } catch (const CLI::ParseError &e) {
            result.kind = ParseResult::Kind::Error;
            result.text = name + ": " + e.what();
            return result;
        } catch (const UsageError &e) {
            result.kind = ParseResult::Kind::Error;
            result.text = name + ": " + e.what();
            return result;
        }
    }
    return result;
}

}  // namespace parsing

using namespace parsing;

const std::vector<std::string> &command_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const CommandSpec &c : kCommands) {
            out.emplace_back(c.name);
        }
        return out;
    }();
    return names;
}

std::string command_name(const Command &command) {
    struct Namer {
        std::string operator()(const InfoCmd &) const { return "info"; }
        std::string operator()(const RegReadCmd &) const { return "reg read"; }
        std::string operator()(const RegWriteCmd &) const { return "reg write"; }
        std::string operator()(const TuneCmd &) const { return "tune"; }
        std::string operator()(const TxCmd &) const { return "tx"; }
        std::string operator()(const RxCmd &) const { return "rx"; }
        std::string operator()(const CalCmd &) const { return "cal"; }
        std::string operator()(const DpdCmd &) const { return "dpd"; }
        std::string operator()(const TempCmd &) const { return "temp"; }
        std::string operator()(const ScriptCmd &) const { return "script"; }
        std::string operator()(const MacReadCmd &) const { return "mac read"; }
        std::string operator()(const MacWriteCmd &) const { return "mac write"; }
        std::string operator()(const EfuseSummaryCmd &) const { return "efuse summary"; }
        std::string operator()(const EfuseReadCmd &) const { return "efuse read"; }
        std::string operator()(const EfuseBurnCmd &) const { return "efuse burn"; }
        std::string operator()(const TrimFindCmd &) const { return "trim find"; }
    };
    return std::visit(Namer{}, command);
}

namespace {

ParseResult parse_words_of(const std::vector<std::string> &args) {
    ParseResult result;
    // Cut the words into the global part and one part per command.
    std::vector<std::vector<std::string>> parts(1);
    for (const std::string &word : args) {
        if (is_command(word)) {
            parts.emplace_back();
        }
        parts.back().push_back(word);
    }

    Globals &g = result.line.globals;
    GlobalWords global_words;
    CLI::App app{"deve-cli: the Deve console's bench operations from the command line. Opens the link with the "
                 "console's open sequence, runs the commands in order, leaves the radio with transmission and "
                 "reception stopped (also on Ctrl-C and SIGTERM) and closes the link.",
                 kProgram};
    app.footer(command_list() +
               "\nExample: deve-cli --json tune --band 5G --channel 36 tx --seconds 5 --min-frames 1000\n"
               "\nExit codes:\n"
               "  0    pass: every result passed (a burn that would change nothing is a pass)\n"
               "  1    fail: a result failed its limits, a run was cut short, a burn failed or was not confirmed\n"
               "  2    usage error or refusal (a refused tune or burn, an unreadable file, output that cannot be "
               "written)\n"
               "  3    link or board: busy, did not open, did not answer\n"
               "  129  interrupted by SIGHUP, 130 by SIGINT (Ctrl-C), 143 by SIGTERM (128 + signal)\n");
    app.formatter(std::make_shared<ProgramFormatter>());
    global_options(app, g, global_words);
    // Words that are neither options nor a command are sorted out below.
    app.allow_extras();
    try {
        parse_words(app, parts.front());
    } catch (const HelpRequest &help) {
        result.kind = ParseResult::Kind::Help;
        result.text = help.text;
        return result;
    } catch (const CLI::ParseError &e) {
        result.kind = ParseResult::Kind::Error;
        result.text = e.what();
        return result;
    }
    if (const std::vector<std::string> extras = app.remaining(); !extras.empty()) {
        result.kind = ParseResult::Kind::Error;
        const std::string &word = extras.front();
        if (!word.empty() && word.front() == '-') {
            result.text = "unknown option: " + word + " (see deve-cli --help for the options)";
        } else {
            result.text = "unknown command: " + word + " (commands: " + command_words() + ")";
        }
        return result;
    }
    if (global_words.version) {
        result.kind = ParseResult::Kind::Help;
        result.text = std::string(kProgram) + " " + kVersion + "\n";
        return result;
    }
    if (const std::optional<std::string> refusal = settle_globals(global_words, g)) {
        result.kind = ParseResult::Kind::Error;
        result.text = *refusal;
        return result;
    }

    if (parts.size() == 1) {
        result.kind = ParseResult::Kind::Error;
        result.text = "no command given (see deve-cli --help)";
        return result;
    }
    if (parts[1].front() == kSessionCommand) {
        if (parts.size() > 2) {
            result.kind = ParseResult::Kind::Error;
            result.text = "session: the commands of a session are given on its lines, not after it (" +
                          parts[2].front() + ")";
            return result;
        }
        ParseResult session = parse_session(std::vector<std::string>(parts[1].begin() + 1, parts[1].end()));
        session.line.globals = result.line.globals;
        return session;
    }
    // The store's commands stand alone and never open the board.
    for (const auto &[name, parse] : {std::make_pair(kStoreCommand, parse_store_command),
                                      std::make_pair(kReportCommand, parse_report_command),
                                      std::make_pair(kTraceCommand, parse_trace_command),
                                      std::make_pair(kLinkCommand, parse_link_command)}) {
        if (parts[1].front() != name) {
            continue;
        }
        ParseResult alone = parse(std::vector<std::string>(parts[1].begin() + 1, parts[1].end()));
        if (alone.kind == ParseResult::Kind::Run && parts.size() > 2) {
            alone.kind = ParseResult::Kind::Error;
            alone.text = std::string(name) + ": nothing follows it (" + parts[2].front() + ")";
        }
        alone.line.globals = result.line.globals;
        return alone;
    }
    ParseResult commands = parse_commands(parts, 1);
    commands.line.globals = result.line.globals;
    if (commands.kind == ParseResult::Kind::Run) {
        if (const std::optional<std::string> refusal = check_tunes(commands.line.commands)) {
            commands.kind = ParseResult::Kind::Error;
            commands.text = *refusal;
        }
    }
    return commands;
}

}  // namespace

ParseResult parse_command_line(const std::vector<std::string> &args) {
    ParseResult result = parse_words_of(args);
    if (result.kind != ParseResult::Kind::Error) {
        return result;
    }
    // A message quotes a long word (an unknown command, a value) as an
    // excerpt, never whole: a 100 KB word is not written back to the
    // terminal or the log.
    for (const std::string &word : args) {
        const std::string shown = excerpt(word);
        if (shown.size() >= word.size()) {
            continue;
        }
        for (std::size_t at = result.text.find(word); at != std::string::npos;
             at = result.text.find(word, at + shown.size())) {
            result.text.replace(at, word.size(), shown);
        }
    }
    constexpr std::size_t kMessageMaxBytes = 1024;
    if (result.text.size() > kMessageMaxBytes) {
        result.text = excerpt(result.text);
    }
    return result;
}

}  // namespace deve::cli
