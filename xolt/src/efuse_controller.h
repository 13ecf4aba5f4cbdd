// The eFuse controller: a 256-bit one-time-programmable array behind eight
// data registers, a read strobe, a program strobe, a program enable and a
// status register. Fuses can only be set: a program cycle ORs the data
// registers into the array, and only while program enable is 1 and the
// programming supply (bit 16 of 0xCCB0B008) is on. The array lives in the
// board's fuse file, as a real OTP outlives power cycles; a program cycle
// whose array cannot be stored blows no fuse.
#pragma once

#include "chip_model.h"
#include "fuse_file.h"

#include <array>
#include <cstdint>

namespace xolt {

class EfuseController : public Block {
public:
    static constexpr std::uint32_t ADR_STATUS = 0xC200010C;
    static constexpr std::uint32_t ADR_PROGRAM_STROBE = 0xC2000110;
    static constexpr std::uint32_t ADR_READ_STROBE = 0xC2000114;
    static constexpr std::uint32_t ADR_PROGRAM_ENABLE = 0xC2000118;
    static constexpr std::uint32_t ADR_DATA0 = 0xC2000120;
    static constexpr std::uint32_t DATA_WORDS = 8;
    static constexpr std::uint32_t ADR_PMU_CONTROL = 0xCCB0B008;
    static constexpr std::uint32_t PROGRAM_POWER_BIT = 1u << 16;
    static constexpr std::uint32_t STATUS_DONE = 1;

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
