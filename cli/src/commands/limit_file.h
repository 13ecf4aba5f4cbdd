// Limit files: named sets of tx and rx limits, each for a command and an
// operating point (band, channel, mode, rate), read before the link opens.
//
//   {"sets": [
//     {"name": "2G HT20", "command": "rx", "band": "2G", "mode": "11n-HT20",
//      "limits": {"max-per": 8, "min-frames": 1000}},
//     {"name": "default", "limits": {"max-per": 10}}
//   ]}
//
// A set may choose the sequential test for its runs:
//     "sequential": {"false-pass": 5, "false-fail": 0.1, "zone": 5,
//                    "decide-after": 100, "max-frames": 2000}
// (every key optional; {} takes the defaults).
//
// A run takes the most specific set that matches it (the one that names
// most of command, band, channel, mode and rate; the first in the file on a
// tie). A limit given on the command line overrides the set's.
#pragma once

#include "sequential.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

// The limits of tx (min-frames, min-fps), rx (max-per, min-frames,
// max-errors) and trim find (max-per of the best trim; min-trim and
// max-trim, where the best trim may sit).
struct LimitValues {
    std::optional<std::uint64_t> min_frames;
    std::optional<double> min_fps;
    std::optional<double> max_per;
    std::optional<std::uint64_t> max_errors;
    std::optional<std::uint64_t> min_trim;
    std::optional<std::uint64_t> max_trim;
};

struct LimitSet {
    std::string name;
    std::optional<std::string> command;  // "tx", "rx" or "trim find"; all when absent
    std::optional<int> band;             // list positions, as the radio keeps them
    std::optional<std::int32_t> channel; // channel number
    std::optional<int> mode;
    std::optional<std::string> rate;     // rate label
    LimitValues limits;
    // "sequential": {...}: tx and rx stop as soon as the counts decide the
    // limits (sequential.h); absent, they count a fixed number of frames.
    std::optional<SequentialPlan> sequential;
};

struct LimitFile {
    std::string path;
    std::vector<LimitSet> sets;

    // The set for a run of `command` at an operating point, if any.
    const LimitSet *find(const std::string &command, int band, std::int32_t channel, int mode,
                         const std::string &rate) const;
};

// Reads and checks a limit file; the reason, naming the file and the set,
// when it cannot be used.
struct LimitFileResult {
    std::optional<LimitFile> file;
    std::string error;
};
LimitFileResult read_limit_file(const std::string &path);
LimitFileResult parse_limit_file(const std::string &path, const std::string &text);

// The command line's limit, else the set's.
template <typename T>
std::optional<T> limit_of(const std::optional<T> &option, const LimitSet *set, std::optional<T> LimitValues::*member) {
    if (option) {
        return option;
    }
    return set != nullptr ? set->limits.*member : std::nullopt;
}

// A check with where its limit came from: "option", or "set NAME".
template <typename Check, typename T>
Check with_source(Check check, const std::optional<T> &option, const LimitSet *set) {
    check.source = option ? "option" : "set " + set->name;
    return check;
}

}  // namespace deve::cli
