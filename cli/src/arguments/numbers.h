// The ranges of the numbers deve-cli takes (options, limit files), and their
// description in plain words for a refusal.
#pragma once

#include "deve/operations.h"

#include <string>

namespace deve::cli {

struct NumberRange {
    double low;
    double high;
    bool whole;        // a whole number
    const char *unit;  // "seconds", "frames", ...
};

constexpr NumberRange kSecondsRange{1, 86400, true, "seconds"};
constexpr NumberRange kPitRange{0, deve::kPitMax, true, "microseconds"};
constexpr NumberRange kOffsetRange{0, deve::kFreqOffsetMax, true, "trim steps"};
// A bench source sends at most ten million frames a second, for at most a day.
constexpr NumberRange kFramesRange{0, 1e12, true, "frames"};
constexpr NumberRange kFrameCountRange{1, 1e12, true, "frames"};
// The receive counters are 16 bits wide and restart above 3000 frames.
constexpr NumberRange kTrimFramesRange{30, 60000, true, "frames"};
constexpr NumberRange kFrameRateRange{0, 1e7, false, "frames per second"};
constexpr NumberRange kPerRange{0, 100, false, "percent"};

// "a whole number of seconds from 1 to 86400".
std::string range_words(const NumberRange &range);
// Whether a number is finite, in the range and, for a whole range, whole.
bool in_range(double value, const NumberRange &range);

}  // namespace deve::cli
