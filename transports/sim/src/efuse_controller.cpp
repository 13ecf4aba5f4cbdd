#include "efuse_controller.h"

#include <cstdio>
#include <string>

namespace xolt {

using namespace varimon;

EfuseController::EfuseController(const BoardSettings &settings, RegisterFile &registers, FuseFile &fuse_file)
    : settings_(settings), registers_(registers), fuse_file_(fuse_file) {
    // After power-up the data registers hold the fuse contents.
    data_ = fuse_file_.fuses();
}

bool EfuseController::owns(std::uint32_t address) const {
    return address == ADR_EFUSE_STATUS || address == ADR_EFUSE_PROGRAM_STROBE || address == ADR_EFUSE_READ_STROBE ||
           address == ADR_EFUSE_PROGRAM_ENABLE || (address >= ADR_EFUSE_DATA0 && address < ADR_EFUSE_DATA0 + 4 * DATA_WORDS);
}

std::uint32_t EfuseController::read(std::uint32_t address) {
    switch (address) {
    case ADR_EFUSE_STATUS:
        return status_;
    case ADR_EFUSE_PROGRAM_ENABLE:
        return program_enable_;
    case ADR_EFUSE_PROGRAM_STROBE:
    case ADR_EFUSE_READ_STROBE:
        return 0;  // strobes read as 0
    default:
        return data_[(address - ADR_EFUSE_DATA0) / 4];
    }
}

void EfuseController::write(std::uint32_t address, std::uint32_t value) {
    switch (address) {
    case ADR_EFUSE_STATUS:
        return;  // read only
    case ADR_EFUSE_PROGRAM_ENABLE:
        program_enable_ = value;
        return;
    case ADR_EFUSE_PROGRAM_STROBE:
        if (value & 1u) {
            program_cycle();
        }
        return;
    case ADR_EFUSE_READ_STROBE:
        if (value & 1u) {
            read_cycle();
        }
        return;
    default:
        data_[(address - ADR_EFUSE_DATA0) / 4] = value;
        return;
    }
}

void EfuseController::read_cycle() {
    if (settings_.efuse_cycle_stalls) {
        status_ = 0;
        return;
    }
    data_ = fuse_file_.fuses();
    status_ = EFUSE_STATUS_DONE;
}

void EfuseController::program_cycle() {
    if (settings_.efuse_cycle_stalls) {
        status_ = 0;
        return;
    }
    const bool powered = RG_EFUSE_PROGRAM_POWER.get(registers_.get(ADR_PMU_CONTROL)) != 0;
    if (program_enable_ == 1 && powered && !settings_.efuse_program_ignored) {
        // A fuse once blown stays blown: the cycle ORs the data into the array.
        std::string error;
        if (!fuse_file_.program(data_, error)) {
            std::fprintf(stderr, "xolt: program cycle failed, no fuse blown: fuse file %s: %s\n",
                         fuse_file_.path().u8string().c_str(), error.c_str());
        }
    }
    status_ = EFUSE_STATUS_DONE;
}

}  // namespace xolt
