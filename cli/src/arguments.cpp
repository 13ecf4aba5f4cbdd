// Parsing the command line. CLI11 parses one command at a time: the
// arguments are cut into a global part and one part per command, each
// starting at a command name, and each part goes to a parser of its own, so a
// command may appear any number of times and every part gets its own --help.
#include "commands.h"
#include "input_file.h"
#include "numbers.h"

#include "deve/efuse_burn.h"
#include "deve/tables.h"
#include "deve/text.h"
#include "tuning.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
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

constexpr const char *kSessionCommand = "session";

constexpr std::array<CommandSpec, 13> kCommands{{
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

// ---- Numbers of the options --------------------------------------------------
// Options that take numbers are read as text and checked here, so that a
// refusal names the range in plain words (and a negative count cannot wrap,
// nor a NaN or infinite limit pass everything).

// The number in `text`, within the range; a usage error naming the range
// otherwise.
double checked_number(const std::string &option, const std::string &text, const NumberRange &range) {
    std::optional<double> value;
    if (range.whole) {
        const bool digits = !text.empty() && text.size() <= 15 &&
                            std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
        if (digits) {
            value = static_cast<double>(std::stoull(text));
        }
    } else {
        value = whole_number(text);  // strict: the whole text, no NaN or infinity below
    }
    if (!value || !std::isfinite(*value) || *value < range.low || *value > range.high) {
        throw UsageError(option + ": '" + text + "' is not " + range_words(range));
    }
    return *value;
}

// Adds a number option: its text is checked when the words have been parsed.
struct NumberOption {
    std::string option;
    NumberRange range;
    std::optional<std::string> text;
};

CLI::Option *add_number(CLI::App &app, std::vector<std::unique_ptr<NumberOption>> &numbers, const std::string &name,
                        const NumberRange &range, const std::string &description) {
    numbers.push_back(std::make_unique<NumberOption>(NumberOption{name, range, std::nullopt}));
    return app.add_option(name, numbers.back()->text, description + "; " + range_words(range))
        ->type_name("NUMBER");
}

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

void burn_flags(CLI::App &app, BurnOptions &burn, std::string &expect) {
    app.add_flag("--dry-run", burn.dry_run, "show the preview and program nothing");
    app.add_flag("--yes", burn.yes, "burn without asking the operator to type BURN (for scripted lines)");
    app.add_flag("--if-blank", burn.if_blank,
                 "refuse when the item already holds a value (a burn of the value it holds is still a pass)");
    app.add_option("--expect", expect,
                   "refuse unless the item reads VALUE first: 3,5 for a pair, 140 for Freq_offset, a MAC address")
        ->type_name("VALUE");
}

// The value an item is expected to read, as readers show it; a usage error
// when it is not a value of the item.
std::string expected_item_value(const EfuseItem &item, const std::string &text) {
    std::vector<std::uint32_t> values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::optional<std::uint32_t> v = parse_decimal(text.substr(start, comma - start));
        if (!v) {
            throw UsageError("--expect '" + text + "' is not a value of " + item.name);
        }
        values.push_back(*v);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    const Staging staging = item_request(item, values, FuseMap{});
    if (!staging.request || values.size() != (item.single_value ? 1u : 2u)) {
        throw UsageError("--expect '" + text + "' is not a value of " + item.name + " (" +
                         (item.single_value ? "one value" : "two values, as 3,5") + ", " +
                         std::to_string(item_value_limit(item)) + " at most)");
    }
    return staging.request->value_text();
}

std::string expected_mac(const std::string &text) {
    const std::optional<MacAddress> mac = parse_mac_text(text);
    if (!mac) {
        throw UsageError("--expect '" + text + "' is not a MAC address");
    }
    return record_value_text(kMacRecordType, {mac->begin(), mac->end()});
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
    std::vector<std::unique_ptr<NumberOption>> numbers;
    add_number(app, numbers, "--offset", kOffsetRange, "frequency-offset trim, applied by the next tx or rx");
    parse_words(app, words);
    take_number(*numbers[0], r.offset);
    if (!r.band && !r.channel && !r.mode && !r.rate && !r.rf_gain && !r.dac && !r.b_gain && !r.offset) {
        throw UsageError("tune: give at least one setting (see deve-cli tune --help)");
    }
    return cmd;
}

void seconds_option(CLI::App &app, std::vector<std::unique_ptr<NumberOption>> &numbers, unsigned default_seconds) {
    add_number(app, numbers, "--seconds", kSecondsRange,
               "how long, in seconds (default " + std::to_string(default_seconds) + "); one sample a second");
}

Command parse_tx(const std::vector<std::string> &words) {
    CLI::App app{"Continuous transmission on the current operating point (see tune): the frequency offset is "
                 "applied, the packet generator runs for --seconds and is stopped. Every second prints the "
                 "transmitted frames. Limits make the result pass or fail.",
                 "deve-cli tx"};
    TxCmd cmd;
    std::vector<std::unique_ptr<NumberOption>> n;
    seconds_option(app, n, cmd.seconds);
    add_number(app, n, "--frames", kFrameCountRange,
               "stop once this many frames are counted, with --seconds as the cap");
    add_number(app, n, "--pit", kPitRange, "packet interval (PIT); 0 (the default) keeps the built-in one");
    add_number(app, n, "--min-frames", kFramesRange, "limit: at least this many frames transmitted in all");
    add_number(app, n, "--min-fps", kFrameRateRange, "limit: at least this many frames per second on average");
    parse_words(app, words);
    take_number(*n[0], cmd.seconds);
    take_number(*n[1], cmd.frames);
    take_number(*n[2], cmd.pit);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.min_fps);
    return cmd;
}

Command parse_rx(const std::vector<std::string> &words) {
    CLI::App app{"Reception on the current operating point (see tune) for --seconds. Every second prints the "
                 "errors, frames and packet error rate of that second and of the whole run (\"NA\" when nothing "
                 "was received); the counters restart above 3000 frames and the totals carry on. Limits make "
                 "the result pass or fail.",
                 "deve-cli rx"};
    RxCmd cmd;
    std::vector<std::unique_ptr<NumberOption>> n;
    seconds_option(app, n, cmd.seconds);
    add_number(app, n, "--frames", kFrameCountRange,
               "stop once this many frames are counted, with --seconds as the cap");
    add_number(app, n, "--max-per", kPerRange, "limit: packet error rate of the run at most this");
    add_number(app, n, "--min-frames", kFramesRange, "limit: at least this many frames received in all");
    add_number(app, n, "--max-errors", kFramesRange, "limit: at most this many frames received in error");
    parse_words(app, words);
    take_number(*n[0], cmd.seconds);
    take_number(*n[1], cmd.frames);
    take_number(*n[2], cmd.max_per);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.max_errors);
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
    std::string expect;
    MacWriteCmd cmd;
    write->add_option("MAC", text, "six hexadecimal bytes: 00:11:22:33:44:55, 00-11-22-33-44-55 or 001122334455")
        ->required();
    burn_flags(*write, cmd.burn, expect);
    parse_words(app, words);
    if (read->parsed()) {
        return MacReadCmd{};
    }
    cmd.mac = mac_argument(text);
    if (!expect.empty()) {
        cmd.burn.expect = expected_mac(expect);
    }
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
    std::string expect;
    std::vector<std::string> values;
    burn->add_option("ITEM", cmd.item, item_names())->required();
    burn->add_option("VALUES", values,
                     "TX_PWR1, TX_PWR2, TX_Rate2: two values 0-15; TX_Rate1: one or two values 0-15 (a left-out "
                     "second value keeps the stored one); Freq_offset: one value 0-255; MAC: the address")
        ->required();
    burn_flags(*burn, cmd.burn, expect);
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
        if (!expect.empty()) {
            cmd.burn.expect = expected_mac(expect);
        }
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
    if (!expect.empty()) {
        cmd.burn.expect = expected_item_value(*item, expect);
    }
    return cmd;
}

