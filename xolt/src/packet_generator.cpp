#include "packet_generator.h"

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

PacketGenerator::PacketGenerator(const RegisterFile &registers, const RadioState &radio)
    : registers_(registers), radio_(radio), last_(Clock::now()) {}

bool PacketGenerator::owns(std::uint32_t address) const {
    return address == ADR_TX_COUNT_11B || address == ADR_TX_COUNT_OFDM;
}

std::uint32_t PacketGenerator::read(std::uint32_t address) {
    return address == ADR_TX_COUNT_11B ? count_11b_ : count_ofdm_;
}

void PacketGenerator::write(std::uint32_t, std::uint32_t) {
    // The counters are read only.
}

std::optional<double> PacketGenerator::period_us() const {
    const auto airtime = frame_airtime_us(decode_rate(radio_.rate_word()));
    if (!airtime) {
        return std::nullopt;
    }
    const std::uint32_t control = registers_.get(ADR_PKTGEN_CONTROL);
    const std::uint32_t pit = RG_PIT_LOW.get(control) | (RG_PIT_HIGH.get(control) << PIT_LOW_BITS);
    return *airtime + pit;
}

void PacketGenerator::settle(Clock::time_point now) {
    const double elapsed_us = std::chrono::duration<double, std::micro>(now - last_).count();
    last_ = now;
    const auto period = period_us();
    if (!radio_.on_air() || !period) {
        in_flight_us_ = 0.0;  // a frame cut off by a stop is not counted
        return;
    }
    in_flight_us_ += elapsed_us;
    const double frames = std::floor(in_flight_us_ / *period);
    in_flight_us_ -= frames * *period;
    // Counters wrap at 2^32 like the chip's.
    const auto sent = static_cast<std::uint32_t>(static_cast<std::uint64_t>(frames));
    if (decode_rate(radio_.rate_word()).format == Format::CCK) {
        count_11b_ += sent;
    } else {
        count_ofdm_ += sent;
    }
}

}  // namespace xolt
