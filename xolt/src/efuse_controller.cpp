#include "efuse_controller.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace xolt {

namespace {

constexpr std::size_t kFuseBytes = EfuseController::DATA_WORDS * 4;

}  // namespace

EfuseController::Fuses load_fuses(const std::string &file, std::uint32_t fresh_chip_id) {
    EfuseController::Fuses fuses{};
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fuses[0] = fresh_chip_id;
        if (!store_fuses(file, fuses)) {
            std::fprintf(stderr, "xolt: cannot create fuse file %s\n", file.c_str());
        }
        return fuses;
    }
    unsigned char bytes[kFuseBytes] = {};
    in.read(reinterpret_cast<char *>(bytes), kFuseBytes);
    if (in.gcount() != static_cast<std::streamsize>(kFuseBytes)) {
        std::fprintf(stderr, "xolt: fuse file %s is short; missing bits read as 0\n", file.c_str());
    }
    for (std::size_t i = 0; i < kFuseBytes; ++i) {
        fuses[i / 4] |= static_cast<std::uint32_t>(bytes[i]) << (8 * (i % 4));
    }
    return fuses;
}

bool store_fuses(const std::string &file, const EfuseController::Fuses &fuses) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(file);
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
    }
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        unsigned char bytes[kFuseBytes];
        for (std::size_t i = 0; i < kFuseBytes; ++i) {
            bytes[i] = static_cast<unsigned char>(fuses[i / 4] >> (8 * (i % 4)));
        }
        out.write(reinterpret_cast<const char *>(bytes), kFuseBytes);
        if (!out.flush()) {
            return false;
        }
    }
    fs::rename(temporary, path, ec);
    return !ec;
}

EfuseController::EfuseController(const BoardSettings &settings, RegisterFile &registers)
    : settings_(settings), registers_(registers), fuses_(load_fuses(settings.fuse_file, settings.fresh_chip_id)) {
    // After power-up the data registers hold the fuse contents.
    data_ = fuses_;
}

bool EfuseController::owns(std::uint32_t address) const {
    return address == ADR_STATUS || address == ADR_PROGRAM_STROBE || address == ADR_READ_STROBE ||
           address == ADR_PROGRAM_ENABLE || (address >= ADR_DATA0 && address < ADR_DATA0 + 4 * DATA_WORDS);
}

std::uint32_t EfuseController::read(std::uint32_t address) {
    switch (address) {
    case ADR_STATUS:
        return status_;
    case ADR_PROGRAM_ENABLE:
        return program_enable_;
    case ADR_PROGRAM_STROBE:
    case ADR_READ_STROBE:
        return 0;  // strobes read as 0
    default:
        return data_[(address - ADR_DATA0) / 4];
    }
}

void EfuseController::write(std::uint32_t address, std::uint32_t value) {
    switch (address) {
    case ADR_STATUS:
        return;  // read only
    case ADR_PROGRAM_ENABLE:
        program_enable_ = value;
        return;
    case ADR_PROGRAM_STROBE:
        if (value & 1u) {
            program_cycle();
        }
        return;
    case ADR_READ_STROBE:
        if (value & 1u) {
            read_cycle();
        }
        return;
    default:
        data_[(address - ADR_DATA0) / 4] = value;
        return;
    }
}

void EfuseController::read_cycle() {
    if (settings_.efuse_cycle_stalls) {
        status_ = 0;
        return;
    }
    data_ = fuses_;
    status_ = STATUS_DONE;
}

void EfuseController::program_cycle() {
    if (settings_.efuse_cycle_stalls) {
        status_ = 0;
        return;
    }
    const bool powered = (registers_.get(ADR_PMU_CONTROL) & PROGRAM_POWER_BIT) != 0;
    if (program_enable_ == 1 && powered && !settings_.efuse_program_ignored) {
        for (std::uint32_t i = 0; i < DATA_WORDS; ++i) {
            fuses_[i] |= data_[i];  // a fuse once blown stays blown
        }
        if (!store_fuses(settings_.fuse_file, fuses_)) {
            std::fprintf(stderr, "xolt: cannot store fuse file %s\n", settings_.fuse_file.c_str());
        }
    }
    status_ = STATUS_DONE;
}

}  // namespace xolt
