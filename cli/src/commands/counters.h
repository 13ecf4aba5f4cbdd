// Frame counts over a test run: the receive counters restart (deve-cli
// restarts them once the total passes 3000, as the dialog does, and a
// counter may also restart or wrap on its own), so the run's totals are kept
// here and never lost; and the limits that make a run pass or fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

// One reading of the receive counters.
struct RxReading {
    std::uint32_t errors = 0;
    std::uint32_t frames = 0;
    bool reset = false;  // the counters were restarted right after this reading
};

// The counts of one second and of the run so far.
struct RxSample {
    std::uint64_t errors = 0;  // this second
    std::uint64_t frames = 0;
    std::uint64_t total_errors = 0;  // since the test started
    std::uint64_t total_frames = 0;
    bool restarted = false;  // the counters had restarted without being told to
};

class RxTotals {
public:
    RxSample add(const RxReading &reading);
    std::uint64_t errors() const { return base_errors_ + last_errors_; }
    std::uint64_t frames() const { return base_frames_ + last_frames_; }

private:
    // Counts carried over from before the last restart of the counters.
    std::uint64_t base_errors_ = 0;
    std::uint64_t base_frames_ = 0;
    // The counters as last read (0 after a restart).
    std::uint32_t last_errors_ = 0;
    std::uint32_t last_frames_ = 0;
    std::uint64_t reported_errors_ = 0;
    std::uint64_t reported_frames_ = 0;
};

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
