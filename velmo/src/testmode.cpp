// TX/RX test control: the transmit test (packet generator on, continuous
// frames at the current channel, rate and gain) and the receive test (one of
// the two receive counter blocks counting frames and frames in error).
//
// The library keeps no test state: the chip holds it in RG_MODE, the packet
// generator's on bit and the counter controls.
#include "bus.h"
#include "efuse.h"
#include "registers.h"
#include "velmo/velmo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velmo {

namespace {

// ---- Mode register -------------------------------------------------------

// Starting a transmit test clears bits 4-11 (RG_MODE and its neighbours) before
// RG_MODE_MANUAL is set and the transmit mode chosen.
constexpr Field TX_START_MODE_CLEAR{4, 8};
// Stopping the transmit test and starting reception clear bits 8-11 (RG_MODE
// and bit 11).
constexpr Field TEST_MODE_CLEAR{8, 4};

// ---- Packet generator ----------------------------------------------------

// Bits 8-23 of the control word, fixed while the test runs.
constexpr std::uint32_t PKTGEN_FIXED = 0x00550800;
// The generator's built-in PIT value.
constexpr std::uint32_t PKTGEN_DEFAULT_PIT = 15;

constexpr std::uint32_t PKTGEN_START =
    PKTGEN_FIXED | RG_PKTGEN_PIT_LOW.prep(PKTGEN_DEFAULT_PIT) | RG_PKTGEN_TX_ON.prep(1);
constexpr std::uint32_t PKTGEN_STOP = PKTGEN_FIXED | RG_PKTGEN_PIT_LOW.prep(PKTGEN_DEFAULT_PIT);
static_assert(PKTGEN_START == 0x0055083D && PKTGEN_STOP == 0x0055083C,
              "generator control words");

constexpr std::uint32_t PKTGEN_CONTINUOUS = 0xFFFFFFFF;
constexpr std::uint32_t PKTGEN_FRAME_WORD = 0x00000400;

// ---- Receiver --------------------------------------------------------------

constexpr std::uint32_t ADR_READ_BEFORE_RX = 0xCCB0A410;  // read before the settings, value unused
constexpr std::uint32_t ADR_RX_COUNTER_SETUP = 0xCCB0F3FC;
constexpr std::uint32_t RX_COUNTER_SETUP_WORD = 0x00010425;

// The 2.4 GHz channel word is compared on its low 16 bits.
constexpr std::uint32_t CHANNEL_WORD_MASK = 0x0000FFFF;

// The three receiver settings, written in this order.
constexpr std::array<std::uint32_t, 3> ADR_RX_SETTINGS{0xCCB0F040, 0xCCB0F0C4, 0xCCB0F194};

struct RxSettingsRow {
    std::uint32_t channel_word;  // low 16 bits of ADR_SX_2G_CHANNEL
    std::uint32_t bandwidth;     // ADR_PHY_BANDWIDTH
    std::array<std::uint32_t, 3> values;
};

// Channel 13 and channel 11 (bits 11-15 of the channel word) at their
// bandwidth words get their own settings; everything else the default row,
// which is also what the register table loads.
constexpr std::array<RxSettingsRow, 2> RX_SETTINGS_ROWS{{
    {0x6A88, 0x80000000, {0x96977F7F, 0x18023003, 0x19370001}},
    {0x5A88, 0x8000C000, {0xB4B57F7F, 0x18023003, 0x19370001}},
}};
constexpr std::array<std::uint32_t, 3> RX_SETTINGS_DEFAULT{0x7F7F7F7F, 0x30023003, 0x09370001};

// ---- Counter blocks ----------------------------------------------------------

struct CounterBlock {
    std::uint32_t tx_count;   // transmitted frames, 32 bits
    std::uint32_t rx_errors;  // frames received in error, low 16 bits
    std::uint32_t rx_total;   // all frames received, low 16 bits
    std::uint32_t control;
    std::uint32_t counting;
    std::uint32_t stopped;
};

constexpr CounterBlock CCK_BLOCK{ADR_TX_COUNT_11B, ADR_RX_11B_ERRORS,  ADR_RX_11B_TOTAL,
                                 ADR_RX_11B_CONTROL, 0x00100000, 0x00000000};
constexpr CounterBlock OFDM_BLOCK{ADR_TX_COUNT_OFDM, ADR_RX_OFDM_ERRORS, ADR_RX_OFDM_TOTAL,
                                  ADR_RX_OFDM_CONTROL, 0x00100001, 0x00000001};
static_assert(CCK_BLOCK.counting == RG_RX_COUNT_ENABLE.mask() && (OFDM_BLOCK.counting & RG_RX_COUNT_ENABLE.mask()) != 0,
              "a counting block has its enable bit set");

constexpr std::uint32_t RX_COUNT_MASK = 0x0000FFFF;

// Mode 0 picks the 11b (CCK) block, any other value the OFDM block.
constexpr const CounterBlock &block_for(std::int32_t mode) {
    return mode == 0 ? CCK_BLOCK : OFDM_BLOCK;
}

// Both blocks stopped, OFDM first.
void stop_counters() {
    reg_write(OFDM_BLOCK.control, OFDM_BLOCK.stopped);
    reg_write(CCK_BLOCK.control, CCK_BLOCK.stopped);
}

// ---- Variant control word -------------------------------------------------------

enum class VariantEvent : std::size_t {
    TX_START_2G,
    TX_START_5G,
    RX_START_BAND0,
    RX_START_BAND1,
    RX_START_OTHER,
    TX_STOP,
    COUNT,
};

// What each event writes to ADR_VARIANT_CONTROL on each variant; nothing on
// any other chip.
struct VariantWrite {
    std::optional<std::uint32_t> variant_a;  // CHIP_ID_VARIANT_A
    std::optional<std::uint32_t> variant_b;  // CHIP_ID_VARIANT_B
};

constexpr std::array<VariantWrite, static_cast<std::size_t>(VariantEvent::COUNT)> VARIANT_WRITES{{
    {0x00000001, 0x00000001},    // TX_START_2G
    {0x00000041, 0x00000041},    // TX_START_5G
    {0x00000002, 0x00000002},    // RX_START_BAND0
    {0x00000002, 0x00100002},    // RX_START_BAND1
    {0x00000002, std::nullopt},  // RX_START_OTHER
    {0x00000000, 0x00000000},    // TX_STOP
}};

void variant_write(VariantEvent event) {
    const VariantWrite &row = VARIANT_WRITES[static_cast<std::size_t>(event)];
    const std::uint32_t id = efuse::chip_id();
    std::optional<std::uint32_t> value;
    if (id == CHIP_ID_VARIANT_A) {
        value = row.variant_a;
    } else if (id == CHIP_ID_VARIANT_B) {
        value = row.variant_b;
    }
    if (value) {
        reg_write(ADR_VARIANT_CONTROL, *value);
    }
}

const std::array<std::uint32_t, 3> &rx_settings_for(std::uint32_t channel_word, std::uint32_t bandwidth) {
    for (const RxSettingsRow &row : RX_SETTINGS_ROWS) {
        if (row.channel_word == channel_word && row.bandwidth == bandwidth) {
            return row.values;
        }
    }
    return RX_SETTINGS_DEFAULT;
}

}  // namespace

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t rf_tx_start(int32_t band, uint32_t pit) {
    return with_chip([&] {
        const std::uint32_t manual = RG_MODE_MANUAL.prep(1);
        const std::uint32_t standby =
            reg_rmw(ADR_MODE_REGISTER, TX_START_MODE_CLEAR.keep(), manual | RG_MODE.prep(MODE_STANDBY));
        const bool band_2g = band == 0;
        reg_write(ADR_MODE_REGISTER, standby | RG_MODE.prep(band_2g ? MODE_TX_2G : MODE_TX_5G));
        variant_write(band_2g ? VariantEvent::TX_START_2G : VariantEvent::TX_START_5G);

        reg_write(ADR_PKTGEN_FRAME, PKTGEN_FRAME_WORD);
        reg_write(ADR_PKTGEN_COUNT_LIMIT, PKTGEN_CONTINUOUS);
        reg_write(ADR_PKTGEN_CONTROL, PKTGEN_START);

        // 0 keeps the built-in PIT; any other value replaces both fields with
        // its low 14 bits.
        if (pit != 0) {
            const std::uint32_t fields = RG_PKTGEN_PIT_LOW.prep(pit) | RG_PKTGEN_PIT_HIGH.prep(pit >> PIT_LOW_BITS);
            const std::uint32_t keep = ~(RG_PKTGEN_PIT_LOW.mask() | RG_PKTGEN_PIT_HIGH.mask());
            reg_rmw(ADR_PKTGEN_CONTROL, keep, fields);
        }
        return 0;
    });
}

