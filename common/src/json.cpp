#include "common/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace deve::json {

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
    if (lead >= 0xC2 && lead <= 0xDF) {
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

}  // namespace

std::string quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        const std::size_t length = utf8_length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    out += '"';
    return out;
}

std::string number(double value) {
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

Object &Object::raw(std::string_view key, const std::string &text) {
    if (!body_.empty()) {
        body_ += ',';
    }
    body_ += quote(key);
    body_ += ':';
    body_ += text;
    return *this;
}

Object &Object::merge(const Object &other) {
    if (!other.body_.empty()) {
        body_ += body_.empty() ? "" : ",";
        body_ += other.body_;
    }
    return *this;
}

Object &Object::add(std::string_view key, std::string_view value) { return raw(key, quote(value)); }
Object &Object::add(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
Object &Object::add(std::string_view key, double value) { return raw(key, number(value)); }
Object &Object::add(std::string_view key, const Object &value) { return raw(key, value.str()); }
Object &Object::add(std::string_view key, const Array &value) { return raw(key, value.str()); }

Array &Array::raw(const std::string &text) {
    if (!body_.empty()) {
        body_ += ',';
    }
    body_ += text;
    return *this;
}

Array &Array::push(std::string_view value) { return raw(quote(value)); }
Array &Array::push(bool value) { return raw(value ? "true" : "false"); }
Array &Array::push(double value) { return raw(number(value)); }
Array &Array::push(const Object &value) { return raw(value.str()); }
Array &Array::push(const Array &value) { return raw(value.str()); }

}  // namespace deve::json
