#include "temperature_sensor.h"

#include "radio_registers.h"

#include <algorithm>
#include <cmath>

namespace xolt {

using namespace radio;

namespace {

constexpr double CELSIUS_PER_CODE = 2.5;
constexpr double ZERO_CELSIUS_CODE = 31.0;
constexpr double MAX_CODE = 63.0;

std::uint32_t code_of(double celsius) {
    const double code = std::round(celsius / CELSIUS_PER_CODE) + ZERO_CELSIUS_CODE;
    return static_cast<std::uint32_t>(std::clamp(code, 0.0, MAX_CODE));
}

}  // namespace

TemperatureSensor::TemperatureSensor(const BoardSettings &settings, RegisterFile &registers,
                                     const RadioState &radio)
    : settings_(settings), registers_(registers), radio_(radio), last_(Clock::now()),
      die_celsius_(settings.ambient_c) {}

std::uint32_t TemperatureSensor::read(std::uint32_t address) {
    if (RG_TEMP_SENSOR_ON.get(registers_.get(ADR_TEMP_SENSOR_CONTROL)) != 0) {
        code_ = code_of(die_celsius_);
    }
    return (registers_.get(address) & ~RG_TEMP_CODE.mask()) | RG_TEMP_CODE.prep(code_);
}

void TemperatureSensor::write(std::uint32_t address, std::uint32_t value) {
    registers_.set(address, value & ~RG_TEMP_CODE.mask());  // the code is read only
}

void TemperatureSensor::settle(Clock::time_point now) {
    const double elapsed_ms = std::chrono::duration<double, std::milli>(now - last_).count();
    last_ = now;
    const double target = settings_.ambient_c + (radio_.on_air() ? settings_.tx_temperature_rise_c : 0.0);
    const double tau_ms = std::max(1.0, static_cast<double>(settings_.thermal_time_constant_ms));
    die_celsius_ = target + (die_celsius_ - target) * std::exp(-elapsed_ms / tau_ms);
}

}  // namespace xolt
