// A small JSON writer: objects keep their keys in the order they were added,
// strings are escaped (control characters, quotes, backslashes) and always
// come out as valid UTF-8, and numbers that JSON cannot hold become null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace deve::json {

// The JSON text of a string, quotes included. Bytes that are not valid UTF-8
// become U+FFFD.
std::string quote(std::string_view text);
// The shortest text that reads back as the same double; "null" when it is
// not finite.
std::string number(double value);

class Array;

class Object {
public:
    Object &add(std::string_view key, std::string_view value);
    Object &add(std::string_view key, const char *value) { return add(key, std::string_view(value)); }
    Object &add(std::string_view key, const std::string &value) { return add(key, std::string_view(value)); }
    Object &add(std::string_view key, bool value);
    Object &add(std::string_view key, double value);
    Object &add(std::string_view key, const Object &value);
    Object &add(std::string_view key, const Array &value);
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    Object &add(std::string_view key, T value) {
        return raw(key, std::to_string(value));
    }
    Object &add_null(std::string_view key) { return raw(key, "null"); }
    // The value, or null when there is none.
    template <typename T>
    Object &add(std::string_view key, const std::optional<T> &value) {
        return value ? add(key, *value) : add_null(key);
    }
    // Appends the members of another object.
    Object &merge(const Object &other);

    bool empty() const { return body_.empty(); }
    std::string str() const { return "{" + body_ + "}"; }

private:
    Object &raw(std::string_view key, const std::string &text);
    std::string body_;
};

class Array {
public:
    Array &push(std::string_view value);
    Array &push(const char *value) { return push(std::string_view(value)); }
    Array &push(const std::string &value) { return push(std::string_view(value)); }
    Array &push(bool value);
    Array &push(double value);
    Array &push(const Object &value);
    Array &push(const Array &value);
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    Array &push(T value) {
        return raw(std::to_string(value));
    }
    Array &push_null() { return raw("null"); }

    bool empty() const { return body_.empty(); }
    std::string str() const { return "[" + body_ + "]"; }

private:
    Array &raw(const std::string &text);
    std::string body_;
};

}  // namespace deve::json
