#include "limits.h"

#include "deve/tables.h"
#include "deve/text.h"
#include "numbers.h"
#include "tuning.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>

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

// A set that cannot be used: the reason.
struct Refusal {
    std::string reason;
};

std::string text_of(const json &value, const std::string &key) {
    if (!value.is_string()) {
        throw Refusal{"\"" + key + "\" must be a string"};
    }
    return value.get<std::string>();
}

LimitSet read_set(const json &entry, std::size_t index) {
    if (!entry.is_object()) {
        throw Refusal{"set " + std::to_string(index + 1) + " is not an object"};
    }
    LimitSet set;
    set.name = entry.contains("name") ? text_of(entry["name"], "name") : "set " + std::to_string(index + 1);
    try {
        bool has_limits = false;
        for (const auto &[key, value] : entry.items()) {
            if (key == "name") {
                continue;
            }
            if (key == "command") {
                set.command = text_of(value, key);
                if (*set.command != "tx" && *set.command != "rx" && *set.command != "trim find") {
                    throw Refusal{"\"command\" is \"" + *set.command + "\", not tx, rx or trim find"};
                }
            } else if (key == "band") {
                set.band = match_label(kBandChoices, text_of(value, key));
                if (!set.band) {
                    throw Refusal{"\"band\" is \"" + value.get<std::string>() + "\", not " + label_list(kBandChoices)};
                }
            } else if (key == "channel") {
                if (!value.is_number_integer()) {
                    throw Refusal{"\"channel\" must be a channel number"};
                }
                set.channel = value.get<std::int32_t>();
            } else if (key == "mode") {
                set.mode = match_mode(text_of(value, key));
                if (!set.mode) {
                    throw Refusal{"\"mode\" is \"" + value.get<std::string>() + "\", not " + label_list(kModeChoices)};
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
                    throw Refusal{"\"rate\" \"" + label + "\" is not a rate label (see deve-cli tune --help)"};
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
                        throw Refusal{"unknown limit \"" + name +
                                      "\" (limits: min-frames, min-fps, max-per, max-errors, min-trim, max-trim)"};
                    }
                    if (!number.is_number() || !in_range(number.get<double>(), *known->range)) {
                        throw Refusal{"limit \"" + name + "\" is " + number.dump() + ", not " +
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
            } else {
                throw Refusal{"unknown key \"" + key +
                              "\" (a set has name, command, band, channel, mode, rate and limits)"};
            }
        }
        if (!has_limits) {
            throw Refusal{"it has no \"limits\""};
        }
        if (set.band && set.channel && !match_channel(*set.band, std::to_string(*set.channel))) {
            throw Refusal{"band " + std::string(kBandChoices.labels[*set.band]) + " has no channel " +
                          std::to_string(*set.channel)};
        }
    } catch (const Refusal &r) {
        throw Refusal{"set \"" + set.name + "\": " + r.reason};
    } catch (const json::exception &e) {
        throw Refusal{"set \"" + set.name + "\": " + e.what()};
    }
    return set;
}

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
        const json document = json::parse(text);
        if (!document.is_object() || !document.contains("sets") || !document["sets"].is_array() ||
            document.size() != 1) {
            throw Refusal{"the file must be an object with one key, \"sets\", a list of limit sets"};
        }
        LimitFile file;
        file.path = path;
        for (std::size_t i = 0; i < document["sets"].size(); ++i) {
            file.sets.push_back(read_set(document["sets"][i], i));
            for (std::size_t j = 0; j + 1 < file.sets.size(); ++j) {
                if (file.sets[j].name == file.sets.back().name) {
                    throw Refusal{"two sets are named \"" + file.sets.back().name + "\""};
                }
            }
        }
        result.file = std::move(file);
    } catch (const Refusal &r) {
        result.error = "limit file " + path + ": " + r.reason;
    } catch (const json::exception &e) {
        result.error = "limit file " + path + " is not valid JSON: " + e.what();
    }
    return result;
}

LimitFileResult read_limit_file(const std::string &path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        return {std::nullopt, "cannot open the limit file " + path};
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return {std::nullopt, "the limit file " + path + " could not be read to its end"};
    }
    return parse_limit_file(path, text);
}

}  // namespace deve::cli
