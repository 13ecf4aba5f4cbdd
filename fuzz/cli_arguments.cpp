// deve-cli's command line: the input is an argument vector, one word per
// line (or a known word by its number, or one value in a slot of a command
// line; both below), given to the parser (no process is started). A command
// line the parser accepts must hold only what the commands allow: durations
// and the packet interval in range, limits that are numbers of zero or more,
// eFuse values in their item's range, station MAC addresses, tunes the
// tables offer. Each word also goes through the strict number parsers, whose
// results must agree with the C library's reading of the same text.
#include "commands.h"
#include "deve/efuse_burn.h"
#include "support/fuzz_target.h"
#include "tuning.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

namespace {

using deve::cli::Command;

constexpr std::size_t kMaxWords = 64;

// A word of two bytes, 0x01 and N, stands for known word N (modulo their
// number): one byte then picks a command, an option or a name, and the
// fuzzer spends its effort on the values.
constexpr char kKnownWord = '\x01';
constexpr std::array<const char *, 64> kKnownWords{{
    "info", "reg", "read", "write", "tune", "tx", "rx", "cal", "dpd", "on", "off", "temp", "script", "mac", "efuse",
    "summary", "burn", "--json", "--port", "--supply", "--crystal", "--stop-on-fail", "--library-log",
    "--no-progress", "--version", "--help", "--band", "--channel", "--mode", "--rate", "--rf-gain", "--dac",
    "--b-gain", "--offset", "--seconds", "--pit", "--min-frames", "--min-fps", "--max-per", "--max-errors",
    "--dry-run", "--yes", "USB", "SDIO", "LDO", "DCDC", "25MHz", "2G", "5G", "CH36_5180MHz", "11b-CCK", "11g-OFDM",
    "11n-HT20", "11n-HT40", "HT40-MCS3", "7-OFDM-54M", "TX_PWR1", "TX_PWR2", "TX_Rate1", "TX_Rate2", "Freq_offset",
    "MAC", "02:11:22:33:44:55", "0",
}};

bool all_of(const std::string &text, int (*is)(int)) {
    return std::all_of(text.begin(), text.end(), [is](unsigned char c) { return is(c) != 0; });
}

// Hexadecimal with an optional 0x, 1 to 8 digits.
void check_hex_word(const std::string &word) {
    const std::optional<std::uint32_t> value = deve::cli::parse_hex_word(word);
    const std::string digits = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X') ? word.substr(2) : word;
    const bool well_formed = !digits.empty() && digits.size() <= 8 && all_of(digits, std::isxdigit);
    FUZZ_CHECK(value.has_value() == well_formed, "parse_hex_word accepts '" + word + "': " + (value ? "yes" : "no"));
    if (value) {
        FUZZ_CHECK(*value == std::strtoul(digits.c_str(), nullptr, 16), "parse_hex_word reads '" + word + "' wrong");
    }
}

// A decimal number of at most 32 bits.
void check_decimal(const std::string &word) {
    const std::optional<std::uint32_t> value = deve::cli::parse_decimal(word);
    if (!value) {
        FUZZ_CHECK(!(word.size() <= 9 && !word.empty() && all_of(word, std::isdigit)),
                   "parse_decimal refuses '" + word + "'");
        return;
    }
    FUZZ_CHECK(!word.empty() && all_of(word, std::isdigit), "parse_decimal accepts '" + word + "'");
    FUZZ_CHECK(*value == std::strtoull(word.c_str(), nullptr, 10), "parse_decimal reads '" + word + "' wrong");
}

// A MAC address that is read must print and read back as itself.
void check_mac_text(const std::string &word) {
    const std::optional<deve::MacAddress> mac = deve::parse_mac_text(word);
    if (!mac) {
        return;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", (*mac)[0], (*mac)[1], (*mac)[2], (*mac)[3],
                  (*mac)[4], (*mac)[5]);
    FUZZ_CHECK(deve::parse_mac_text(text) == mac, "'" + word + "' reads as " + text + ", which reads otherwise");
}

bool is_command_name(const std::string &word) {
    const auto &names = deve::cli::command_names();
    return std::find(names.begin(), names.end(), word) != names.end();
}

// The value text a command's words give an option ("--opt V" or "--opt=V"),
// when the option appears once.
std::optional<std::string> option_text(const std::vector<std::string> &words, const std::string &name) {
    std::optional<std::string> found;
    int count = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == name && i + 1 < words.size()) {
            found = words[i + 1];
            ++count;
        } else if (words[i].rfind(name + "=", 0) == 0) {
            found = words[i].substr(name.size() + 1);
            ++count;
        }
    }
    return count == 1 ? found : std::nullopt;
}

