#include "limit_file.h"

#include "deve/tables.h"
#include "deve/text.h"
#include "input_file.h"
#include "numbers.h"
#include "tuning.h"

#include <nlohmann/json.hpp>

#include <unordered_set>

namespace deve::cli {

namespace {

using nlohmann::json;

struct LimitKey {
    const char *name;
    const NumberRange *range;
    bool tx;
    bool rx;
};
constexpr LimitKey kLimitKeys[] = {
    {"min-frames", &kFramesRange, true, true},
    {"min-fps", &kFrameRateRange, true, false},
    {"max-per", &kPerRange, false, true},
    {"max-errors", &kFramesRange, false, true},
    {"min-trim", &kOffsetRange, false, false},
    {"max-trim", &kOffsetRange, false, false},
};

// The keys of a set's "sequential" object.
struct SequentialKey {
    const char *name;
    const NumberRange *range;
};
constexpr NumberRange kErrorShareRange{0.0001, 50, false, "percent"};
constexpr NumberRange kZoneRange{0, 1e7, false, "in the limit's unit"};
constexpr SequentialKey kSequentialKeys[] = {
    {"false-pass", &kErrorShareRange}, {"false-fail", &kErrorShareRange}, {"zone", &kZoneRange},
    {"decide-after", &kFramesRange},   {"max-frames", &kFrameCountRange},
};

// A set that cannot be used: the reason.
struct Refusal {
    std::string reason;
};

// Deeper than a limit file goes (a limit value sits at level 4): refused
// while it is parsed, before anything recurses through it.
constexpr int kMaxDepth = 16;

// Channel numbers of either band are 8 bits.
constexpr NumberRange kChannelNumberRange{1, 255, true, "channel"};

// Text of the file, quoted in a reason.
std::string in_quotes(const std::string &text) { return "\"" + excerpt(text) + "\""; }

// A value as a reason names it: a number or a word as it is, a string as an
// excerpt, a list or an object by its kind.
std::string described(const json &value) {
    if (value.is_string()) {
        return in_quotes(value.get<std::string>());
    }
    if (value.is_array()) {
        return "a list";
    }
    if (value.is_object()) {
        return "an object";
    }
    return value.dump();
}

std::string text_of(const json &value, const std::string &key) {
    if (!value.is_string()) {
        throw Refusal{"\"" + key + "\" must be a string"};
    }
    return value.get<std::string>();
}

// The message of the JSON reader, with the input it quotes cut short.
std::string parse_error_text(const std::string &what) {
    const std::string quote_start = "last read: '";
    const std::size_t at = what.find(quote_start);
    if (at == std::string::npos || what.size() < 2 || what.back() != '\'') {
        return excerpt(what);
    }
    const std::size_t from = at + quote_start.size();
    return what.substr(0, from) + excerpt(std::string_view(what).substr(from, what.size() - 1 - from)) + "'";
}

SequentialPlan read_sequential(const json &value) {
    if (!value.is_object()) {
        throw Refusal{"\"sequential\" must be an object"};
    }
    SequentialPlan plan;
    for (const auto &[name, number] : value.items()) {
        const SequentialKey *known = nullptr;
        for (const SequentialKey &k : kSequentialKeys) {
            known = name == k.name ? &k : known;
        }
        if (known == nullptr) {
            throw Refusal{"unknown key " + in_quotes(name) +
                          " in \"sequential\" (false-pass, false-fail, zone, decide-after, max-frames)"};
        }
        if (!number.is_number() || !in_range(number.get<double>(), *known->range)) {
            throw Refusal{"\"sequential\" \"" + name + "\" is " + described(number) + ", not " +
                          range_words(*known->range)};
        }
        const double v = number.get<double>();
        if (name == "false-pass") {
            plan.false_pass = v;
        } else if (name == "false-fail") {
            plan.false_fail = v;
        } else if (name == "zone") {
            if (!(v > 0)) {
                throw Refusal{"\"sequential\" \"zone\" must be above 0"};
            }
            plan.zone = v;
        } else if (name == "decide-after") {
            plan.decide_after = static_cast<std::uint64_t>(v);
        } else {
            plan.max_frames = static_cast<std::uint64_t>(v);
        }
    }
    if (plan.decide_after && plan.max_frames && *plan.decide_after > *plan.max_frames) {
        throw Refusal{"\"sequential\" \"decide-after\" (" + std::to_string(*plan.decide_after) +
                      ") is more than its \"max-frames\" (" + std::to_string(*plan.max_frames) + ")"};
    }
    return plan;
}

LimitSet read_set(const json &entry, std::size_t index) {
    if (!entry.is_object()) {
        throw Refusal{"set " + std::to_string(index + 1) + " is not an object"};
    }
    LimitSet set;
    set.name = entry.contains("name") ? text_of(entry["name"], "name") : "set " + std::to_string(index + 1);
    std::optional<double> channel;
    std::string channel_text;
    try {
        bool has_limits = false;
        for (const auto &[key, value] : entry.items()) {
            if (key == "name") {
                continue;
            }
            if (key == "command") {
                set.command = text_of(value, key);
                if (*set.command != "tx" && *set.command != "rx" && *set.command != "trim find") {
                    throw Refusal{"\"command\" is " + in_quotes(*set.command) + ", not tx, rx or trim find"};
                }
            } else if (key == "band") {
                set.band = match_label(kBandChoices, text_of(value, key));
                if (!set.band) {
                    throw Refusal{"\"band\" is " + described(value) + ", not " + label_list(kBandChoices)};
                }
            } else if (key == "channel") {
                if (!value.is_number_integer()) {
                    throw Refusal{"\"channel\" must be a channel number"};
                }
                channel = value.get<double>();  // exact for every channel; a huge number stays huge
                channel_text = value.dump();
            } else if (key == "mode") {
                set.mode = match_mode(text_of(value, key));
                if (!set.mode) {
                    throw Refusal{"\"mode\" is " + described(value) + ", not " + label_list(kModeChoices)};
                }
            } else if (key == "rate") {
                const std::string label = text_of(value, key);
                for (int mode = 0; mode < static_cast<int>(kModeChoices.labels.size()) && !set.rate; ++mode) {
                    for (const Rate &r : rates_of_mode(mode)) {
                        if (equal_ignoring_case(r.label, label)) {
                            set.rate = r.label;
                        }
                    }
                }
                if (!set.rate) {
                    throw Refusal{"\"rate\" " + in_quotes(label) + " is not a rate label (see deve-cli tune --help)"};
                }
            } else if (key == "limits") {
                if (!value.is_object()) {
                    throw Refusal{"\"limits\" must be an object"};
                }
                has_limits = true;
                for (const auto &[name, number] : value.items()) {
                    const LimitKey *known = nullptr;
                    for (const LimitKey &k : kLimitKeys) {
                        known = name == k.name ? &k : known;
                    }
                    if (known == nullptr) {
                        throw Refusal{"unknown limit " + in_quotes(name) +
                                      " (limits: min-frames, min-fps, max-per, max-errors, min-trim, max-trim)"};
                    }
                    if (!number.is_number() || !in_range(number.get<double>(), *known->range)) {
                        throw Refusal{"limit \"" + name + "\" is " + described(number) + ", not " +
                                      range_words(*known->range)};
                    }
                    const double v = number.get<double>();
                    if (name == "min-frames") {
                        set.limits.min_frames = static_cast<std::uint64_t>(v);
                    } else if (name == "min-fps") {
                        set.limits.min_fps = v;
                    } else if (name == "max-per") {
                        set.limits.max_per = v;
                    } else if (name == "min-trim") {
                        set.limits.min_trim = static_cast<std::uint64_t>(v);
                    } else if (name == "max-trim") {
                        set.limits.max_trim = static_cast<std::uint64_t>(v);
                    } else {
                        set.limits.max_errors = static_cast<std::uint64_t>(v);
                    }
                }
            } else if (key == "sequential") {
                set.sequential = read_sequential(value);
            } else {
                throw Refusal{"unknown key " + in_quotes(key) +
                              " (a set has name, command, band, channel, mode, rate, limits and sequential)"};
            }
        }
        if (!has_limits) {
            throw Refusal{"it has no \"limits\""};
        }
        if (channel) {
            // As --channel takes it: a channel that the set's band offers, or
            // either band when the set names none.
            const std::string &number = channel_text;
            const bool offered = in_range(*channel, kChannelNumberRange) &&
                                 (set.band ? match_channel(*set.band, number).has_value()
                                           : match_channel(0, number) || match_channel(1, number));
            if (!offered) {
                throw Refusal{set.band ? "band " + std::string(kBandChoices.labels[*set.band]) + " has no channel " +
                                             number
                                       : "\"channel\" is " + number + ", not a channel of 2G (1-13) or 5G (32-64, "
                                                                         "100-170)"};
            }
            set.channel = static_cast<std::int32_t>(*channel);
        }
    } catch (const Refusal &r) {
        throw Refusal{"set " + in_quotes(set.name) + ": " + r.reason};
    } catch (const json::exception &e) {
        throw Refusal{"set " + in_quotes(set.name) + ": " + parse_error_text(e.what())};
    }
    return set;
}

// Reads the sets while the file is parsed, each as soon as it is complete,
// and drops it from the parsed document: the document never holds more than
// one set, so neither memory nor the recursion of a value's destruction grows
// with the file. Refuses nesting past kMaxDepth before anything recurses
// through it, and a key given twice in an object (the parser would keep the
// later value silently).
class SetReader {
public:
    explicit SetReader(LimitFile &file) : file_(file) {}

