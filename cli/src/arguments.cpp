// Parsing the command line. CLI11 parses one command at a time: the
// arguments are cut into a global part and one part per command, each
// starting at a command name, and each part goes to a parser of its own, so a
// command may appear any number of times and every part gets its own --help.
#include "commands.h"

#include "deve/efuse_burn.h"
#include "deve/tables.h"
#include "deve/text.h"
#include "tuning.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <stdexcept>

namespace deve::cli {

namespace {

constexpr const char *kProgram = "deve-cli";

// A usage error found after CLI11 accepted the words.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// --help: the help of the app (or of its chosen subcommand).
struct HelpRequest {
    std::string text;
};

struct CommandSpec {
    const char *name;
    const char *summary;
};

constexpr std::array<CommandSpec, 11> kCommands{{
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
}};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool is_command(const std::string &word) {
    return std::any_of(kCommands.begin(), kCommands.end(), [&](const CommandSpec &c) { return word == c.name; });
}

std::string command_list() {
    std::string text = "Commands (run in the order given; each has --help):\n";
    for (const CommandSpec &c : kCommands) {
        std::string name = c.name;
        name.resize(8, ' ');
        text += "  " + name + c.summary + "\n";
    }
    return text;
}

// A word that starts with '/' is a path ("script /tmp/regs.txt"), never an
// option: CLI11 would take it for a Windows-style option on Windows.
void posix_style_options_only(CLI::App &app) {
    app.allow_windows_style_options(false);
    for (CLI::App *sub : app.get_subcommands([](CLI::App *) { return true; })) {
        posix_style_options_only(*sub);
    }
}

// Parses the words of one part (in their order) with an app.
void parse_words(CLI::App &app, std::vector<std::string> words) {
    posix_style_options_only(app);
    std::reverse(words.begin(), words.end());  // CLI11 takes them last first
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp &) {
        throw HelpRequest{app.help()};
    }
}

std::uint32_t hex_argument(const std::string &text, const char *what) {
    const std::optional<std::uint32_t> value = parse_hex_word(text);
    if (!value) {
        throw UsageError(std::string(what) + " '" + text + "' is not a hexadecimal 32-bit number");
    }
    return *value;
}

void burn_flags(CLI::App &app, BurnOptions &burn) {
    app.add_flag("--dry-run", burn.dry_run, "show the preview and program nothing");
    app.add_flag("--yes", burn.yes, "burn without asking the operator to type BURN (for scripted lines)");
}

// ---- One parser per command ------------------------------------------------

Command parse_info(const std::vector<std::string> &words) {
    CLI::App app{"Chip identifier (eFuse header word), chip revision word, the transport file the library "
                 "loaded, and the free eFuse bits.",
                 "deve-cli info"};
    parse_words(app, words);
    return InfoCmd{};
}

Command parse_reg(const std::vector<std::string> &words) {
    CLI::App app{"Read or write one 32-bit chip register. ADDR and VALUE are hexadecimal (0x optional).",
                 "deve-cli reg"};
    app.require_subcommand(1, 1);
    std::string address;
    std::string value;
    CLI::App *read = app.add_subcommand("read", "read a register: reg read ADDR");
    read->add_option("ADDR", address, "register address, hexadecimal")->required();
    CLI::App *write = app.add_subcommand("write", "write a register: reg write ADDR VALUE");
    write->add_option("ADDR", address, "register address, hexadecimal")->required();
    write->add_option("VALUE", value, "value, hexadecimal")->required();
    parse_words(app, words);
    if (read->parsed()) {
        return RegReadCmd{hex_argument(address, "ADDR")};
    }
    return RegWriteCmd{hex_argument(address, "ADDR"), hex_argument(value, "VALUE")};
}

Command parse_tune(const std::vector<std::string> &words) {
    CLI::App app{"Set the operating point. Only the settings given change; the others stay as they are. After "
                 "the link opens the radio is on band 2G, channel 1, mode 11n-HT20, rate HT20-MCS7, with the "
                 "frequency offset 151 (or the crystal trim stored in the eFuse). A channel the band does not "
                 "offer, or a rate the mode does not offer, is refused. The frequency offset is applied when tx "
                 "or rx starts.",
                 "deve-cli tune"};
    TuneCmd cmd;
    TuneRequest &r = cmd.request;
    app.add_option("--band", r.band, "2G or 5G");
    app.add_option("--channel", r.channel,
                   "channel number or label: 2G 1-13; 5G 32-64 and 100-170 (for example 36 or CH36_5180MHz)");
    app.add_option("--mode", r.mode, "11b-CCK, 11g-OFDM, 11n-HT20, 11n-HT40 (or CCK, OFDM, HT20, HT40)");
    app.add_option("--rate", r.rate,
                   "rate label of the mode: 0-CCK-1M..3-CCK-11M, 0-OFDM-6M..7-OFDM-54M, HT20-MCS0..7, "
                   "HT40-MCS0..7 (choosing 11n-HT20 alone applies HT20-MCS7)");
    app.add_option("--rf-gain", r.rf_gain, "transmit gain step: 0 down to -15");
    app.add_option("--dac", r.dac, "DAC gain in dB relative to code 0x80: +2.5 down to -5 in 0.5 steps");
    app.add_option("--b-gain", r.b_gain, "11b rate gain in dB: +1.5 down to -6 in 0.5 steps");
    app.add_option("--offset", r.offset, "frequency-offset trim, 0-255, applied by the next tx or rx")
        ->check(CLI::Range(0u, 255u));
    parse_words(app, words);
    if (!r.band && !r.channel && !r.mode && !r.rate && !r.rf_gain && !r.dac && !r.b_gain && !r.offset) {
        throw UsageError("tune: give at least one setting (see deve-cli tune --help)");
    }
    return cmd;
}

template <typename Cmd>
void seconds_option(CLI::App &app, Cmd &cmd) {
    app.add_option("--seconds", cmd.seconds, "how long, in seconds; one sample a second")
        ->check(CLI::Range(1u, 86400u))
        ->capture_default_str();
}

Command parse_tx(const std::vector<std::string> &words) {
    CLI::App app{"Continuous transmission on the current operating point (see tune): the frequency offset is "
                 "applied, the packet generator runs for --seconds and is stopped. Every second prints the "
                 "transmitted frames. Limits make the result pass or fail.",
                 "deve-cli tx"};
    TxCmd cmd;
    seconds_option(app, cmd);
    app.add_option("--pit", cmd.pit, "packet interval (PIT) in microseconds, 0-16383; 0 keeps the built-in one")
        ->check(CLI::Range(0u, 16383u))
        ->capture_default_str();
    app.add_option("--min-frames", cmd.min_frames, "limit: at least this many frames transmitted in all");
    app.add_option("--min-fps", cmd.min_fps, "limit: at least this many frames per second on average")
        ->check(CLI::NonNegativeNumber);
    parse_words(app, words);
    return cmd;
}

Command parse_rx(const std::vector<std::string> &words) {
    CLI::App app{"Reception on the current operating point (see tune) for --seconds. Every second prints the "
                 "errors, frames and packet error rate of that second and of the whole run (\"NA\" when nothing "
                 "was received); the counters restart above 3000 frames and the totals carry on. Limits make "
                 "the result pass or fail.",
                 "deve-cli rx"};
    RxCmd cmd;
    seconds_option(app, cmd);
    app.add_option("--max-per", cmd.max_per, "limit: packet error rate of the run at most this, in percent")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--min-frames", cmd.min_frames, "limit: at least this many frames received in all");
    app.add_option("--max-errors", cmd.max_errors, "limit: at most this many frames received in error");
    parse_words(app, words);
    return cmd;
}

Command parse_cal(const std::vector<std::string> &words) {
    CLI::App app{"Run the radio's calibrations (rf_calibration). Fails when the library reports a failure.",
                 "deve-cli cal"};
    parse_words(app, words);
    return CalCmd{};
}

Command parse_dpd(const std::vector<std::string> &words) {
    CLI::App app{"Pre-distortion. on: when it is off, stop transmission, calibrate and run the pre-distortion "
                 "calibration (fails with \"DPD Fail\"); off: switch it off. Transmission is left stopped.",
                 "deve-cli dpd"};
    std::string state;
    app.add_option("STATE", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}, CLI::ignore_case));
    parse_words(app, words);
    return DpdCmd{lower(state) == "on"};
}

