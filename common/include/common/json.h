// The records' JSON: nlohmann's ordered_json holds a record, its members in
// the order they were added, and dump_record writes its text.
//
// The text is nlohmann's compact dump but for three points, where records
// have always been written otherwise and stored records, spool files and
// their readers keep that text:
// - a double is written in the shortest form that reads back as the same
//   double, as std::to_chars gives it ("1", not "1.0"; "1e+06", not
//   "1000000.0"); a double that is not finite is null;
// - DEL (0x7F) is escaped as \u007f, like the control characters (nlohmann
//   writes it as it is);
// - every byte that is not part of valid UTF-8 becomes one U+FFFD
//   (nlohmann's replacing dump gives one for a whole broken sequence).
// Strings are otherwise escaped by nlohmann: quotes, backslashes, \b \f \n
// \r \t, and the other control characters as \u00XX in lower case.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <utility>

namespace deve {

using nlohmann::ordered_json;

// The compact text of a record (or of any value in one).
std::string dump_record(const ordered_json &value);
// A double as dump_record writes it: the shortest text that reads back as
// the same double; "null" when it is not finite.
std::string json_number(double value);
// `base` with the members of `more` after its own.
ordered_json merged(ordered_json base, const ordered_json &more);


namespace json {

// A record built member by member, as a command learns its fields one after
// another: a thin builder over ordered_json (no other JSON is written), which
// converts to it wherever a record is taken.
class Object {
public:
    Object() : value_(ordered_json::object()) {}
    template <typename T>
    Object &add(const std::string &key, T &&value) {
        value_[key] = std::forward<T>(value);
        return *this;
    }
    Object &add(const std::string &key, const Object &value) { return add(key, value.value_); }
    Object &add_null(const std::string &key) {
        value_[key] = nullptr;
        return *this;
    }
    // The members of `more` after this object's own.
    Object &merge(const ordered_json &more) {
        for (const auto &[key, member] : more.items()) {
            value_[key] = member;
        }
        return *this;
    }
    operator const ordered_json &() const { return value_; }

private:
    ordered_json value_;
};

// A list built item by item.
class Array {
public:
    Array() : value_(ordered_json::array()) {}
    template <typename T>
    Array &push(T &&value) {
        value_.push_back(ordered_json(std::forward<T>(value)));
        return *this;
    }
    Array &push(const Object &value) { return push(static_cast<const ordered_json &>(value)); }
    operator const ordered_json &() const { return value_; }

private:
    ordered_json value_;
};

}  // namespace json

}  // namespace deve

NLOHMANN_JSON_NAMESPACE_BEGIN
// An optional member: its value, or null when there is none.
template <typename T>
struct adl_serializer<std::optional<T>> {
    template <typename Json>
    static void to_json(Json &out, const std::optional<T> &value) {
        if (value) {
            out = *value;
        } else {
            out = nullptr;
        }
    }
};
NLOHMANN_JSON_NAMESPACE_END
