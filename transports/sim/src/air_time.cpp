#include "air_time.h"

#include <array>
#include <cmath>

namespace xolt {

using namespace radio;

namespace {

// 11b (DSSS/CCK): long preamble and PLCP header, then the PSDU at the rate.
constexpr double CCK_PREAMBLE_US = 192.0;
constexpr std::array<double, 4> CCK_MBPS = {1.0, 2.0, 5.5, 11.0};

// OFDM: 4 us symbols carrying SERVICE (16 bits), PSDU and tail (6 bits).
constexpr double OFDM_SYMBOL_US = 4.0;
constexpr double SERVICE_AND_TAIL_BITS = 16.0 + 6.0;
// Legacy preamble and SIGNAL field (11g).
constexpr double OFDM_PREAMBLE_US = 20.0;
// HT mixed-format preamble: legacy part, HT-SIG, HT-STF and one HT-LTF.
constexpr double HT_PREAMBLE_US = 36.0;

// Data bits per OFDM symbol by rate or MCS index.
using BitsPerSymbol = std::array<double, 8>;
constexpr BitsPerSymbol OFDM_DBPS = {24, 36, 48, 72, 96, 144, 192, 216};  // 6 to 54 Mb/s
constexpr BitsPerSymbol HT20_DBPS = {26, 52, 78, 104, 156, 208, 234, 260};
constexpr BitsPerSymbol HT40_DBPS = {54, 108, 162, 216, 324, 432, 486, 540};

constexpr double FRAME_BITS = 8.0 * TEST_FRAME_BYTES;

double ofdm_airtime(double preamble_us, double bits_per_symbol) {
    return preamble_us + OFDM_SYMBOL_US * std::ceil((FRAME_BITS + SERVICE_AND_TAIL_BITS) / bits_per_symbol);
}

}  // namespace

std::optional<double> frame_airtime_us(PhyRate rate) {
    switch (rate.format) {
    case Format::CCK:
        if (rate.index >= CCK_MBPS.size()) {
            return std::nullopt;
        }
        return CCK_PREAMBLE_US + std::ceil(FRAME_BITS / CCK_MBPS[rate.index]);
    case Format::OFDM:
        return ofdm_airtime(OFDM_PREAMBLE_US, OFDM_DBPS[rate.index]);
    case Format::HT:
        return ofdm_airtime(HT_PREAMBLE_US, rate.forty ? HT40_DBPS[rate.index] : HT20_DBPS[rate.index]);
    case Format::RESERVED:
        break;
    }
    return std::nullopt;
}

}  // namespace xolt