Command parse_temp(const std::vector<std::string> &words) {
    CLI::App app{"Die temperature in degrees Celsius (rf_read_temperature) and the raw 6-bit sensor code.",
                 "deve-cli temp"};
    parse_words(app, words);
    return TempCmd{};
}

Command parse_script(const std::vector<std::string> &words) {
    CLI::App app{"Write the registers of a register script: every line that starts with DIList carries an "
                 "8-digit hexadecimal address at column 28 and an 8-digit value at column 39; reading stops "
                 "at a line //end. A file named like a command is written with a path (./tx).",
                 "deve-cli script"};
    ScriptCmd cmd;
    app.add_option("FILE", cmd.file, "script file")->required();
    parse_words(app, words);
    return cmd;
}

MacAddress mac_argument(const std::string &text) {
    const std::optional<MacAddress> mac = parse_mac_text(text);
    if (!mac) {
        throw UsageError("'" + text + "' is not a MAC address (six hexadecimal bytes, 00:11:22:33:44:55)");
    }
    const Staging staging = mac_request(*mac);
    if (!staging.request) {
        throw UsageError("refused: " + staging.refusal);
    }
    return *mac;
}

Command parse_mac(const std::vector<std::string> &words) {
    CLI::App app{"Read the MAC address from the eFuse, or burn one (staged: preview, then type BURN).",
                 "deve-cli mac"};
    app.require_subcommand(1, 1);
    CLI::App *read = app.add_subcommand("read", "read the MAC address");
    CLI::App *write = app.add_subcommand(
        "write", "burn a MAC address into the eFuse: preview, confirmation, read-back. The all-zero, broadcast and "
                 "multicast addresses are refused.");
    std::string text;
    MacWriteCmd cmd;
    write->add_option("MAC", text, "six hexadecimal bytes: 00:11:22:33:44:55, 00-11-22-33-44-55 or 001122334455")
        ->required();
    burn_flags(*write, cmd.burn);
    parse_words(app, words);
    if (read->parsed()) {
        return MacReadCmd{};
    }
    cmd.mac = mac_argument(text);
    return cmd;
}

