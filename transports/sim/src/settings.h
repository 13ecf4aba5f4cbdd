// Settings of the simulated board, read from the environment when the link
// opens (the board's power-up). Every variable and its range is documented in
// docs/simulated-board.md.
#pragma once

#include "platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace xolt {

struct BoardSettings {
    // File that holds the 256-bit fuse array between runs.
    platform::Path fuse_file;
    // Header word (chip identifier) burnt into a fresh board's fuses.
    std::uint32_t fresh_chip_id = 0x00000000;
    // Chip revision word at 0xC0000010.
    std::uint32_t revision = 0x30303643;
    // Time one register access takes on the link, in microseconds.
    std::uint32_t link_latency_us = 0;
    // Print every register access, and every calibration run, on standard
    // error.
    bool trace = false;

    // Radio environment.
    // Temperature of the board's surroundings: the die starts there and
    // settles back there when the transmitter is off, in degC.
    double ambient_c = 25.0;
    // How far above ambient the die heats under continuous transmission, in
    // degC, and the time constant of heating and cooling, in milliseconds.
    double tx_temperature_rise_c = 30.0;
    std::uint32_t thermal_time_constant_ms = 20000;
    // Frequency-offset trim at which this board's crystal is on frequency.
    std::uint32_t ideal_trim = 151;
    // Frames per second that the bench's signal source sends to the
    // receiver, where one frame per air time at the received rate allows it.
    double rx_frame_rate = 1000.0;
    // Seed of the board's random effects (receive errors, measurement noise).
    std::uint64_t noise_seed = 1;

    // Fault injection for tests.
    std::optional<std::int32_t> open_fault;  // xolt_open returns this code
    bool efuse_cycle_stalls = false;         // eFuse status never reports done
    bool efuse_program_ignored = false;      // program cycles leave the fuses alone
};

// Reads the settings from the environment. A malformed or out-of-range value
// refuses them all: empty, with `error` naming the variable and the values it
// takes.
std::optional<BoardSettings> read_settings(std::string &error);

}  // namespace xolt
