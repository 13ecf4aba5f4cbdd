// The chip's register map, as far as this project reaches it from more than
// one side: the library, the console's core, deve-cli and the simulated
// board's chip model all take these addresses and fields from here, so a
// misspelt address cannot hide in one copy. A register that one block alone
// uses is named in that block's file.
//
// Internal to this project: not part of the library's C interface nor of the
// transport's, and not installed.
#pragma once

#include <cstdint>

namespace varimon {

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

// ---- Calibration engine's mode register ---------------------------------------
constexpr std::uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
constexpr Field RG_MODE_MANUAL{2, 1};
constexpr Field RG_MODE{8, 3};
constexpr Field RG_CAL_INDEX{12, 4};
constexpr Field RG_TX_GAIN_2G{25, 4};  // 2.4 GHz transmit gain index

// RG_MODE values.
enum Mode : std::uint32_t {
    MODE_STANDBY = 0,
    MODE_CALIBRATION = 1,
    MODE_TX_2G = 2,
    MODE_RX_2G = 3,
    MODE_TX_5G = 6,
    MODE_RX_5G = 7,
};

// RG_CAL_INDEX values of the pre-distortion calibrations, and none.
enum CalIndex : std::uint32_t {
    CAL_IDX_NONE = 0,
    CAL_IDX_WIFI2P4G_PADPD = 7,
    CAL_IDX_WIFI5G_PADPD = 15,
};

// ---- Synthesizer ----------------------------------------------------------------
// Control word rewritten on every retune and by the temperature sensor; bit 15
// powers the sensor.
constexpr std::uint32_t ADR_SX_CONTROL = 0xCCB0A408;
constexpr Field RG_SX_TEMP_SENSOR_ON{15, 1};
// 2.4 GHz channel number (and the crystal code in bits 20-22).
constexpr std::uint32_t ADR_SX_2G_CHANNEL = 0xCCB0A464;
constexpr Field RG_2G_CHANNEL{11, 8};
// 5 GHz channel table.
constexpr std::uint32_t ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE = 0xCCB0A580;
constexpr Field RG_5G_CHANNEL{8, 8};

// ---- Temperature sensor -----------------------------------------------------------
// Sensor supply: bit 28 on while the sensor is read.
constexpr std::uint32_t ADR_TEMP_SENSOR_CONTROL = 0xCCB0A44C;
constexpr Field RG_TEMP_SENSOR_ON{28, 1};
// The 6-bit sensor code.
constexpr std::uint32_t ADR_TEMP_SENSOR_READING = 0xCCB0A544;
constexpr Field RG_TEMP_CODE{24, 6};

// ---- Transmit path ------------------------------------------------------------------
// The two RF set-up words the register table loads and the pre-distortion
// calibration rewrites.
constexpr std::uint32_t ADR_RF_SETUP_A62C = 0xCCB0A62C;
constexpr std::uint32_t ADR_RF_SETUP_A630 = 0xCCB0A630;

// DAC gain codes: 5 GHz one per byte (5800 MHz in bits 0-7, 5500 MHz in 8-15,
// 5200 MHz in 16-23); 2.4 GHz in bits 0-7, with bit 20 set by the DAC list.
constexpr std::uint32_t ADR_DAC_GAIN_5G = 0xCCB0ADA8;
constexpr std::uint32_t ADR_DAC_GAIN_2G = 0xCCB0ADAC;
constexpr Field RG_DAC_GAIN_2G_ENABLE{20, 1};

// 11b rate gain: gain code in bits 0-7, bit 16 set.
constexpr std::uint32_t ADR_11B_GAIN = 0xCCB0E180;
constexpr Field RG_11B_GAIN_ENABLE{16, 1};

// ---- Pre-distortion ------------------------------------------------------------------
// Control: bit 0 enables the PADPD tables.
constexpr std::uint32_t ADR_DPD_CONTROL = 0xCCB0AD1C;
constexpr Field RG_DPD_ENABLE{0, 1};
// First register of each AM-AM and AM-PM table: 2.4 GHz, and the 5 GHz
// sub-bands calibrated at channels 40, 100 and 160.
constexpr std::uint32_t ADR_DPD_AM_AM_2G = 0xCCB0AD20;
constexpr std::uint32_t ADR_DPD_AM_PM_2G = 0xCCB0AD70;
constexpr std::uint32_t ADR_DPD_AM_AM_5G_CH40 = 0xCCB0A980;
constexpr std::uint32_t ADR_DPD_AM_PM_5G_CH40 = 0xCCB0A9C0;
constexpr std::uint32_t ADR_DPD_AM_AM_5G_CH100 = 0xCCB0AA00;
constexpr std::uint32_t ADR_DPD_AM_PM_5G_CH100 = 0xCCB0AA40;
constexpr std::uint32_t ADR_DPD_AM_AM_5G_CH160 = 0xCCB0AA80;
constexpr std::uint32_t ADR_DPD_AM_PM_5G_CH160 = 0xCCB0AAC0;

// Baseband tone generator: mode (bits 0-1) and frequency word (bits 16-31).
constexpr std::uint32_t ADR_TONE_GEN = 0xCCB0AC08;
// RX IQ analysis: control (bit 8 pulses one measurement) and its result.
constexpr std::uint32_t ADR_RX_IQ_ANALYSIS_CONTROL = 0xCCB0AC0C;
constexpr Field RG_RX_IQ_TRIGGER{8, 1};
constexpr std::uint32_t ADR_RX_IQ_ANALYSIS_RESULT = 0xCCB0AC10;
constexpr Field RO_AM{16, 9};
constexpr Field RO_PM{0, 13};
// TX IQ control: transmit scale, tone generator control and TX IQ source.
constexpr std::uint32_t ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG = 0xCCB0AC44;
constexpr Field RG_TX_SCALE{0, 8};

// ---- Crystal and power ----------------------------------------------------------------
// Frequency-offset trim, two 8-bit copies.
constexpr std::uint32_t ADR_FREQ_OFFSET = 0xCCB0B000;
constexpr Field RG_FREQ_OFFSET_LOW{8, 8};
constexpr Field RG_FREQ_OFFSET_HIGH{17, 8};

// Power-management word: bit 0 DC-DC (1) or LDO (0); bit 16 the eFuse
// programming supply, held on for the length of a program cycle.
constexpr std::uint32_t ADR_PMU_CONTROL = 0xCCB0B008;
constexpr Field RG_DCDC_ENABLE{0, 1};
constexpr Field RG_EFUSE_PROGRAM_POWER{16, 1};

// ---- Packet generator ------------------------------------------------------------------
// Bandwidth word, and the rate word (the receiver's test source follows it
// too): rate or MCS index, format, 40 MHz flag.
constexpr std::uint32_t ADR_PHY_BANDWIDTH = 0xCCB0E000;
constexpr std::uint32_t ADR_TX_RATE = 0xCCB0E00C;
constexpr Field RG_RATE_INDEX{24, 3};
constexpr Field RG_RATE_FORMAT{16, 2};
constexpr Field RG_RATE_40MHZ{21, 1};

// Control: transmit on, and the 14-bit PIT (gap between frames in
// microseconds) split over two fields.
constexpr std::uint32_t ADR_PKTGEN_CONTROL = 0xCCB0E018;
constexpr Field RG_PKTGEN_TX_ON{0, 1};
constexpr Field RG_PKTGEN_PIT_LOW{2, 6};    // PIT bits 0-5
constexpr Field RG_PKTGEN_PIT_HIGH{24, 8};  // PIT bits 6-13
constexpr unsigned PIT_LOW_BITS = 6;
constexpr std::uint32_t ADR_PKTGEN_COUNT_LIMIT = 0xCCB0E01C;
constexpr std::uint32_t ADR_PKTGEN_FRAME = 0xCCB0E020;

// ---- Frame counters ----------------------------------------------------------------------
// Transmitted frames (32 bits), and the two receive counter blocks: frames in
// error and all frames (low 16 bits), and the block's control word (bit 20
// counting). One set for 11b (CCK) frames, one for OFDM frames.
constexpr std::uint32_t ADR_TX_COUNT_11B = 0xCCB0E7C0;
constexpr std::uint32_t ADR_TX_COUNT_OFDM = 0xCCB0EFC0;
constexpr std::uint32_t ADR_RX_11B_ERRORS = 0xCCB0EBE8;
constexpr std::uint32_t ADR_RX_11B_TOTAL = 0xCCB0EBEC;
constexpr std::uint32_t ADR_RX_11B_CONTROL = 0xCCB0EBF8;
constexpr std::uint32_t ADR_RX_OFDM_ERRORS = 0xCCB0F3E8;
constexpr std::uint32_t ADR_RX_OFDM_TOTAL = 0xCCB0F3EC;
constexpr std::uint32_t ADR_RX_OFDM_CONTROL = 0xCCB0F3F8;
constexpr Field RG_RX_COUNT{0, 16};
constexpr Field RG_RX_COUNT_ENABLE{20, 1};

// ---- Chip ------------------------------------------------------------------------------------
// Chip revision word ("C600" in ASCII, lowest byte first, on one revision).
constexpr std::uint32_t ADR_CHIP_REVISION = 0xC0000010;

// ---- eFuse controller ----------------------------------------------------------------------
// A 256-bit one-time-programmable array behind eight data registers. A strobe
// starts a read cycle (the array into the data registers) or a program cycle
// (the data registers ORed into the array, only while program enable is 1 and
// the programming supply of ADR_PMU_CONTROL is on); the status turns non-zero
// once the cycle is done.
constexpr std::uint32_t ADR_EFUSE_STATUS = 0xC200010C;
constexpr std::uint32_t ADR_EFUSE_PROGRAM_STROBE = 0xC2000110;  // write 1: start a program cycle
constexpr std::uint32_t ADR_EFUSE_READ_STROBE = 0xC2000114;     // write 1: start a read cycle
constexpr std::uint32_t ADR_EFUSE_PROGRAM_ENABLE = 0xC2000118;  // 1 for the length of a program cycle
constexpr std::uint32_t ADR_EFUSE_DATA0 = 0xC2000120;           // data word i at ADR_EFUSE_DATA0 + 4i
constexpr std::uint32_t EFUSE_DATA_WORDS = 8;
constexpr std::uint32_t EFUSE_STATUS_DONE = 1;  // what the controller reports once a cycle is done

}  // namespace varimon
