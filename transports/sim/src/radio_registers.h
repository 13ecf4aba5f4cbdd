// Radio registers that more than one block of the simulated chip follows:
// the chip's register map, and the rate word's decoding. Registers that one
// block alone owns are named in that block's file.
#pragma once

#include "varimon/chip_registers.h"

#include <cstdint>

namespace xolt::radio {

// The chip's register map shared with the library and the console.
using namespace varimon;

enum class Format : std::uint32_t { CCK = 0, OFDM = 1, HT = 2, RESERVED = 3 };

// A decoded rate word.
struct PhyRate {
    Format format;
    std::uint32_t index;  // rate (CCK, OFDM) or MCS (HT) index
    bool forty;           // 40 MHz (HT only)
};

constexpr PhyRate decode_rate(std::uint32_t word) {
    return PhyRate{static_cast<Format>(RG_RATE_FORMAT.get(word)), RG_RATE_INDEX.get(word),
                   RG_RATE_40MHZ.get(word) != 0};
}

}  // namespace xolt::radio
