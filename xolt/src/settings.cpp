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