// A limit holds a number of zero or more: a negative number must have been
// refused, not wrapped round or taken as it is.
void check_limit_text(const std::vector<std::string> &words, const char *name) {
    const std::optional<std::string> text = option_text(words, name);
    if (!text) {
        return;
    }
    const double value = std::strtod(text->c_str(), nullptr);
    FUZZ_CHECK(!(value < 0), std::string(name) + " accepted the negative value '" + *text + "'");
}

void check_limit(const std::optional<double> &limit, const char *name) {
    FUZZ_CHECK(!limit || (std::isfinite(*limit) && *limit >= 0),
               std::string(name) + " accepted " + std::to_string(limit.value_or(0)));
}

// A sequential test's settings as the parser takes them: error rates of
// more than 0 and at most 50 %, a zone above 0, its first decision no later
// than its most frames, and never together with --fixed.
void check_sequential(const deve::cli::SequentialChoice &choice) {
    const deve::cli::SequentialPlan &p = choice.plan;
    for (const std::optional<double> *rate : {&p.false_pass, &p.false_fail}) {
        FUZZ_CHECK(!*rate || (std::isfinite(**rate) && **rate > 0 && **rate <= 50),
                   "a sequential error rate of " + std::to_string(rate->value_or(0)) + " % accepted");
    }
    FUZZ_CHECK(!p.zone || (std::isfinite(*p.zone) && *p.zone > 0), "--zone " + std::to_string(p.zone.value_or(0)));
    FUZZ_CHECK(!p.decide_after || !p.max_frames || *p.decide_after <= *p.max_frames,
               "--decide-after past --max-frames accepted");
    FUZZ_CHECK(!(choice.fixed && choice.sequential), "--fixed accepted with the sequential test");
}

void check_seconds(unsigned seconds) {
    FUZZ_CHECK(seconds >= 1 && seconds <= 86400, "--seconds " + std::to_string(seconds) + " accepted");
}

void check_command(const Command &command, const std::vector<std::string> &words) {
    if (const auto *tx = std::get_if<deve::cli::TxCmd>(&command)) {
        check_seconds(tx->seconds);
        FUZZ_CHECK(tx->pit <= 16383, "--pit " + std::to_string(tx->pit) + " accepted");
        check_limit(tx->min_fps, "--min-fps");
        check_limit_text(words, "--min-frames");
        check_sequential(tx->test);
    } else if (const auto *rx = std::get_if<deve::cli::RxCmd>(&command)) {
        check_seconds(rx->seconds);
        check_limit(rx->max_per, "--max-per");
        check_limit_text(words, "--min-frames");
        check_limit_text(words, "--max-errors");
        check_sequential(rx->test);
    } else if (const auto *tune = std::get_if<deve::cli::TuneCmd>(&command)) {
        FUZZ_CHECK(!tune->request.offset || *tune->request.offset <= 255, "--offset accepted past 255");
    } else if (const auto *burn = std::get_if<deve::cli::EfuseBurnCmd>(&command)) {
        if (burn->item == "MAC") {
            FUZZ_CHECK(deve::mac_request(burn->mac).request.has_value(), "a refused MAC address was accepted");
        } else {
            const deve::EfuseItem *item = deve::find_efuse_item(burn->item);
            FUZZ_CHECK(item != nullptr, "unknown item " + burn->item + " accepted");
            FUZZ_CHECK(deve::item_request(*item, burn->values, deve::FuseMap{}).request.has_value(),
                       "values the item refuses were accepted");
        }
    } else if (const auto *mac = std::get_if<deve::cli::MacWriteCmd>(&command)) {
        FUZZ_CHECK(deve::mac_request(mac->mac).request.has_value(), "a refused MAC address was accepted");
    } else if (const auto *read = std::get_if<deve::cli::EfuseReadCmd>(&command)) {
        FUZZ_CHECK(read->item.empty() || read->item == "MAC" || deve::find_efuse_item(read->item) != nullptr ||
                       deve::equal_ignoring_case(read->item, "MAC"),
                   "unknown item " + read->item + " accepted");
    }
}

