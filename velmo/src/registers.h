// Chip registers that more than one block of the library uses, with their
// fields. Registers used by a single block are named in that block's file.
#pragma once

#include <cstdint>

namespace velmo {

// A register field: a contiguous run of bits.
struct Field {
    unsigned low;
    unsigned width;

    constexpr std::uint32_t mask() const {
        return (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u)) << low;
    }
    constexpr std::uint32_t keep() const { return ~mask(); }
    constexpr std::uint32_t prep(std::uint32_t value) const { return (value << low) & mask(); }
    constexpr std::uint32_t get(std::uint32_t reg) const { return (reg & mask()) >> low; }
};

// Calibration engine's mode register.
constexpr std::uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
constexpr Field RG_MODE_MANUAL{2, 1};
constexpr Field RG_MODE{8, 3};
constexpr Field RG_CAL_INDEX{12, 4};
constexpr Field RG_TX_GAIN_2G{25, 4};  // 2.4 GHz transmit gain index

enum Mode : std::uint32_t {
    MODE_STANDBY = 0,
    MODE_CALIBRATION = 1,
    MODE_TX_2G = 2,
    MODE_RX_2G = 3,
    MODE_TX_5G = 6,
    MODE_RX_5G = 7,
};

enum CalIndex : std::uint32_t {
    CAL_IDX_NONE = 0,
    CAL_IDX_WIFI2P4G_PADPD = 7,
    CAL_IDX_WIFI5G_PADPD = 15,
};

// Synthesizer: 2.4 GHz channel (bits 11-18) and crystal code (bits 20-22).
constexpr std::uint32_t ADR_SX_2G_CHANNEL = 0xCCB0A464;
// Synthesizer: 5 GHz channel table.
constexpr std::uint32_t ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE = 0xCCB0A580;
constexpr Field RG_5G_CHANNEL{8, 8};
// Synthesizer control word rewritten on every retune and by the sensor.
constexpr std::uint32_t ADR_SX_CONTROL = 0xCCB0A408;

// 5 GHz calibration-loop gains (TX VGA, RX LNA, RX PGA in bits 17-29).
constexpr std::uint32_t ADR_5G_CALIBRATION_GAIN_REGISTER1 = 0xCCB0A60C;

// TX up8x input: 1 = baseband signal path (calibration), 0 = normal path.
constexpr std::uint32_t ADR_TX_UP8X_CONTROL = 0xCCB0A810;
constexpr Field RG_TX_UP8X_BASEBAND{25, 1};

// 5 GHz transmit gain and PA feedback control (four 7-bit gain copies).
constexpr std::uint32_t ADR_5G_TX_GAIN_PAFB_CONTROL = 0xCCB0A634;

// Power-management word: bit 0 DC-DC (1) or LDO (0); bit 16 held set for the
// length of an eFuse program cycle.
constexpr std::uint32_t ADR_PMU_CONTROL = 0xCCB0B008;
constexpr Field RG_DCDC_ENABLE{0, 1};
constexpr Field RG_EFUSE_PROGRAM_POWER{16, 1};

// Frequency-offset trim, two 8-bit copies.
constexpr std::uint32_t ADR_FREQ_OFFSET = 0xCCB0B000;

// Transmit packet generator: bandwidth word, update framing and rate word.
constexpr std::uint32_t ADR_PHY_BANDWIDTH = 0xCCB0E000;
constexpr std::uint32_t ADR_PHY_UPDATE = 0xCCB0E004;
constexpr std::uint32_t PHY_UPDATE_HOLD = 0x00000000;
constexpr std::uint32_t PHY_UPDATE_APPLY = 0x0000017F;
constexpr std::uint32_t ADR_TX_RATE = 0xCCB0E00C;

// DAC gain codes: 5 GHz (one per byte) and 2.4 GHz (bits 0-7, bit 20).
constexpr std::uint32_t ADR_DAC_GAIN_5G = 0xCCB0ADA8;
constexpr std::uint32_t ADR_DAC_GAIN_2G = 0xCCB0ADAC;

// Pre-distortion control: bit 0 enables the PADPD tables.
constexpr std::uint32_t ADR_DPD_CONTROL = 0xCCB0AD1C;
constexpr Field RG_DPD_ENABLE{0, 1};

// Chip revision word.
constexpr std::uint32_t ADR_CHIP_REVISION = 0xC0000010;

// Variant control word of the two chip variants.
constexpr std::uint32_t ADR_VARIANT_CONTROL = 0xC0000510;

// eFuse header words that select the chip variants with extra control writes.
constexpr std::uint32_t CHIP_ID_VARIANT_A = 0x74000000;
constexpr std::uint32_t CHIP_ID_VARIANT_B = 0x7C000000;

constexpr bool is_variant(std::uint32_t chip_id) {
    return chip_id == CHIP_ID_VARIANT_A || chip_id == CHIP_ID_VARIANT_B;
}

}  // namespace velmo
