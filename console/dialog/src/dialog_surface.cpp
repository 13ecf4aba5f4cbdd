#include "deve/dialog_surface.h"

namespace deve {

namespace {

constexpr std::string_view kHexPrefix = "0X";

bool is_decimal(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_decimal(c) || (c >= 'A' && c <= 'F'); }

// Whether every character is a digit and there are no more than `limit`
// (0 = any number).
bool digits_within(std::string_view text, bool (*digit)(char), int limit) {
    for (char c : text) {
        if (!digit(c)) {
            return false;
        }
    }
    return limit == 0 || text.size() <= static_cast<std::size_t>(limit);
}

}  // namespace

std::string normalise_input(const InputRule &rule, std::string_view text) {
    std::string out(text);
    if (rule.kind == InputRule::Kind::Hex) {
        for (char &c : out) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
    }
    return out;
}

bool accepts_input(const InputRule &rule, std::string_view text) {
    switch (rule.kind) {
    case InputRule::Kind::Any: return true;
    case InputRule::Kind::Decimal: return digits_within(text, is_decimal, rule.digits);
    case InputRule::Kind::Hex:
        if (text.substr(0, kHexPrefix.size()) == kHexPrefix) {
            text.remove_prefix(kHexPrefix.size());
        }
        return digits_within(text, is_hex, rule.digits);
    }
    return false;
}

int max_input_length(const InputRule &rule) {
    if (rule.digits == 0) {
        return 0;
    }
    return rule.kind == InputRule::Kind::Hex ? rule.digits + static_cast<int>(kHexPrefix.size()) : rule.digits;
}

}  // namespace deve
