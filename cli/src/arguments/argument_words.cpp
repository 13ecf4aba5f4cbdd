// Reading the words of one part of the command line, and the numbers and
// typed values in them.
#include "argument_parts.h"

#include "tuning.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>

namespace deve::cli {

namespace parsing {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

namespace {

// A word that starts with '/' is a path ("script /tmp/regs.txt"), never an
// option: CLI11 would take it for a Windows-style option on Windows.
void posix_style_options_only(CLI::App &app) {
    app.allow_windows_style_options(false);
    for (CLI::App *sub : app.get_subcommands([](CLI::App *) { return true; })) {
        posix_style_options_only(*sub);
    }
}

}  // namespace

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

CLI::Option *add_number(CLI::App &app, NumberOptions &numbers, const std::string &name, const NumberRange &range,
                        const std::string &description) {
    numbers.push_back(std::make_unique<NumberOption>(NumberOption{name, range, std::nullopt}));
    return app.add_option(name, numbers.back()->text, description + "; " + range_words(range))
        ->type_name("NUMBER");
}

}  // namespace parsing

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
}  // namespace deve::cli