// Checks the words, then what the parser makes of them.
void check_command_line(const std::vector<std::string> &args) {
    for (const std::string &w : args) {
        check_hex_word(w);
        check_decimal(w);
        check_mac_text(w);
    }

    const deve::cli::ParseResult parsed = deve::cli::parse_command_line(args);
    if (parsed.kind != deve::cli::ParseResult::Kind::Run) {
        FUZZ_CHECK(!parsed.text.empty(), "a refusal or help without text");
        return;
    }
    const deve::cli::CommandLine &line = parsed.line;
    if (line.report || line.store) {  // report and store stand alone, without the board
        FUZZ_CHECK(line.commands.empty() && !line.session, "report or store accepted beside other commands");
        return;
    }
    if (line.session) {  // a session's commands come from its lines
        FUZZ_CHECK(line.commands.empty(), "a session with commands on the command line was accepted");
        return;
    }
    FUZZ_CHECK(!line.commands.empty(), "a command line without a command was accepted");
    const deve::OpenChoices &open = line.globals.open;
    FUZZ_CHECK(open.port >= 0 && open.port < 2 && open.supply >= 0 && open.supply < 2 && open.crystal >= 0 &&
                   open.crystal < 5,
               "a link choice out of its list");
    FUZZ_CHECK(!deve::cli::check_tunes(line.commands), "a refused tune was accepted");

    // The words of each command, cut where the parser cuts them.
    std::vector<std::vector<std::string>> parts;
    for (const std::string &w : args) {
        if (is_command_name(w)) {
            parts.emplace_back();
        } else if (!parts.empty()) {
            parts.back().push_back(w);
        }
    }
    FUZZ_CHECK(parts.size() == line.commands.size(), "commands and their words do not pair up");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        check_command(line.commands[i], parts[i]);
    }
}

// An input starting with 0x02 and N is one value typed into slot N (modulo
// their number) of these command lines, "V" standing for the rest of the
// input: every mutation then lands in a value.
constexpr char kValueSlot = '\x02';
constexpr std::array<std::array<const char *, 4>, 20> kValueSlots{{
    {"tx", "--seconds", "V"},          {"tx", "--pit", "V"},           {"tx", "--min-frames", "V"},
    {"tx", "--min-fps", "V"},          {"rx", "--seconds", "V"},       {"rx", "--max-per", "V"},
    {"rx", "--min-frames", "V"},       {"rx", "--max-errors", "V"},    {"tune", "--offset", "V"},
    {"tune", "--rf-gain", "V"},        {"tune", "--dac", "V"},         {"tune", "--b-gain", "V"},
    {"tune", "--channel", "V"},        {"reg", "read", "V"},           {"reg", "write", "V", "0"},
    {"efuse", "burn", "Freq_offset", "V"}, {"efuse", "burn", "TX_Rate1", "V"}, {"mac", "write", "V"},
    {"--crystal", "V", "info"},        {"tune", "--band", "5G", "--channel=V"},
}};

std::vector<std::string> value_slot(const std::uint8_t *data, std::size_t size) {
    const std::string value(reinterpret_cast<const char *>(data) + 2, size - 2);
    std::vector<std::string> args;
    for (const char *part : kValueSlots[data[1] % kValueSlots.size()]) {
        if (part == nullptr) {
            break;
        }
        const std::string word = part;
        if (word == "V") {
            args.push_back(value);
        } else if (word.size() > 2 && word.compare(word.size() - 2, 2, "=V") == 0) {
            args.push_back(word.substr(0, word.size() - 1) + value);
        } else {
            args.push_back(word);
        }
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size >= 2 && data[0] == kValueSlot) {
        check_command_line(value_slot(data, size));
        return 0;
    }
    // A line end ends a word, so "a\nb" and "a\nb\n" are both [a, b].
    std::vector<std::string> args;
    std::string word;
    auto end_word = [&] {
        args.push_back(word.size() == 2 && word[0] == kKnownWord
                           ? std::string(kKnownWords[static_cast<unsigned char>(word[1]) % kKnownWords.size()])
                           : word);
        word.clear();
    };
    for (std::size_t i = 0; i < size && args.size() < kMaxWords; ++i) {
        if (data[i] == '\n') {
            end_word();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && args.size() < kMaxWords) {
        end_word();
    }
    check_command_line(args);
    return 0;
}