VELMO_API int32_t rf_tx_stop(void) {
    return with_chip([&] {
        reg_rmw(ADR_MODE_REGISTER, TEST_MODE_CLEAR.keep(), RG_MODE_MANUAL.prep(1) | RG_MODE.prep(MODE_STANDBY));
        variant_write(VariantEvent::TX_STOP);
        reg_write(ADR_PKTGEN_CONTROL, PKTGEN_STOP);
        return 0;
    });
}

VELMO_API int32_t tx_packet(int32_t mode, uint32_t *count) {
    return with_chip([&] {
        if (count == nullptr) {
            return -1;
        }
        *count = reg_read(block_for(mode).tx_count);
        return 0;
    });
}

VELMO_API int32_t rf_rx_start(int32_t band, int32_t mode) {
    return with_chip([&] {
        const std::uint32_t bandwidth = reg_read(ADR_PHY_BANDWIDTH);
        const std::uint32_t channel_word = reg_read(ADR_SX_2G_CHANNEL) & CHANNEL_WORD_MASK;
        reg_read(ADR_READ_BEFORE_RX);

        const std::array<std::uint32_t, 3> &settings = rx_settings_for(channel_word, bandwidth);
        for (std::size_t i = 0; i < ADR_RX_SETTINGS.size(); ++i) {
            reg_write(ADR_RX_SETTINGS[i], settings[i]);
        }

        const std::uint32_t manual = RG_MODE_MANUAL.prep(1);
        const std::uint32_t standby =
            reg_rmw(ADR_MODE_REGISTER, TEST_MODE_CLEAR.keep(), manual | RG_MODE.prep(MODE_STANDBY));
        reg_write(ADR_MODE_REGISTER, standby | manual | RG_MODE.prep(band == 0 ? MODE_RX_2G : MODE_RX_5G));
        variant_write(band == 0   ? VariantEvent::RX_START_BAND0
                      : band == 1 ? VariantEvent::RX_START_BAND1
                                  : VariantEvent::RX_START_OTHER);

        reg_write(ADR_RX_COUNTER_SETUP, RX_COUNTER_SETUP_WORD);
        reg_write(ADR_PHY_UPDATE, PHY_UPDATE_APPLY);
        stop_counters();
        const CounterBlock &block = block_for(mode);
        reg_write(block.control, block.counting);
        return 0;
    });
}

VELMO_API int32_t rf_rx_stop(void) {
    return with_chip([&] {
        stop_counters();
        return 0;
    });
}

VELMO_API int32_t rf_rxpkt(int32_t mode, uint32_t *errors, uint32_t *total) {
    return with_chip([&] {
        if (errors == nullptr || total == nullptr) {
            return -1;
        }
        const CounterBlock &block = block_for(mode);
        *errors = reg_read(block.rx_errors) & RX_COUNT_MASK;
        *total = reg_read(block.rx_total) & RX_COUNT_MASK;
        return 0;
    });
}

// Stopping and restarting a block is how its counts are cleared.
VELMO_API int32_t rf_rxpkt_reset(int32_t mode) {
    return with_chip([&] {
        const CounterBlock &block = block_for(mode);
        reg_write(block.control, block.stopped);
        reg_write(block.control, block.counting);
        return 0;
    });
}

}  // extern "C"