std::string item_names() {
    std::string text;
    for (const EfuseItem &item : kEfuseItems) {
        text += std::string(item.name) + ", ";
    }
    return text + "MAC";
}

Command parse_efuse(const std::vector<std::string> &words) {
    CLI::App app{"The eFuse (256 one-time-programmable bits): summary of the map, the items' values, or a burn.",
                 "deve-cli efuse"};
    app.require_subcommand(1, 1);
    CLI::App *summary = app.add_subcommand(
        "summary", "every record decoded (type, item, value, bit range), superseded records, records behind a stop "
                   "marked unreachable, the free bits and the 256-bit map");
    CLI::App *read = app.add_subcommand("read", "the values the library's readers return, and the free bits");
    std::string read_item;
    read->add_option("ITEM", read_item, "one item (" + item_names() + "); all when left out");
    CLI::App *burn = app.add_subcommand(
        "burn", "stage a record, preview it (value readers will see, bits it takes, free bits left), ask for BURN, "
                "program it and read it back. Refused: a burn that changes nothing, values out of range, and the "
                "all-zero, broadcast and multicast MAC addresses.");
    EfuseBurnCmd cmd;
    std::vector<std::string> values;
    burn->add_option("ITEM", cmd.item, item_names())->required();
    burn->add_option("VALUES", values,
                     "TX_PWR1, TX_PWR2, TX_Rate2: two values 0-15; TX_Rate1: one or two values 0-15 (a left-out "
                     "second value keeps the stored one); Freq_offset: one value 0-255; MAC: the address")
        ->required();
    burn_flags(*burn, cmd.burn);
    parse_words(app, words);

    if (summary->parsed()) {
        return EfuseSummaryCmd{};
    }
    if (read->parsed()) {
        if (!read_item.empty() && !deve::equal_ignoring_case(read_item, "MAC") && find_efuse_item(read_item) == nullptr) {
            throw UsageError("unknown eFuse item '" + read_item + "' (items: " + item_names() + ")");
        }
        return EfuseReadCmd{read_item};
    }
    if (deve::equal_ignoring_case(cmd.item, "MAC")) {
        if (values.size() != 1) {
            throw UsageError("efuse burn MAC takes one address");
        }
        cmd.item = "MAC";
        cmd.mac = mac_argument(values[0]);
        return cmd;
    }
    const EfuseItem *item = find_efuse_item(cmd.item);
    if (item == nullptr) {
        throw UsageError("unknown eFuse item '" + cmd.item + "' (items: " + item_names() + ")");
    }
    cmd.item = item->name;
    for (const std::string &v : values) {
        const std::optional<std::uint32_t> number = parse_decimal(v);
        if (!number) {
            throw UsageError("eFuse value '" + v + "' is not a decimal number");
        }
        cmd.values.push_back(*number);
    }
    // Counts and ranges do not depend on the fuses: refuse them before the
    // link opens. (A left-out second value is filled in when the map is read.)
    const Staging staging = item_request(*item, cmd.values, FuseMap{});
    if (!staging.request) {
        throw UsageError("refused: " + staging.refusal);
    }
    return cmd;
}

