// The die and its temperature sensor. The die starts at the ambient
// temperature; while the transmitter is on the air it heats toward ambient
// plus the transmit rise, and otherwise it cools back toward ambient, both
// as a first-order lag with the board's thermal time constant.
//
// The sensor reports a 6-bit code in bits 24-29 of 0xCCB0A544, one step per
// 2.5 degC with code 31 at 0 degC (clamped to 0..63). It samples the die on
// every read while it is on (bit 28 of 0xCCB0A44C); while it is off, reads
// return the last code it sampled, 0 before it was ever on. The register's
// other bits are plain storage.
#pragma once

#include "chip_model.h"
#include "radio_state.h"
#include "settings.h"

#include <cstdint>

namespace xolt {

class TemperatureSensor : public Block {
public:
    TemperatureSensor(const BoardSettings &settings, RegisterFile &registers, const RadioState &radio);

    bool owns(std::uint32_t address) const override { return address == varimon::ADR_TEMP_SENSOR_READING; }
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void settle(Clock::time_point now) override;

    double die_celsius() const { return die_celsius_; }

private:
    const BoardSettings &settings_;
    RegisterFile &registers_;
    const RadioState &radio_;
    Clock::time_point last_;
    double die_celsius_;
    std::uint32_t code_ = 0;  // last sampled code
};

}  // namespace xolt
