// Frame counts over a test run (the receive totals across counter restarts
// are the core's RxTotals, which the dialog's history uses too; the
// transmit count wraps), and the limits that make a run pass or fail.
#pragma once

#include "deve/rx_totals.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

// Transmitted frames from a 32-bit counter that may wrap.
class TxTotals {
public:
    explicit TxTotals(std::uint32_t start) : last_(start) {}
    // The frames sent since the previous reading.
    std::uint32_t add(std::uint32_t count);
    std::uint64_t frames() const { return frames_; }

private:
    std::uint32_t last_;
    std::uint64_t frames_ = 0;
};

// errors / frames x 100, rounded to the decimals the counts resolve (one
// decimal for 1000 frames, two for 3000); nothing when no frame was received.
std::optional<double> per_percent(std::uint64_t errors, std::uint64_t frames);
// The dialog's text: "%.1f%%", or "NA".
std::string per_text(std::uint64_t errors, std::uint64_t frames);

struct LimitCheck {
    std::string name;     // the option: "max-per", "min-frames", ...
    std::string relation; // ">=" or "<="
    double limit = 0;
    std::optional<double> value;  // nothing when it could not be measured
    std::string unit;
    bool pass = false;
    std::string source = "option";  // "option", or "set NAME" of a limit file
};

LimitCheck at_least(const std::string &name, double limit, std::optional<double> value, const std::string &unit);
LimitCheck at_most(const std::string &name, double limit, std::optional<double> value, const std::string &unit);
bool all_pass(const std::vector<LimitCheck> &checks);

}  // namespace deve::cli