Command parse_trim(const std::vector<std::string> &words) {
    CLI::App app{"Trim search.", "deve-cli trim"};
    app.require_subcommand(1, 1);
    CLI::App *find = app.add_subcommand(
        "find", "Find the frequency-offset trim with the lowest receive packet error rate: a coarse pass over "
                "--from..--to, then every trim around the coarse best, whose V-shaped error rate gives the best "
                "trim. Every point measured is recorded, and the best. The receiver runs at the current "
                "operating point, or at the band, channel, mode and rate given (applied as by tune, and kept). "
                "A point clearly worse than the best so far is measured no further. The radio goes back to its "
                "offset afterwards; with --burn the best trim is burnt into the eFuse (staged and verified, as "
                "efuse burn Freq_offset) and the radio runs with it.");
    TrimFindCmd cmd;
    TuneRequest &r = cmd.tune;
    find->add_option("--band", r.band, "2G or 5G");
    find->add_option("--channel", r.channel, "channel number or label (see tune)");
    find->add_option("--mode", r.mode, "11b-CCK, 11g-OFDM, 11n-HT20, 11n-HT40");
    find->add_option("--rate", r.rate, "rate label of the mode (see tune)");
    std::vector<std::unique_ptr<NumberOption>> n;
    add_number(*find, n, "--from", kOffsetRange, "lowest trim searched (default 0)");
    add_number(*find, n, "--to", kOffsetRange, "highest trim searched (default 255)");
    add_number(*find, n, "--frames", kTrimFramesRange, "frames per trim of the fine pass (default 200)");
    find->add_flag("--burn", cmd.burn, "burn the best trim into the eFuse and run with it");
    std::string expect;
    burn_flags(*find, cmd.burn_options, expect);
    parse_words(app, words);
    take_number(*n[0], cmd.from);
    take_number(*n[1], cmd.to);
    take_number(*n[2], cmd.frames);
    if (cmd.from > cmd.to) {
        throw UsageError("--from " + std::to_string(cmd.from) + " is above --to " + std::to_string(cmd.to));
    }
    if (!expect.empty()) {
        cmd.burn_options.expect = expected_item_value(*find_efuse_item("Freq_offset"), expect);
    }
    const bool burn_flags_given = cmd.burn_options.yes || cmd.burn_options.dry_run || cmd.burn_options.if_blank ||
                                  cmd.burn_options.expect;
    if (burn_flags_given && !cmd.burn) {
        throw UsageError("--yes, --dry-run, --if-blank and --expect go with --burn");
    }
    return cmd;
}

