// Chip registers that the console reaches directly through xolt_read_reg and
// xolt_write_reg: the chip's register map (shared with the library and the
// simulated board), and the values the console writes there.
#pragma once

#include "varimon/chip_registers.h"

#include <cstdint>

namespace deve::reg {

using namespace varimon;

// Manual standby with 2.4 GHz transmit gain index 3 (ADR_MODE_REGISTER): the
// state OPEN leaves.
constexpr std::uint32_t kModeManualStandbyGain3 =
    RG_MODE_MANUAL.prep(1) | RG_MODE.prep(MODE_STANDBY) | RG_TX_GAIN_2G.prep(3);
static_assert(kModeManualStandbyGain3 == 0x06000004);

// DAC gain (ADR_DAC_GAIN_5G): the 5 GHz codes' bytes.
constexpr std::uint32_t kEveryByte = 0x01010101;  // a code repeated in all four bytes
constexpr unsigned kDac5800Shift = 0;
constexpr unsigned kDac5500Shift = 8;
constexpr unsigned kDac5200Shift = 16;
constexpr std::uint32_t kDac5200Keep = 0xFF00FFFF;
constexpr std::uint32_t kDac5500And5800Keep = 0xFFFF0000;

// Frequency-offset trim (ADR_FREQ_OFFSET): both copies written with one trim.
constexpr std::uint32_t kFreqOffsetKeep = RG_FREQ_OFFSET_LOW.keep() & RG_FREQ_OFFSET_HIGH.keep();
constexpr unsigned kFreqOffsetShiftLow = RG_FREQ_OFFSET_LOW.low;
constexpr unsigned kFreqOffsetShiftHigh = RG_FREQ_OFFSET_HIGH.low;
static_assert(kFreqOffsetKeep == 0xFE0100FF);

// Written to ADR_PKTGEN_FRAME when a test starts.
constexpr std::uint32_t kTxFrameControlStart = 0x00000400;

// The receive counters' count (ADR_RX_11B_ERRORS and the others).
constexpr std::uint32_t kRxCountMask = RG_RX_COUNT.mask();

// Transmit-path word written at the end of OPEN.
constexpr std::uint32_t ADR_TX_PATH_E134 = 0xCCB0E134;
constexpr std::uint32_t kTxPathE134Open = 0x00100010;

}  // namespace deve::reg