using Parser = Command (*)(const std::vector<std::string> &);

Parser parser_of(const std::string &name) {
    static const std::array<std::pair<const char *, Parser>, 11> parsers{{
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
    }};
    for (const auto &[n, p] : parsers) {
        if (name == n) {
            return p;
        }
    }
    return nullptr;
}

// The usage line of the whole program: options, then commands.
class ProgramFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App *, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] COMMAND [ARGS]... [COMMAND [ARGS]...]...\n";
    }
};

// The global options' parser.
void global_options(CLI::App &app, Globals &g, std::string &port, std::string &supply, std::string &crystal,
                    bool &no_progress, bool &version) {
    app.add_flag("--json", g.json, "one JSON object per line for every result and every sample");
    app.add_option("--port", port, "host link: USB or SDIO")->capture_default_str();
    app.add_option("--supply", supply, "supply: LDO or DCDC")->capture_default_str();
    app.add_option("--crystal", crystal, "crystal: " + label_list(kCrystalChoices))->capture_default_str();
    app.add_flag("--no-progress", no_progress, "no progress display, also on a terminal");
    app.add_option("--library-log", g.library_log,
                   "write every diagnostic line of the library to this file (- for standard error); by default "
                   "only its error lines are shown");
    app.add_flag("--stop-on-fail", g.stop_on_fail, "stop at the first result that fails its limits");
    app.add_flag("--version", version, "print the version and exit");
}

}  // namespace

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
    };
    return std::visit(Namer{}, command);
}