using Parser = Command (*)(const std::vector<std::string> &);

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

// The usage line of the whole program: options, then commands.
class ProgramFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App *, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] COMMAND [ARGS]... [COMMAND [ARGS]...]...\n       " + name +
               " [OPTIONS] session [--commands FILE]\n";
    }
};

// The global options' parser.
void global_options(CLI::App &app, Globals &g, std::string &port, std::string &supply, std::string &crystal,
                    std::string &open, std::vector<std::string> &meta, bool &no_progress, bool &version) {
    app.add_flag("--json", g.json, "one JSON object per line for every result and every sample");
    app.add_option("--port", port, "host link: USB or SDIO")->capture_default_str();
    app.add_option("--supply", supply, "supply: LDO or DCDC")->capture_default_str();
    app.add_option("--crystal", crystal, "crystal: " + label_list(kCrystalChoices))->capture_default_str();
    app.add_flag("--no-progress", no_progress, "no progress display, also on a terminal");
    app.add_option("--library-log", g.library_log,
                   "write every diagnostic line of the library to this file (- for standard error); by default "
                   "only its error lines are shown");
    app.add_flag("--stop-on-fail", g.stop_on_fail, "stop at the first result that fails its limits");
    app.add_option("--open", open,
                   "full: the console's open sequence with the radio's calibrations; quick: without them, for "
                   "work that does not transmit or receive (identity, eFuse reads and burns)")
        ->capture_default_str();
    app.add_option("--limits", g.limits_file,
                   "a JSON file of named tx and rx limit sets, by command and operating point; a limit given on "
                   "the command line overrides the file's")
        ->type_name("FILE");
    app.add_option("--meta", meta,
                   "KEY=VALUE about the run (serial, station, operator, lot, ...), repeatable; it goes in the "
                   "open and end records")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
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
        std::string operator()(const TrimFindCmd &) const { return "trim find"; }
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

namespace {

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

}  // namespace

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
    std::string open = "full";
    std::vector<std::string> meta;
    bool no_progress = false;
    bool version = false;
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
    global_options(app, g, port, supply, crystal, open, meta, no_progress, version);
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
    if (open != "full" && open != "quick") {
        result.kind = ParseResult::Kind::Error;
        result.text = "--open: '" + open + "' is not full or quick";
        return result;
    }
    g.open.calibrate = open == "full";
    for (const std::string &item : meta) {
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const bool key_ok = equals != std::string::npos && !key.empty() &&
                            std::all_of(key.begin(), key.end(), [](unsigned char c) {
                                return std::isalnum(c) != 0 || c == '_' || c == '-' || c == '.';
                            });
        if (!key_ok) {
            result.kind = ParseResult::Kind::Error;
            result.text = "--meta: '" + item + "' is not KEY=VALUE (a key of letters, digits, _ - .)";
            return result;
        }
        for (const auto &[seen, value] : g.meta) {
            if (seen == key) {
                result.kind = ParseResult::Kind::Error;
                result.text = "--meta: " + key + " is given twice";
                return result;
            }
        }
        g.meta.emplace_back(key, item.substr(equals + 1));
    }
    g.open.port = *port_position;
    g.open.supply = *supply_position;
    g.open.crystal = *crystal_position;

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
        CLI::App session{"Run command lines, one per line, with the link open across all of them: each line "
                         "holds one or more commands with the same words as on the command line (without the "
                         "global options). # starts a comment. The session ends at the end of the input or at a "
                         "line quit; the radio is left safe at the end and on every signal. The lines come from "
                         "standard input, or from --commands FILE (then every line is checked before the link "
                         "opens). An error (exit code 2 or 3) ends the session.",
                         "deve-cli session"};
        Session s;
        session.add_option("--commands", s.commands_file, "read the command lines from this file");
        try {
            parse_words(session, std::vector<std::string>(parts[1].begin() + 1, parts[1].end()));
        } catch (const HelpRequest &help) {
            result.kind = ParseResult::Kind::Help;
            result.text = help.text;
            return result;
        } catch (const CLI::ParseError &e) {
            result.kind = ParseResult::Kind::Error;
            result.text = std::string("session: ") + e.what();
            return result;
        }
        result.line.session = s;
        return result;
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

std::optional<std::vector<std::string>> split_session_line(const std::string &line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) {
                words.push_back(word);
                word.clear();
                in_word = false;
            }
        } else if (c == '#' && !in_word) {
            break;
        } else {
            in_word = true;
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else {
                word += c;
            }
        }
    }
    if (quote != 0) {
        return std::nullopt;
    }
    if (in_word) {
        words.push_back(word);
    }
    return words;
}

ParseResult parse_session_line(const std::vector<std::string> &words) {
    std::vector<std::vector<std::string>> parts(1);
    for (const std::string &word : words) {
        if (is_command(word)) {
            parts.emplace_back();
        }
        parts.back().push_back(word);
    }
    if (!parts.front().empty()) {
        ParseResult result;
        result.kind = ParseResult::Kind::Error;
        result.text = "'" + excerpt(parts.front().front()) + "' is not a command (commands: " + command_words() +
                      "; global options go on deve-cli's own command line)";
        return result;
    }
    return parse_commands(parts, 1);
}

}  // namespace deve::cli
