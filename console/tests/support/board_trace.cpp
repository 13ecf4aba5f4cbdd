#include "board_trace.h"

#include "varimon/chip_registers.h"

#include <cstdio>
#include <sstream>

namespace board_trace {

namespace {

using namespace varimon;

struct Access {
    bool write = false;
    std::uint32_t address = 0;
    std::uint32_t value = 0;
};

// "xolt: write 0xCCB0E018 <- 0x0055083C", "xolt: read  0x... -> 0x...".
bool parse_access(const std::string &line, Access &out) {
    unsigned address = 0;
    unsigned value = 0;
    if (std::sscanf(line.c_str(), "xolt: write 0x%8X <- 0x%8X", &address, &value) == 2) {
        out = {true, address, value};
        return true;
    }
    if (std::sscanf(line.c_str(), "xolt: read 0x%8X -> 0x%8X", &address, &value) == 2) {
        out = {false, address, value};
        return true;
    }
    return false;
}

std::vector<std::string> lines_of(const std::string &trace) {
    std::vector<std::string> out;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
    }
    return out;
}

}  // namespace

std::vector<std::uint32_t> writes_to(const std::string &trace, std::uint32_t address) {
    std::vector<std::uint32_t> out;
    for (const std::string &line : lines_of(trace)) {
        Access access;
        if (parse_access(line, access) && access.write && access.address == address) {
            out.push_back(access.value);
        }
    }
    return out;
}

Radio radio_of(const std::string &trace) {
    Radio radio;
    // The last words written before the link closed (0 = the state after
    // power-up, where the generator and counters are off).
    std::uint32_t generator = 0;
    std::uint32_t cck = 0;
    std::uint32_t ofdm = 0;
    std::uint32_t mode = 0;
    bool open = false;
    for (const std::string &line : lines_of(trace)) {
        if (line == "xolt: link open") {
            open = true;
            radio.link_closed = false;
            continue;
        }
        if (line == "xolt: link closed") {
            open = false;
            radio.link_closed = true;
            radio.transmitter_off = RG_PKTGEN_TX_ON.get(generator) == 0;
            radio.receiver_off = RG_RX_COUNT_ENABLE.get(cck | ofdm) == 0;
            radio.standby = RG_MODE.get(mode) == MODE_STANDBY;
            continue;
        }
        Access access;
        if (!parse_access(line, access)) {
            continue;
        }
        if (!open) {
            radio.link_closed = false;  // an access after the close
        }
        if (!access.write) {
            continue;
        }
        switch (access.address) {
        case ADR_PKTGEN_CONTROL:
            generator = access.value;
            radio.transmitted |= RG_PKTGEN_TX_ON.get(generator) != 0;
            break;
        case ADR_RX_11B_CONTROL:
            cck = access.value;
            radio.received |= RG_RX_COUNT_ENABLE.get(cck) != 0;
            break;
        case ADR_RX_OFDM_CONTROL:
            ofdm = access.value;
            radio.received |= RG_RX_COUNT_ENABLE.get(ofdm) != 0;
            break;
        case ADR_MODE_REGISTER: mode = access.value; break;
        default: break;
        }
    }
    return radio;
}

std::string unsafe_at_close(const Radio &radio) {
    if (!radio.link_closed) {
        return "the link was not closed (or was used after it closed)";
    }
    std::string out;
    const auto add = [&out](const char *what) { out += (out.empty() ? "" : "; ") + std::string(what); };
    if (!radio.transmitter_off) {
        add("transmitter ON at close");
    }
    if (!radio.receiver_off) {
        add("receiver ON at close");
    }
    if (!radio.standby) {
        add("radio not in standby at close");
    }
    return out;
}

}  // namespace board_trace
