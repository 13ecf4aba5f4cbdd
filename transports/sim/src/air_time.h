// Time on air of the test frames that the board's radio sends (the packet
// generator) and receives (the bench's signal source): both use frames of
// the same length, and neither can put them on the air faster than one per
// air time.
#pragma once

#include "radio_registers.h"

#include <cstdint>
#include <optional>

namespace xolt {

// Length of a test frame (PSDU), in bytes.
constexpr std::uint32_t TEST_FRAME_BYTES = 1000;

// Time on air of one test frame at `rate`, preamble included, in
// microseconds; empty for a rate word that names no rate.
std::optional<double> frame_airtime_us(radio::PhyRate rate);

}  // namespace xolt
