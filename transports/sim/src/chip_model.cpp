#include "chip_model.h"

#include "calibration_engine.h"
#include "efuse_controller.h"
#include "iq_analysis.h"
#include "packet_generator.h"
#include "radio_state.h"
#include "rx_counters.h"
#include "temperature_sensor.h"

#include "varimon/chip_registers.h"

namespace xolt {

using varimon::ADR_CHIP_REVISION;

RegisterFile::RegisterFile(const BoardSettings &settings) {
    // Reset values of the registers that have a non-zero one.
    values_[ADR_CHIP_REVISION] = settings.revision;
}

std::uint32_t RegisterFile::get(std::uint32_t address) const {
    const auto it = values_.find(address);
    return it == values_.end() ? 0u : it->second;
}

void RegisterFile::set(std::uint32_t address, std::uint32_t value) { values_[address] = value; }

ChipModel::ChipModel(const BoardSettings &settings, FuseFile &fuse_file)
    : settings_(settings), registers_(settings) {
    blocks_.push_back(std::make_unique<EfuseController>(settings_, registers_, fuse_file));
    // The radio state comes first: it follows the channel writes that the
    // calibration engine's log reads.
    auto radio = std::make_unique<RadioState>(registers_);
    const RadioState &state = *radio;
    blocks_.push_back(std::move(radio));
    blocks_.push_back(std::make_unique<PacketGenerator>(registers_, state));
    blocks_.push_back(std::make_unique<RxCounters>(settings_, state));
    blocks_.push_back(std::make_unique<CalibrationEngine>(settings_, state));
    blocks_.push_back(std::make_unique<TemperatureSensor>(settings_, registers_, state));
    blocks_.push_back(std::make_unique<IqAnalysis>(settings_, registers_, state));
}

ChipModel::~ChipModel() = default;

Block *ChipModel::owner(std::uint32_t address) const {
    for (const auto &b : blocks_) {
        if (b->owns(address)) {
            return b.get();
        }
    }
    return nullptr;
}

void ChipModel::settle() {
    const Clock::time_point now = Clock::now();
    for (const auto &b : blocks_) {
        b->settle(now);
    }
}

std::uint32_t ChipModel::read(std::uint32_t address) {
    settle();
    if (Block *b = owner(address)) {
        return b->read(address);
    }
    return registers_.get(address);
}

void ChipModel::write(std::uint32_t address, std::uint32_t value) {
    settle();
    if (Block *b = owner(address)) {
        b->write(address, value);
        return;
    }
    registers_.set(address, value);
    for (const auto &b : blocks_) {
        b->observe(address, value);
    }
}

}  // namespace xolt
