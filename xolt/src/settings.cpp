#include "settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace xolt {

namespace {

const char *env(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Parses a whole number (decimal, or hexadecimal with 0x) into `out`.
template <typename T>
void parse_number(const char *name, T &out) {
    const char *text = env(name);
    if (text == nullptr) {
        return;
    }
    errno = 0;
    char *end = nullptr;
    const long long value = std::strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0') {
        std::fprintf(stderr, "xolt: ignoring %s=%s (not a number)\n", name, text);
        return;
    }
    out = static_cast<T>(value);
}

// Parses a real number between `minimum` and `maximum` into `out`.
void parse_real(const char *name, double &out, double minimum, double maximum) {
    const char *text = env(name);
    if (text == nullptr) {
        return;
    }
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value >= minimum && value <= maximum)) {
        std::fprintf(stderr, "xolt: ignoring %s=%s (not a number from %g to %g)\n", name, text, minimum, maximum);
        return;
    }
    out = value;
}

// Parses a whole number no greater than `maximum` into `out`.
template <typename T>
void parse_bounded(const char *name, T &out, long long maximum) {
    long long value = static_cast<long long>(out);
    parse_number(name, value);
    if (value < 0 || value > maximum) {
        std::fprintf(stderr, "xolt: ignoring %s=%lld (out of 0..%lld)\n", name, value, maximum);
        return;
    }
    out = static_cast<T>(value);
}

bool flag(const char *name) {
    const char *text = env(name);
    return text != nullptr && std::string(text) != "0";
}

}  // namespace

std::string default_fuse_file() {
    if (const char *state = env("XDG_STATE_HOME")) {
        return std::string(state) + "/xolt/efuse.bin";
    }
    if (const char *home = env("HOME")) {
        return std::string(home) + "/.local/state/xolt/efuse.bin";
    }
    return "xolt-efuse.bin";
}

BoardSettings read_settings() {
    BoardSettings s;
    const char *file = env("XOLT_FUSE_FILE");
    s.fuse_file = file != nullptr ? file : default_fuse_file();
    parse_number("XOLT_CHIP_ID", s.fresh_chip_id);
    parse_number("XOLT_REVISION", s.revision);
    parse_number("XOLT_LINK_LATENCY_US", s.link_latency_us);
    s.trace = flag("XOLT_TRACE");
    parse_real("XOLT_AMBIENT_C", s.ambient_c, -273.15, 1000.0);
    parse_real("XOLT_TX_TEMP_RISE_C", s.tx_temperature_rise_c, 0.0, 1000.0);
    parse_bounded("XOLT_THERMAL_TIME_CONSTANT_MS", s.thermal_time_constant_ms, 0xFFFFFFFFll);
    parse_bounded("XOLT_IDEAL_TRIM", s.ideal_trim, 255);
    // Each received frame is drawn on its own: the rate is capped where that
    // work would slow register access down.
    parse_real("XOLT_RX_FRAME_RATE", s.rx_frame_rate, 0.0, 10.0e6);
    parse_number("XOLT_NOISE_SEED", s.noise_seed);
    if (env("XOLT_FAULT_OPEN") != nullptr) {
        std::int32_t code = 0;
        parse_number("XOLT_FAULT_OPEN", code);
        s.open_fault = code;
    }
    s.efuse_cycle_stalls = flag("XOLT_FAULT_EFUSE_STALL");
    s.efuse_program_ignored = flag("XOLT_FAULT_EFUSE_NO_PROGRAM");
    return s;
}

}  // namespace xolt
