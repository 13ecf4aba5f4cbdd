// Channel, rate and gain settings: the radio's operating point for the TX/RX
// tests and the calibrations. Each export is a short fixed sequence of
// register accesses; the chip's registers are the only state.
#include "bus.h"
#include "velmo/gain_codes.h"
#include "registers.h"
#include "settings.h"
#include "velmo/velmo.h"

#include <array>
#include <cstdint>

namespace velmo {

namespace {

constexpr std::uint32_t bit(unsigned n) { return 1u << n; }

// ---- 0xCCB0A400 ADR_MODE_REGISTER ----------------------------------------
// Bits 3, 5 and 6 have no documented name; the transmit gain settings clear
// them.
constexpr std::uint32_t RG_MODE_BIT3 = bit(3);
constexpr std::uint32_t RG_MODE_BIT5 = bit(5);
constexpr std::uint32_t RG_MODE_BIT6 = bit(6);
// The 2.4 GHz gain setting clears bits 24-30 around the gain index (25-28).
constexpr Field RG_TX_GAIN_2G_CLEAR{24, 7};

// Held in the mode register while the synthesizer retunes: manual standby,
// with 2.4 GHz gain index 3 and bit 6.
constexpr std::uint32_t kModeRetune = RG_MODE_MANUAL.prep(1) | RG_MODE.prep(MODE_STANDBY) |
                                      RG_TX_GAIN_2G.prep(3) | RG_MODE_BIT6;
static_assert(kModeRetune == 0x06000044);

// ---- 0xCCB0A408 synthesizer control --------------------------------------
constexpr std::uint32_t kSxControl = 0x20001557;
constexpr std::uint32_t RG_SX_CONTROL_CH11_14 = bit(23);  // set on channels 11 to 14
constexpr std::int32_t kFirstUpperBandChannel = 11;
constexpr std::int32_t kLastUpperBandChannel = 14;

// ---- 0xCCB0A464 2.4 GHz synthesizer --------------------------------------
constexpr std::uint32_t RG_SX_2G_BIT3 = bit(3);  // set on every 2.4 GHz retune
constexpr std::uint32_t RG_SX_2G_BIT6 = bit(6);  // cleared on every 2.4 GHz retune

// Channel numbers from here up are 5 GHz channels.
constexpr std::int32_t kFirst5gChannel = 20;

// ---- 0xCCB0A580 5 GHz synthesizer channel table --------------------------
constexpr std::uint32_t RG_5G_CHANNEL_LOAD = bit(4);

// ---- 0xCCB0A634 ADR_5G_TX_GAIN_PAFB_CONTROL ------------------------------
// The 5 GHz transmit gain index, in four 7-bit copies.
constexpr std::array<Field, 4> RG_5G_TX_GAIN{{{5, 7}, {12, 7}, {19, 7}, {26, 7}}};

// ---- 0xCCB0ADA8 / 0xCCB0ADAC DAC gain ------------------------------------
constexpr std::uint32_t kEveryByte = 0x01010101;  // a code repeated in all four bytes

// ---- Crystal selection ----------------------------------------------------
// Crystal code in bits 16-18; written whole with the code for the crystal.
constexpr std::uint32_t ADR_XTAL_CODE = 0xCCB0B080;
// Crystal control word, rewritten after every crystal change.
constexpr std::uint32_t ADR_XTAL_CONTROL = 0xCCB0B004;
constexpr std::uint32_t kXtalControl = 0xA51A8820;

// Whole-register words for ADR_SX_2G_CHANNEL (crystal code in bits 20-22,
// channel field 0) and ADR_XTAL_CODE (crystal code in bits 16-18).
struct XtalRow {
    std::uint32_t sx_2g;
    std::uint32_t xtal_code;
};

constexpr std::array<XtalRow, 5> kXtalRows{{
    {0x005002E8, 0x0005FFA4},  // 0: 20 MHz
    {0x001002E8, 0x0001FFA4},  // 1: 24 MHz
    {0x006002E8, 0x0006FFA4},  // 2: 25 MHz
    {0x002002E8, 0x0002FFA4},  // 3: 26 MHz
    {0x003002E8, 0x0003FFA4},  // 4: 40 MHz
}};
// Written for any other index.
constexpr XtalRow kXtalOther{0x000002E8, 0x0006FFA4};

// ---- 0xCCB0E000 / 0xCCB0E00C packet generator rate -----------------------
constexpr std::uint32_t kBandwidth20MHz = 0x80010000;
constexpr std::uint32_t kBandwidth40MHz = 0x80018000;

// The rate word: rate or MCS index, format, 40 MHz flag and a format-specific
// low half.
constexpr Field RG_RATE_LOW{0, 16};

enum class RateFormat : std::uint32_t { Cck = 0, Ofdm = 1, Ht = 2 };

constexpr std::uint32_t rate_word(RateFormat format, bool wide, std::uint32_t index) {
    const std::uint32_t low = format == RateFormat::Ht ? 0x1000u : 0x0400u;
    return RG_RATE_INDEX.prep(index) | RG_RATE_FORMAT.prep(static_cast<std::uint32_t>(format)) |
           RG_RATE_40MHZ.prep(wide ? 1u : 0u) | RG_RATE_LOW.prep(low);
}

// A run of consecutive rate codes: the bandwidth word they load and, when
// they have one, the rate word of (code - first) in their format.
struct RateBlock {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t bandwidth;
    bool has_rate_word;
    RateFormat format;
    bool wide;
};

constexpr std::array<RateBlock, 5> kRateBlocks{{
    {0, 3, kBandwidth20MHz, true, RateFormat::Cck, false},    // 1, 2, 5.5, 11 Mb/s
    {4, 6, kBandwidth20MHz, false, RateFormat::Cck, false},   // no rate
    {7, 14, kBandwidth20MHz, true, RateFormat::Ofdm, false},  // 6 to 54 Mb/s
    {15, 22, kBandwidth20MHz, true, RateFormat::Ht, false},   // HT20 MCS0-7
    {31, 38, kBandwidth40MHz, true, RateFormat::Ht, true},    // HT40 MCS0-7
}};
// Codes 23-30 and above 38 belong to no block: only the update pair is written.

static_assert(rate_word(RateFormat::Cck, false, 3) == 0x03000400);
static_assert(rate_word(RateFormat::Ofdm, false, 0) == 0x00010400);
static_assert(rate_word(RateFormat::Ht, false, 7) == 0x07021000);
static_assert(rate_word(RateFormat::Ht, true, 7) == 0x07221000);

const RateBlock *find_rate_block(std::uint32_t code) {
    for (const RateBlock &block : kRateBlocks) {
        if (code >= block.first && code <= block.last) {
            return &block;
        }
    }
    return nullptr;
}

// ---- Transmit patch -------------------------------------------------------
// Chips of this revision (ASCII "C600", lowest byte first) need no patch.
constexpr std::uint32_t kChipRevisionC600 = 0x30303643;

struct RegValue {
    std::uint32_t address;
    std::uint32_t value;
};

constexpr std::array<RegValue, 5> kTxPatch{{
    {0xCCB0A46C, 0x2CA293D6},
    {ADR_FREQ_OFFSET, 0x24844216},  // frequency offset 66 in both fields
    {0xCCB0A40C, 0x44340044},
    {0xCCB0A474, 0x04315445},
    {0xCCB0A468, 0x05C30286},
}};

}  // namespace

void tune_channel(std::int32_t channel) {
    const std::uint32_t ch = static_cast<std::uint32_t>(channel);
    const std::uint32_t saved_mode = reg_read(ADR_MODE_REGISTER);
    reg_write(ADR_MODE_REGISTER, kModeRetune);

    // Read on both paths; only the 2.4 GHz path uses it. The channel number
    // is shifted into place unclipped.
    const std::uint32_t sx_2g = reg_read(ADR_SX_2G_CHANNEL);
    if (channel < kFirst5gChannel) {
        const std::uint32_t kept = sx_2g & ~RG_SX_2G_BIT6 & RG_2G_CHANNEL.keep();
        reg_write(ADR_SX_2G_CHANNEL, kept | (ch << RG_2G_CHANNEL.low) | RG_SX_2G_BIT3);
    } else {
        reg_write(ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE,
                  (ch << RG_5G_CHANNEL.low) | RG_5G_CHANNEL_LOAD);
    }

    const bool upper_band =
        channel >= kFirstUpperBandChannel && channel <= kLastUpperBandChannel;
    reg_write(ADR_SX_CONTROL, upper_band ? (kSxControl | RG_SX_CONTROL_CH11_14) : kSxControl);

    reg_write(ADR_MODE_REGISTER, saved_mode);
}

}  // namespace velmo