std::optional<std::uint32_t> parse_hex_word(const std::string &text) {
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

std::optional<std::uint32_t> parse_decimal(const std::string &text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return std::nullopt;
    }
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<MacAddress> parse_mac_text(const std::string &text) {
    std::vector<std::string> groups;
    if (text.find_first_of(":-") == std::string::npos) {
        if (text.size() != 12) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < 12; i += 2) {
            groups.push_back(text.substr(i, 2));
        }
    } else {
        const char separator = text[text.find_first_of(":-")];
        std::string group;
        for (char c : text) {
            if (c == separator) {
                groups.push_back(group);
                group.clear();
            } else {
                group += c;
            }
        }
        groups.push_back(group);
    }
    if (groups.size() != 6) {
        return std::nullopt;
    }
    MacAddress mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string &g = groups[i];
        if (g.empty() || g.size() > 2 ||
            !std::all_of(g.begin(), g.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
            return std::nullopt;
        }
        mac[i] = static_cast<std::uint8_t>(std::stoul(g, nullptr, 16));
    }
    return mac;
}

ParseResult parse_command_line(const std::vector<std::string> &args) {
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
    std::string port = kPortChoices.labels[kPortChoices.initial];
    std::string supply = kSupplyChoices.labels[kSupplyChoices.initial];
    std::string crystal = kCrystalChoices.labels[kCrystalChoices.initial];
    bool no_progress = false;
    bool version = false;
    CLI::App app{"deve-cli: the Deve console's bench operations from the command line. Opens the link with the "
                 "console's open sequence, runs the commands in order, leaves the radio with transmission and "
                 "reception stopped (also on Ctrl-C and SIGTERM) and closes the link.",
                 kProgram};
    app.footer(command_list() +
               "\nExample: deve-cli --json tune --band 5G --channel 36 tx --seconds 5 --min-frames 1000\n"
               "Exit codes: 0 pass, 1 a result failed (limit, calibration, burn), 2 usage or link error or a "
               "refused request, 130/143 interrupted by SIGINT/SIGTERM.");
    app.formatter(std::make_shared<ProgramFormatter>());
    global_options(app, g, port, supply, crystal, no_progress, version);
    try {
        parse_words(app, parts.front());
    } catch (const HelpRequest &help) {
        result.kind = ParseResult::Kind::Help;
        result.text = help.text;
        return result;
    } catch (const CLI::ParseError &e) {
        result.kind = ParseResult::Kind::Error;
        result.text = e.what();
        if (dynamic_cast<const CLI::ExtrasError *>(&e) != nullptr) {
            result.text = "unknown command: " + parts.front().front() + " (commands: " + [] {
                std::string names;
                for (const std::string &n : command_names()) {
                    names += (names.empty() ? "" : ", ") + n;
                }
                return names;
            }() + ")";
        }
        return result;
    }
    if (version) {
        result.kind = ParseResult::Kind::Help;
        result.text = std::string(kProgram) + " " + kVersion + "\n";
        return result;
    }
    g.progress = !no_progress;
    const std::optional<int> port_position = match_label(kPortChoices, port);
    const std::optional<int> supply_position = match_label(kSupplyChoices, supply);
    const std::optional<int> crystal_position = match_crystal(crystal);
    if (!port_position || !supply_position || !crystal_position) {
        result.kind = ParseResult::Kind::Error;
        result.text = !port_position     ? "--port: '" + port + "' is not " + label_list(kPortChoices)
                      : !supply_position ? "--supply: '" + supply + "' is not " + label_list(kSupplyChoices)
                                         : "--crystal: '" + crystal + "' is not " + label_list(kCrystalChoices);
        return result;
    }
    g.open.port = *port_position;
    g.open.supply = *supply_position;
    g.open.crystal = *crystal_position;

    if (parts.size() == 1) {
        result.kind = ParseResult::Kind::Error;
        result.text = "no command given (see deve-cli --help)";
        return result;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::vector<std::string> words(parts[i].begin() + 1, parts[i].end());
        const std::string &name = parts[i].front();
        try {
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
    if (const std::optional<std::string> refusal = check_tunes(result.line.commands)) {
        result.kind = ParseResult::Kind::Error;
        result.text = *refusal;
    }
    return result;
}

}  // namespace deve::cli