    bool operator()(int depth, json::parse_event_t event, const json &parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            if (depth >= kMaxDepth) {
                throw Refusal{"it nests deeper than " + std::to_string(kMaxDepth) + " levels"};
            }
            if (event == json::parse_event_t::object_start) {
                keys_.emplace_back();
            } else if (depth == 1 && root_key_ == "sets") {
                in_sets_ = true;
            }
            return true;
        case json::parse_event_t::key: {
            const std::string &key = parsed.get_ref<const std::string &>();
            if (depth == 1) {
                root_key_ = key;
            }
            if (!keys_.back().insert(key).second) {
                if (!in_sets_ || depth < 3) {
                    throw Refusal{"the key " + in_quotes(key) + " is given twice"};
                }
                repeated_ = repeated_.value_or(key);  // told with the set's name, at its end
            }
            return true;
        }
        case json::parse_event_t::object_end:
            keys_.pop_back();
            return !(depth == 2 && in_sets_ && take(parsed));
        case json::parse_event_t::array_end:
            if (depth == 1) {
                in_sets_ = false;
            }
            return !(depth == 2 && in_sets_ && take(parsed));
        case json::parse_event_t::value:
            return !(depth == 2 && in_sets_ && take(parsed));
        }
        return true;
    }

private:
    // One entry of "sets", complete: read as a set (true) and dropped.
    bool take(const json &entry) {
        const std::size_t index = file_.sets.size();
        if (repeated_) {
            const bool named = *repeated_ != "name" && entry.is_object() && entry.contains("name") &&
                               entry["name"].is_string();
            throw Refusal{"set " +
                          in_quotes(named ? entry["name"].get<std::string>() : "set " + std::to_string(index + 1)) +
                          ": the key " + in_quotes(*repeated_) + " is given twice"};
        }
        file_.sets.push_back(read_set(entry, index));
        if (!names_.insert(file_.sets.back().name).second) {
            throw Refusal{"two sets are named " + in_quotes(file_.sets.back().name)};
        }
        return true;
    }

