#include "counters.h"

#include "deve/text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace deve::cli {

std::uint32_t TxTotals::add(std::uint32_t count) {
    const std::uint32_t sent = count - last_;  // modulo 2^32: one wrap between readings
    last_ = count;
    frames_ += sent;
    return sent;
}

std::optional<double> per_percent(std::uint64_t errors, std::uint64_t frames) {
    if (frames == 0) {
        return std::nullopt;
    }
    // One frame moves the rate by 100 / frames percent: keep the decimals
    // down to that step and no further.
    const double step = 100.0 / static_cast<double>(frames);
    const double decimals = std::max(0.0, std::ceil(-std::log10(step) - 1e-9));
    const double scale = std::pow(10.0, decimals);
    return std::round(static_cast<double>(errors) / static_cast<double>(frames) * 100.0 * scale) / scale;
}

std::string per_text(std::uint64_t errors, std::uint64_t frames) {
    // The dialog's text takes 32-bit counts; longer runs keep the ratio.
    while (frames > std::numeric_limits<std::uint32_t>::max() || errors > std::numeric_limits<std::uint32_t>::max()) {
        frames >>= 1;
        errors >>= 1;
    }
    return packet_error_rate(static_cast<std::uint32_t>(errors), static_cast<std::uint32_t>(frames)).value_or("NA");
}

LimitCheck at_least(const std::string &name, double limit, std::optional<double> value, const std::string &unit) {
    return LimitCheck{name, ">=", limit, value, unit, value.has_value() && *value >= limit};
}

LimitCheck at_most(const std::string &name, double limit, std::optional<double> value, const std::string &unit) {
    return LimitCheck{name, "<=", limit, value, unit, value.has_value() && *value <= limit};
}

bool all_pass(const std::vector<LimitCheck> &checks) {
    for (const LimitCheck &c : checks) {
        if (!c.pass) {
            return false;
        }
    }
    return true;
}

}  // namespace deve::cli
