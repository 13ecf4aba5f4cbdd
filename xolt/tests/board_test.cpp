// The simulated board through its entry points: the link's order, interface
// selection, register access only while open, and the eFuse controller.
#include "board_fixture.h"
#include "xolt/xolt.h"
#include "xolt/xolt_sim.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr uint32_t ADR_STATUS = 0xC200010C;
constexpr uint32_t ADR_PROGRAM_STROBE = 0xC2000110;
constexpr uint32_t ADR_READ_STROBE = 0xC2000114;
constexpr uint32_t ADR_PROGRAM_ENABLE = 0xC2000118;
constexpr uint32_t ADR_DATA0 = 0xC2000120;
constexpr uint32_t ADR_PMU_CONTROL = 0xCCB0B008;

class Board : public BoardFixture {
protected:
    void SetUp() override {
        BoardFixture::SetUp();
        setenv("XOLT_CHIP_ID", "0x7C000000", 1);
    }

    // A program cycle as the library runs it.
    void program(const std::array<uint32_t, 8> &words, bool power = true) {
        for (uint32_t i = 0; i < 8; ++i) {
            write(ADR_DATA0 + 4 * i, words[i]);
        }
        if (power) {
            write(ADR_PMU_CONTROL, read(ADR_PMU_CONTROL) | 0x10000);
        }
        write(ADR_PROGRAM_ENABLE, 1);
        write(ADR_PROGRAM_STROBE, 1);
        write(ADR_PMU_CONTROL, read(ADR_PMU_CONTROL) & ~0x10000u);
        write(ADR_PROGRAM_ENABLE, 0);
    }
    std::array<uint32_t, 8> read_cycle() {
        write(ADR_READ_STROBE, 1);
        std::array<uint32_t, 8> words{};
        for (uint32_t i = 0; i < 8; ++i) {
            words[i] = read(ADR_DATA0 + 4 * i);
        }
        return words;
    }
};

TEST_F(Board, LinkMustBeInitialisedSelectedAndOpenedInOrder) {
    uint32_t v = 0;
    EXPECT_NE(xolt_read_reg(0xCCB0A400, &v), 0);
    EXPECT_NE(xolt_write_reg(0xCCB0A400, 1), 0);
    EXPECT_NE(xolt_open(), 0);  // not initialised
    ASSERT_EQ(xolt_init(), 0);
    EXPECT_NE(xolt_select(5), 0);
    EXPECT_NE(xolt_open(), 0);  // no interface chosen
    EXPECT_EQ(xolt_select(XOLT_SELECT_SDIO), 0);
    EXPECT_EQ(xolt_open(), 0);
    write(0xCCB0A400, 0x06000044);
    EXPECT_EQ(read(0xCCB0A400), 0x06000044u);
    EXPECT_EQ(xolt_close(), 0);
    EXPECT_NE(xolt_write_reg(0xCCB0A400, 0), 0);
}

TEST_F(Board, OpenFaultIsReturnedAsTheOpenResult) {
    setenv("XOLT_FAULT_OPEN", "-7", 1);
    ASSERT_EQ(xolt_init(), 0);
    ASSERT_EQ(xolt_select(XOLT_SELECT_USB), 0);
    EXPECT_EQ(xolt_open(), -7);
}

TEST_F(Board, RevisionWordHasItsResetValueAndIsConfigurable) {
    open_link();
    EXPECT_EQ(read(0xC0000010), 0x30303643u);
    xolt_close();
    setenv("XOLT_REVISION", "0x12345678", 1);
    open_link();
    EXPECT_EQ(read(0xC0000010), 0x12345678u);
    unsetenv("XOLT_REVISION");
}

TEST_F(Board, FreshBoardCarriesTheConfiguredHeaderAndPersistsIt) {
    open_link();
    EXPECT_EQ(read(ADR_DATA0), 0x7C000000u);  // data registers hold the fuses after power-up
    EXPECT_EQ(read_cycle()[0], 0x7C000000u);
    EXPECT_EQ(read(ADR_STATUS), 1u);
    ASSERT_TRUE(std::filesystem::exists(fuse_file));
    EXPECT_EQ(std::filesystem::file_size(fuse_file), 32u);
}

TEST_F(Board, ProgramCycleOnlySetsBitsAndSurvivesPowerCycle) {
    open_link();
    program({0x7C000000, 0x000000A4, 0, 0, 0, 0, 0, 0});
    program({0, 0x00000052, 0, 0, 0, 0, 0, 0x80000000});  // may not clear bits of word 1
    auto words = read_cycle();
    EXPECT_EQ(words[1], 0x000000F6u);
    EXPECT_EQ(words[7], 0x80000000u);
    xolt_close();
    setenv("XOLT_CHIP_ID", "0x11111111", 1);  // ignored: the board is no longer fresh
    open_link();
    words = read_cycle();
    EXPECT_EQ(words[0], 0x7C000000u);
    EXPECT_EQ(words[1], 0x000000F6u);
    EXPECT_EQ(words[7], 0x80000000u);
}

TEST_F(Board, ProgramNeedsEnableAndProgrammingSupply) {
    open_link();
    program({0, 0xFF, 0, 0, 0, 0, 0, 0}, /*power=*/false);
    EXPECT_EQ(read_cycle()[1], 0u);
    // Enable left at 0.
    for (uint32_t i = 0; i < 8; ++i) {
        write(ADR_DATA0 + 4 * i, i == 1 ? 0xFF : 0);
    }
    write(ADR_PMU_CONTROL, 0x10000);
    write(ADR_PROGRAM_STROBE, 1);
    EXPECT_EQ(read_cycle()[1], 0u);
}

TEST_F(Board, FaultInjectionStallsOrIgnoresCycles) {
    setenv("XOLT_FAULT_EFUSE_NO_PROGRAM", "1", 1);
    open_link();
    program({0, 0xFF, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(read(ADR_STATUS), 1u);  // the cycle completes ...
    EXPECT_EQ(read_cycle()[1], 0u);   // ... but nothing is burnt
    xolt_close();
    unsetenv("XOLT_FAULT_EFUSE_NO_PROGRAM");
    setenv("XOLT_FAULT_EFUSE_STALL", "1", 1);
    open_link();
    write(ADR_READ_STROBE, 1);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(read(ADR_STATUS), 0u);
    }
}

TEST_F(Board, SimulationQueryReportsTheFuseArray) {
    open_link();
    program({0, 0, 0x1234, 0, 0, 0, 0, 0});
    std::array<uint32_t, 8> words{};
    ASSERT_EQ(xolt_sim_read_fuses(words.data(), 8), 0);
    EXPECT_EQ(words[0], 0x7C000000u);
    EXPECT_EQ(words[2], 0x1234u);
}

}  // namespace