    LimitFile &file_;
    std::unordered_set<std::string> names_;
    std::vector<std::unordered_set<std::string>> keys_;  // of each object open now
    std::string root_key_;
    bool in_sets_ = false;                 // in the list of sets
    std::optional<std::string> repeated_;  // a key the set being read gives twice
};

}  // namespace

const LimitSet *LimitFile::find(const std::string &command, int band, std::int32_t channel, int mode,
                                const std::string &rate) const {
    const LimitSet *found = nullptr;
    int found_keys = -1;
    for (const LimitSet &s : sets) {
        if ((s.command && *s.command != command) || (s.band && *s.band != band) ||
            (s.channel && *s.channel != channel) || (s.mode && *s.mode != mode) || (s.rate && *s.rate != rate)) {
            continue;
        }
        const int keys = int{s.command.has_value()} + int{s.band.has_value()} + int{s.channel.has_value()} +
                         int{s.mode.has_value()} + int{s.rate.has_value()};
        if (keys > found_keys) {
            found = &s;
            found_keys = keys;
        }
    }
    return found;
}

LimitFileResult parse_limit_file(const std::string &path, const std::string &text) {
    LimitFileResult result;
    try {
        LimitFile file;
        file.path = path;
        SetReader reader(file);
        const json document = json::parse(
            text, [&reader](int depth, json::parse_event_t event, json &parsed) { return reader(depth, event, parsed); });
        // The sets were taken out of their list as they were read.
        if (!document.is_object() || !document.contains("sets") || !document["sets"].is_array() ||
            document.size() != 1) {
            throw Refusal{"the file must be an object with one key, \"sets\", a list of limit sets"};
        }
        result.file = std::move(file);
    } catch (const Refusal &r) {
        result.error = "limit file " + path + ": " + r.reason;
    } catch (const json::exception &e) {
        result.error = "limit file " + path + " is not valid JSON: " + parse_error_text(e.what());
    }
    return result;
}

LimitFileResult read_limit_file(const std::string &path) {
    InputFile in(path, "the limit file");
    std::string text;
    if (!in.error().empty() || !in.read_all(text)) {
        return {std::nullopt, in.error()};
    }
    return parse_limit_file(path, text);
}

}  // namespace deve::cli
