// deve-cli's limit-file reader over arbitrary file contents. A file it takes
// must hold only what a run can use: tx, rx or trim find commands, bands and modes of
// the lists, channels the band offers (either band when the set names none),
// limits in their ranges, no two sets of one name. A file it refuses must say
// why in a message that quotes no more than excerpts of the file, however
// long or deeply nested the file is. Both readings of one file agree.
#include "deve/tables.h"
#include "limit_file.h"
#include "numbers.h"
#include "support/fuzz_target.h"
#include "tuning.h"

#include <cmath>
#include <set>
#include <string>

namespace {

using deve::cli::LimitSet;

// A reason longer than this repeats the file.
constexpr std::size_t kLongestReason = 1024;

void check_limit(const std::optional<double> &value, const deve::cli::NumberRange &range, const char *name) {
    FUZZ_CHECK(!value || deve::cli::in_range(*value, range), std::string(name) + " out of its range was taken");
}

void check_set(const LimitSet &set) {
    FUZZ_CHECK(!set.command || *set.command == "tx" || *set.command == "rx" || *set.command == "trim find",
               "command " + set.command.value_or("") + " taken");
    FUZZ_CHECK(!set.band || (*set.band >= 0 && *set.band < static_cast<int>(deve::kBandChoices.labels.size())),
               "a band out of the list");
    FUZZ_CHECK(!set.mode || (*set.mode >= 0 && *set.mode < static_cast<int>(deve::kModeChoices.labels.size())),
               "a mode out of the list");
    if (set.channel) {
        const std::string number = std::to_string(*set.channel);
        const bool offered = set.band ? deve::cli::match_channel(*set.band, number).has_value()
                                      : deve::cli::match_channel(0, number) || deve::cli::match_channel(1, number);
        FUZZ_CHECK(offered, "channel " + number + " taken in set " + set.name);
    }
    const deve::cli::LimitValues &l = set.limits;
    check_limit(l.min_fps, deve::cli::kFrameRateRange, "min-fps");
    check_limit(l.max_per, deve::cli::kPerRange, "max-per");
    FUZZ_CHECK(!l.min_frames || static_cast<double>(*l.min_frames) <= 1e12, "min-frames out of its range was taken");
    FUZZ_CHECK(!l.max_errors || static_cast<double>(*l.max_errors) <= 1e12, "max-errors out of its range was taken");
    FUZZ_CHECK(!l.min_trim || *l.min_trim <= 255, "min-trim out of its range was taken");
    FUZZ_CHECK(!l.max_trim || *l.max_trim <= 255, "max-trim out of its range was taken");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const deve::cli::LimitFileResult result = deve::cli::parse_limit_file("f.json", text);
    const deve::cli::LimitFileResult again = deve::cli::parse_limit_file("f.json", text);
    FUZZ_CHECK(result.error == again.error && result.file.has_value() == again.file.has_value(),
               "two readings of one file differ");
    if (!result.file) {
        FUZZ_CHECK(!result.error.empty(), "a file refused without a reason");
        FUZZ_CHECK(result.error.size() <= kLongestReason,
                   "a reason of " + std::to_string(result.error.size()) + " bytes: " + result.error.substr(0, 200));
        return 0;
    }
    FUZZ_CHECK(result.error.empty(), "a file taken with a reason: " + result.error);
    std::set<std::string> names;
    for (const LimitSet &set : result.file->sets) {
        check_set(set);
        FUZZ_CHECK(names.insert(set.name).second, "two sets named " + set.name);
    }
    return 0;
}
