#include "chip_model.h"

#include "efuse_controller.h"

namespace xolt {

namespace {

constexpr std::uint32_t ADR_CHIP_REVISION = 0xC0000010;

}  // namespace

RegisterFile::RegisterFile(const BoardSettings &settings) {
    // Reset values of the registers that have a non-zero one.
    values_[ADR_CHIP_REVISION] = settings.revision;
}

std::uint32_t RegisterFile::get(std::uint32_t address) const {
    const auto it = values_.find(address);
    return it == values_.end() ? 0u : it->second;
}

void RegisterFile::set(std::uint32_t address, std::uint32_t value) { values_[address] = value; }

ChipModel::ChipModel(const BoardSettings &settings) : settings_(settings), registers_(settings) {
    blocks_.push_back(std::make_unique<EfuseController>(settings_, registers_));
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

std::uint32_t ChipModel::read(std::uint32_t address) {
    if (Block *b = owner(address)) {
        return b->read(address);
    }
    return registers_.get(address);
}

void ChipModel::write(std::uint32_t address, std::uint32_t value) {
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
