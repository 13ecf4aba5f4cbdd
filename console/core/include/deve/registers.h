// Chip registers that the console reaches directly through xolt_read_reg and
// xolt_write_reg, with the values it writes there.
#pragma once

#include <cstdint>

namespace deve::reg {

// Mode register: RG_MODE_MANUAL (bit 2), RG_MODE (bits 8-10, 0 = standby),
// 2.4 GHz transmit gain index (bits 25-28).
constexpr std::uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
// Manual standby with 2.4 GHz transmit gain index 3: the state OPEN leaves.
constexpr std::uint32_t kModeManualStandbyGain3 = 0x06000004;

// Synthesizer control word; bit 15 powers the on-chip sensor.
constexpr std::uint32_t ADR_SX_CONTROL = 0xCCB0A408;
constexpr std::uint32_t RG_SENSOR_ENABLE = 0x00008000;
// Sensor supply; bit 28 on while the sensor is read.
constexpr std::uint32_t ADR_SENSOR_SUPPLY = 0xCCB0A44C;
constexpr std::uint32_t RG_SENSOR_SUPPLY = 0x10000000;
// Sensor result: the 6-bit code in bits 24-29.
constexpr std::uint32_t ADR_SENSOR_RESULT = 0xCCB0A544;
constexpr unsigned kSensorCodeShift = 24;
constexpr std::uint32_t kSensorCodeMask = 0x3F;

// The two transmit-path words loaded by the register table and rewritten by
// the pre-distortion calibration; the engineering controls write them raw.
constexpr std::uint32_t ADR_TX_A62C = 0xCCB0A62C;
constexpr std::uint32_t ADR_TX_A630 = 0xCCB0A630;

// Pre-distortion control: bit 0 = pre-distortion on.
constexpr std::uint32_t ADR_DPD_CONTROL = 0xCCB0AD1C;

// DAC gain: 5 GHz codes one per byte (5800 MHz in bits 0-7, 5500 MHz in 8-15,
// 5200 MHz in 16-23); 2.4 GHz code in bits 0-7 with bit 20 set by the DAC list.
constexpr std::uint32_t ADR_DAC_GAIN_5G = 0xCCB0ADA8;
constexpr std::uint32_t ADR_DAC_GAIN_2G = 0xCCB0ADAC;
constexpr std::uint32_t RG_DAC_GAIN_2G_ENABLE = 0x00100000;
constexpr std::uint32_t kEveryByte = 0x01010101;  // a code repeated in all four bytes
constexpr unsigned kDac5800Shift = 0;
constexpr unsigned kDac5500Shift = 8;
constexpr unsigned kDac5200Shift = 16;
constexpr std::uint32_t kDac5200Keep = 0xFF00FFFF;
constexpr std::uint32_t kDac5500And5800Keep = 0xFFFF0000;

// Frequency-offset trim: two 8-bit copies, bits 8-15 and 17-24.
constexpr std::uint32_t ADR_FREQ_OFFSET = 0xCCB0B000;
constexpr std::uint32_t kFreqOffsetKeep = 0xFE0100FF;
constexpr unsigned kFreqOffsetShiftLow = 8;
constexpr unsigned kFreqOffsetShiftHigh = 17;

// Transmit frame control, written 0x400 when a test starts.
constexpr std::uint32_t ADR_TX_FRAME_CONTROL = 0xCCB0E020;
constexpr std::uint32_t kTxFrameControlStart = 0x00000400;

// Frame counters of the packet generator (32 bits) and of the two receive
// counter blocks (frames in error and all frames, low 16 bits), one set for
// 11b and one for OFDM frames.
constexpr std::uint32_t ADR_TX_COUNT_11B = 0xCCB0E7C0;
constexpr std::uint32_t ADR_TX_COUNT_OFDM = 0xCCB0EFC0;
constexpr std::uint32_t ADR_RX_11B_ERRORS = 0xCCB0EBE8;
constexpr std::uint32_t ADR_RX_11B_TOTAL = 0xCCB0EBEC;
constexpr std::uint32_t ADR_RX_OFDM_ERRORS = 0xCCB0F3E8;
constexpr std::uint32_t ADR_RX_OFDM_TOTAL = 0xCCB0F3EC;
constexpr std::uint32_t kRxCountMask = 0x0000FFFF;
// The receive counter blocks' control words: RG_RX_COUNTING set, the block
// counts; cleared, it stops and keeps its counts (set again, it restarts
// from zero).
constexpr std::uint32_t ADR_RX_11B_CONTROL = 0xCCB0EBF8;
constexpr std::uint32_t ADR_RX_OFDM_CONTROL = 0xCCB0F3F8;
constexpr std::uint32_t RG_RX_COUNTING = 0x00100000;

// Transmit-path word written at the end of OPEN.
constexpr std::uint32_t ADR_TX_PATH_E134 = 0xCCB0E134;
constexpr std::uint32_t kTxPathE134Open = 0x00100010;

// 11b rate gain: bit 16 set, gain code in bits 0-7.
constexpr std::uint32_t ADR_BRATE_GAIN = 0xCCB0E180;
constexpr std::uint32_t RG_BRATE_GAIN_ENABLE = 0x00010000;

}  // namespace deve::reg
