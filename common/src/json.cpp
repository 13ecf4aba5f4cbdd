#include "common/json.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace deve {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF included).
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    // The second byte has the narrowed range; the rest are plain continuations.
    if (byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// The text with each byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

void write_string(std::string &out, const std::string &text) {
    // Valid UTF-8 by now: the strict dump cannot throw.
    for (const char c : ordered_json(valid_utf8(text)).dump()) {
        if (c == '\x7F') {  // only inside a string: JSON's own syntax has none
            out += "\\u007f";
        } else {
            out += c;
        }
    }
}

void write(std::string &out, const ordered_json &value) {
    switch (value.type()) {
    case ordered_json::value_t::object: {
        out += '{';
        for (auto member = value.begin(); member != value.end(); ++member) {
            if (member != value.begin()) {
                out += ',';
            }
            write_string(out, member.key());
            out += ':';
            write(out, member.value());
        }
        out += '}';
        break;
    }
    case ordered_json::value_t::array: {
        out += '[';
        for (auto item = value.begin(); item != value.end(); ++item) {
            if (item != value.begin()) {
                out += ',';
            }
            write(out, *item);
        }
        out += ']';
        break;
    }
    case ordered_json::value_t::string:
        write_string(out, value.get_ref<const std::string &>());
        break;
    case ordered_json::value_t::number_float:
        out += json_number(value.get<double>());
        break;
    default:  // null, booleans and integers: nlohmann's text
        out += value.dump();
    }
}

}  // namespace

std::string dump_record(const ordered_json &value) {
    std::string out;
    write(out, value);
    return out;
}

std::string json_number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) {
        return "null";
    }
    return std::string(buffer, end);
}

ordered_json merged(ordered_json base, const ordered_json &more) {
    base.update(more);
    return base;
}

}  // namespace deve
