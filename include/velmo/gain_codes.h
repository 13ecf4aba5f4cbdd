// Gain codes of the transmit DAC scaling and of the 11b rate gain. A code is a
// linear amplitude factor with 0x80 as unity: the code for g dB is the nearest
// integer to 128 * 10^(g / 20), in 0.5 dB steps.
//
// Header-only and free of library dependencies, so the console can use the
// same tables as the library.
#pragma once

#include <array>
#include <cstdint>

namespace velmo::gain_codes {

// DAC gain, indices 0-16: -5 dB to +3 dB, gain = (index - 10) * 0.5 dB.
inline constexpr std::array<std::uint8_t, 17> kDac{
    0x48, 0x4C, 0x51, 0x56, 0x5B, 0x60, 0x66, 0x6C, 0x72,
    0x79, 0x80, 0x88, 0x90, 0x98, 0xA1, 0xAB, 0xB5,
};
inline constexpr std::size_t kDacUnityIndex = 10;

// 11b rate gain, indices 0-15: +1.5 dB down to -6 dB, gain = (3 - index) * 0.5 dB.
inline constexpr std::array<std::uint8_t, 16> kBrate{
    0x98, 0x90, 0x88, 0x80, 0x79, 0x72, 0x6C, 0x66,
    0x60, 0x5B, 0x56, 0x51, 0x4C, 0x48, 0x44, 0x40,
};
inline constexpr std::size_t kBrateUnityIndex = 3;

static_assert(kDac[kDacUnityIndex] == 0x80 && kBrate[kBrateUnityIndex] == 0x80,
              "unity gain is code 0x80");

}  // namespace velmo::gain_codes