using namespace velmo;

extern "C" VELMO_API int32_t rf_set_ch(int32_t channel) {
    return with_chip([&] {
        tune_channel(channel);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_rate(uint32_t code) {
    return with_chip([&] {
        const RateBlock *block = find_rate_block(code);
        if (block != nullptr) {
            reg_write(ADR_PHY_BANDWIDTH, block->bandwidth);
        }
        reg_write(ADR_PHY_UPDATE, PHY_UPDATE_HOLD);
        if (block != nullptr && block->has_rate_word) {
            reg_write(ADR_TX_RATE, rate_word(block->format, block->wide, code - block->first));
        }
        reg_write(ADR_PHY_UPDATE, PHY_UPDATE_APPLY);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_xtal_set(uint32_t index) {
    return with_chip([&] {
        const XtalRow &row = index < kXtalRows.size() ? kXtalRows[index] : kXtalOther;
        reg_write(ADR_SX_2G_CHANNEL, row.sx_2g);
        reg_write(ADR_XTAL_CODE, row.xtal_code);
        reg_write(ADR_XTAL_CONTROL, kXtalControl);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_gain(int32_t band, int32_t gain) {
    return with_chip([&] {
        // The gain index is shifted into place unclipped.
        const std::uint32_t g = static_cast<std::uint32_t>(gain);
        if (band == 0) {
            const std::uint32_t keep =
                ~(RG_MODE_BIT5 | RG_MODE_BIT6 | RG_TX_GAIN_2G_CLEAR.mask());
            reg_rmw(ADR_MODE_REGISTER, keep, g << RG_TX_GAIN_2G.low);
        } else {
            reg_rmw(ADR_MODE_REGISTER, ~(RG_MODE_BIT3 | RG_MODE_BIT6), 0);
            std::uint32_t copies = 0;
            for (const Field &copy : RG_5G_TX_GAIN) {
                copies |= g << copy.low;
            }
            reg_write(ADR_5G_TX_GAIN_PAFB_CONTROL, copies);
        }
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_dac_gain(uint32_t index) {
    return with_chip([&] {
        if (index >= gain_codes::kDac.size()) {
            return -1;
        }
        const std::uint32_t code = gain_codes::kDac[index];
        reg_write(ADR_DAC_GAIN_2G, RG_DAC_GAIN_2G_ENABLE.mask() | code);
        reg_write(ADR_DAC_GAIN_5G, code * kEveryByte);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_freq_offset(int32_t offset) {
    return with_chip([&] {
        // The offset goes into both fields unclipped: a value above 255 spills
        // from the low copy into bit 16 and from the high copy into bits 25 up.
        const std::uint32_t o = static_cast<std::uint32_t>(offset);
        const std::uint32_t keep = RG_FREQ_OFFSET_LOW.keep() & RG_FREQ_OFFSET_HIGH.keep();
        const std::uint32_t set = ((o << RG_FREQ_OFFSET_LOW.low) & RG_FREQ_OFFSET_HIGH.keep()) |
                                  (o << RG_FREQ_OFFSET_HIGH.low);
        reg_rmw(ADR_FREQ_OFFSET, keep, set);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_brate_gain(uint32_t index) {
    return with_chip([&] {
        if (index < gain_codes::kBrate.size()) {
            reg_write(ADR_11B_GAIN, RG_11B_GAIN_ENABLE.mask() | gain_codes::kBrate[index]);
        }
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_sb_txpatch(void) {
    return with_chip([&] {
        if (reg_read(ADR_CHIP_REVISION) == kChipRevisionC600) {
            return 0;
        }
        for (const RegValue &w : kTxPatch) {
            reg_write(w.address, w.value);
        }
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_dcdc_onoff(uint8_t choice) {
    return with_chip([&] {
        // The whole choice byte is ORed in; 1 selects the DC-DC converter.
        reg_rmw(ADR_PMU_CONTROL, RG_DCDC_ENABLE.keep(), choice);
        return 0;
    });
}
