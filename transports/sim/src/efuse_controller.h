// The eFuse controller: a 256-bit one-time-programmable array behind eight
// data registers, a read strobe, a program strobe, a program enable and a
// status register (ADR_EFUSE_*). Fuses can only be set: a program cycle ORs
// the data registers into the array, and only while program enable is 1 and
// the programming supply (RG_EFUSE_PROGRAM_POWER of ADR_PMU_CONTROL) is on. The array lives in the
// board's fuse file, as a real OTP outlives power cycles; a program cycle
// whose array cannot be stored blows no fuse.
#pragma once

#include "chip_model.h"
#include "fuse_file.h"

#include "varimon/chip_registers.h"

#include <array>
#include <cstdint>

namespace xolt {

class EfuseController : public Block {
public:
    static constexpr std::uint32_t DATA_WORDS = varimon::EFUSE_DATA_WORDS;

    using Fuses = FuseWords;
    static_assert(std::tuple_size<Fuses>::value == DATA_WORDS);

    EfuseController(const BoardSettings &settings, RegisterFile &registers, FuseFile &fuse_file);

    bool owns(std::uint32_t address) const override;
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;

    const Fuses &fuses() const { return fuse_file_.fuses(); }

private:
    void read_cycle();
    void program_cycle();

    const BoardSettings &settings_;
    RegisterFile &registers_;
    FuseFile &fuse_file_;
    Fuses data_{};
    std::uint32_t status_ = 0;
    std::uint32_t program_enable_ = 0;
};

}  // namespace xolt
