#include "settings.h"

#include <charconv>
#include <limits>
#include <string_view>
#include <type_traits>

namespace xolt {

namespace {

// Reads the settings one by one and keeps the first refusal. A variable that
// is unset or empty keeps its default.
class Reader {
public:
    std::string error;

    // A whole number from `minimum` to `maximum`: decimal, or hexadecimal
    // after 0x, with a minus sign where the range goes below 0.
    template <typename T>
    void whole(const char *name, T &out, std::int64_t minimum, std::uint64_t maximum) {
        const std::string text = platform::environment(name);
        if (text.empty() || !error.empty()) {
            return;
        }
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!parse_whole(text, negative, magnitude) || !within(negative, magnitude, minimum, maximum)) {
            refuse(name, text,
                   "a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum));
            return;
        }
        if constexpr (std::is_signed_v<T>) {
            out = static_cast<T>(negative ? -static_cast<std::int64_t>(magnitude - 1) - 1
                                          : static_cast<std::int64_t>(magnitude));
        } else {
            out = static_cast<T>(magnitude);
        }
    }

    // A number from `minimum` to `maximum`, with a decimal point if need be.
    void real(const char *name, double &out, double minimum, double maximum) {
        const std::string text = platform::environment(name);
        if (text.empty() || !error.empty()) {
            return;
        }
        double value = 0.0;
        const char *end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data(), end, value);
        if (parsed.ec != std::errc{} || parsed.ptr != end || !(value >= minimum && value <= maximum)) {
            refuse(name, text, "a number from " + shortest(minimum) + " to " + shortest(maximum));
            return;
        }
        out = value;
    }

    // 1 for on, 0 for off.
    void flag(const char *name, bool &out) {
        const std::string text = platform::environment(name);
        if (text.empty() || !error.empty()) {
            return;
        }
        if (text != "0" && text != "1") {
            refuse(name, text, "0 or 1");
            return;
        }
        out = text == "1";
    }

    void refuse(const char *name, const std::string &text, const std::string &wanted) {
        error = std::string(name) + "=" + text + " is not " + wanted;
    }

private:
    static bool parse_whole(std::string_view text, bool &negative, std::uint64_t &magnitude) {
        negative = !text.empty() && text.front() == '-';
        if (negative) {
            text.remove_prefix(1);
        }
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        const char *end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data(), end, magnitude, base);
        return !text.empty() && parsed.ec == std::errc{} && parsed.ptr == end;
    }

    static bool within(bool negative, std::uint64_t magnitude, std::int64_t minimum, std::uint64_t maximum) {
        if (!negative || magnitude == 0) {
            return magnitude <= maximum && (minimum <= 0 || magnitude >= static_cast<std::uint64_t>(minimum));
        }
        // -magnitude >= minimum, written so that no value overflows.
        return minimum < 0 && magnitude - 1 <= static_cast<std::uint64_t>(-(minimum + 1));
    }

    static std::string shortest(double value) {
        char buffer[32];
        // Fixed notation, as the settings are documented: 10000000, not 1e+07.
        const auto printed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        return std::string(buffer, printed.ptr);
    }
};

constexpr std::uint64_t WORD_MAX = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::optional<BoardSettings> read_settings(std::string &error) {
    BoardSettings s;
    Reader r;
    s.fuse_file = platform::environment_path("XOLT_FUSE_FILE");
    if (s.fuse_file.empty()) {
        s.fuse_file = platform::default_fuse_file();
    }
    r.whole("XOLT_CHIP_ID", s.fresh_chip_id, 0, WORD_MAX);
    r.whole("XOLT_REVISION", s.revision, 0, WORD_MAX);
    // Up to a tenth of a second per access; USB takes about 125 us.
    r.whole("XOLT_LINK_LATENCY_US", s.link_latency_us, 0, 100000);
    r.flag("XOLT_TRACE", s.trace);
    // A climatic chamber's range, and no more heating than a die survives.
    r.real("XOLT_AMBIENT_C", s.ambient_c, -40.0, 85.0);
    r.real("XOLT_TX_TEMP_RISE_C", s.tx_temperature_rise_c, 0.0, 100.0);
    r.whole("XOLT_THERMAL_TIME_CONSTANT_MS", s.thermal_time_constant_ms, 1, 3600000);
    r.whole("XOLT_IDEAL_TRIM", s.ideal_trim, 0, 255);  // the trim field is 8 bits
    // Each received frame is drawn on its own: the source's rate is capped
    // where that work would slow register access down.
    r.real("XOLT_RX_FRAME_RATE", s.rx_frame_rate, 0.0, 10.0e6);
    r.whole("XOLT_NOISE_SEED", s.noise_seed, 0, std::numeric_limits<std::uint64_t>::max());
    std::int32_t open_fault = 0;
    r.whole("XOLT_FAULT_OPEN", open_fault, std::numeric_limits<std::int32_t>::min(), WORD_MAX >> 1);
    if (open_fault != 0) {
        s.open_fault = open_fault;
    } else if (const std::string text = platform::environment("XOLT_FAULT_OPEN"); r.error.empty() && !text.empty()) {
        // 0 is the code of an open that succeeds.
        r.refuse("XOLT_FAULT_OPEN", text, "a failure code (a whole number other than 0)");
    }
    r.flag("XOLT_FAULT_EFUSE_STALL", s.efuse_cycle_stalls);
    r.flag("XOLT_FAULT_EFUSE_NO_PROGRAM", s.efuse_program_ignored);
    if (!r.error.empty()) {
        error = r.error;
        return std::nullopt;
    }
    return s;
}

}  // namespace xolt
