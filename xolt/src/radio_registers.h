// Radio registers that more than one block of the simulated chip follows,
// with their fields. Registers that one block alone owns are named in that
// block's file.
#pragma once

#include <cstdint>

namespace xolt::radio {

// A register field: a contiguous run of bits.
struct Field {
    unsigned low;
    unsigned width;

    constexpr std::uint32_t mask() const {
        return (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u)) << low;
    }
    constexpr std::uint32_t prep(std::uint32_t value) const { return (value << low) & mask(); }
    constexpr std::uint32_t get(std::uint32_t reg) const { return (reg & mask()) >> low; }
};

// Calibration engine's mode register.
constexpr std::uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
constexpr Field RG_MODE_MANUAL{2, 1};
constexpr Field RG_MODE{8, 3};
constexpr Field RG_CAL_INDEX{12, 4};

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

// Synthesizer: 2.4 GHz channel number, and the 5 GHz channel table.
constexpr std::uint32_t ADR_SX_2G_CHANNEL = 0xCCB0A464;
constexpr Field RG_2G_CHANNEL{11, 8};
constexpr std::uint32_t ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE = 0xCCB0A580;
constexpr Field RG_5G_CHANNEL{8, 8};

// Frequency-offset trim of the crystal (the first of its two copies).
constexpr std::uint32_t ADR_FREQ_OFFSET = 0xCCB0B000;
constexpr Field RG_FREQ_OFFSET{8, 8};

// Packet generator control: transmit on, and the 14-bit PIT (gap between
// frames in microseconds) split over two fields.
constexpr std::uint32_t ADR_PKTGEN_CONTROL = 0xCCB0E018;
constexpr Field RG_PKTGEN_ON{0, 1};
constexpr Field RG_PIT_LOW{2, 6};    // PIT bits 0-5
constexpr Field RG_PIT_HIGH{24, 8};  // PIT bits 6-13
constexpr unsigned PIT_LOW_BITS = 6;

// Transmit rate word of the packet generator (the receiver's test source
// follows it too).
constexpr std::uint32_t ADR_TX_RATE = 0xCCB0E00C;
constexpr Field RG_RATE_FORMAT{16, 2};
constexpr Field RG_RATE_40M{21, 1};
constexpr Field RG_RATE_INDEX{24, 3};

enum class Format : std::uint32_t { CCK = 0, OFDM = 1, HT = 2, RESERVED = 3 };

// A decoded rate word.
struct PhyRate {
    Format format;
    std::uint32_t index;  // rate (CCK, OFDM) or MCS (HT) index
    bool forty;           // 40 MHz (HT only)
};

constexpr PhyRate decode_rate(std::uint32_t word) {
    return PhyRate{static_cast<Format>(RG_RATE_FORMAT.get(word)), RG_RATE_INDEX.get(word),
                   RG_RATE_40M.get(word) != 0};
}

}  // namespace xolt::radio
