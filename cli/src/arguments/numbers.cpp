#include "numbers.h"

#include <cmath>
#include <cstdio>

namespace deve::cli {

std::string range_words(const NumberRange &range) {
    char low[32];
    char high[32];
    std::snprintf(low, sizeof low, "%.15g", range.low);
    std::snprintf(high, sizeof high, "%.15g", range.high);
    return std::string(range.whole ? "a whole number of " : "a number of ") + range.unit + " from " + low + " to " +
           high;
}

bool in_range(double value, const NumberRange &range) {
    return std::isfinite(value) && value >= range.low && value <= range.high &&
           (!range.whole || value == std::floor(value));
}

}  // namespace deve::cli
