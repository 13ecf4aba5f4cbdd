// Chip registers that more than one block of the library uses, with their
// fields: the chip's shared register map, and the registers only the library
// reaches. Registers used by a single block are named in that block's file.
#pragma once

#include "varimon/chip_registers.h"

#include <cstdint>

namespace velmo {

// The chip's register map shared with the console and the simulated board.
using namespace varimon;

// 5 GHz calibration-loop gains (TX VGA, RX LNA, RX PGA in bits 17-29).
constexpr std::uint32_t ADR_5G_CALIBRATION_GAIN_REGISTER1 = 0xCCB0A60C;

// TX up8x input: 1 = baseband signal path (calibration), 0 = normal path.
constexpr std::uint32_t ADR_TX_UP8X_CONTROL = 0xCCB0A810;
constexpr Field RG_TX_UP8X_BASEBAND{25, 1};

// 5 GHz transmit gain and PA feedback control (four 7-bit gain copies).
constexpr std::uint32_t ADR_5G_TX_GAIN_PAFB_CONTROL = 0xCCB0A634;

// Transmit packet generator: update framing of the bandwidth and rate words.
constexpr std::uint32_t ADR_PHY_UPDATE = 0xCCB0E004;
constexpr std::uint32_t PHY_UPDATE_HOLD = 0x00000000;
constexpr std::uint32_t PHY_UPDATE_APPLY = 0x0000017F;

// Variant control word of the two chip variants.
constexpr std::uint32_t ADR_VARIANT_CONTROL = 0xC0000510;

// eFuse header words that select the chip variants with extra control writes.
constexpr std::uint32_t CHIP_ID_VARIANT_A = 0x74000000;
constexpr std::uint32_t CHIP_ID_VARIANT_B = 0x7C000000;

constexpr bool is_variant(std::uint32_t chip_id) {
    return chip_id == CHIP_ID_VARIANT_A || chip_id == CHIP_ID_VARIANT_B;
}

}  // namespace velmo
