#include "packet_generator.h"

#include "air_time.h"

#include <cmath>

namespace xolt {

using namespace radio;

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
    const std::uint32_t pit = RG_PKTGEN_PIT_LOW.get(control) | (RG_PKTGEN_PIT_HIGH.get(control) << PIT_LOW_BITS);
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
