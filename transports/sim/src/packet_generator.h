// The transmit packet generator: while the radio is in a transmit mode and
// the generator is on, it sends fixed-length test frames back to back, each
// followed by the PIT gap, at the PHY rate of the rate word. Every frame sent
// advances the 32-bit transmitted-frame counter of its kind (11b for CCK
// frames, OFDM for 11g and 11n frames). The counters keep their value when
// transmission stops and are cleared only at power-up; software cannot write
// them.
#pragma once

#include "chip_model.h"
#include "radio_registers.h"
#include "radio_state.h"

#include <cstdint>
#include <optional>

namespace xolt {

class PacketGenerator : public Block {
public:
    PacketGenerator(const RegisterFile &registers, const RadioState &radio);

    bool owns(std::uint32_t address) const override;
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void settle(Clock::time_point now) override;

private:
    // Frame period (air time plus PIT) in microseconds, empty when the rate
    // word names no rate.
    std::optional<double> period_us() const;

    const RegisterFile &registers_;
    const RadioState &radio_;
    Clock::time_point last_;
    double in_flight_us_ = 0.0;  // time already spent on the frame in flight
    std::uint32_t count_11b_ = 0;
    std::uint32_t count_ofdm_ = 0;
};

}  // namespace xolt
