// A simulated board for each test, driven through the transport's entry
// points: a fuse file of its own, no setting left over from another test, and
// the link closed again at the end.
#pragma once

#include "test_support/system.h"
#include "xolt/xolt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

class BoardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        fuse_file = ::testing::TempDir() + "/xolt-test-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
        std::filesystem::remove(fuse_file);
        std::filesystem::remove(fuse_file + ".lock");
        for (const char *name : kSettings) {
            unsetenv(name);
        }
        setenv("XOLT_FUSE_FILE", fuse_file.c_str(), 1);
    }
    void TearDown() override {
        xolt_close();
        for (const char *name : kSettings) {
            unsetenv(name);
        }
        std::filesystem::remove(fuse_file);
        std::filesystem::remove(fuse_file + ".lock");
    }
    void open_link() {
        ASSERT_EQ(xolt_init(), 0);
        ASSERT_EQ(xolt_select(XOLT_SELECT_USB), 0);
        ASSERT_EQ(xolt_open(), 0);
    }
    std::uint32_t read(std::uint32_t address) {
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_EQ(xolt_read_reg(address, &v), 0);
        return v;
    }
    void write(std::uint32_t address, std::uint32_t value) { EXPECT_EQ(xolt_write_reg(address, value), 0); }

    // The board's settings go through the test-support seam: these hide the
    // C library's names, so the tests read as on POSIX and build where the C
    // library has no setenv.
    static int setenv(const char *name, const char *value, int) {
        test_support::set_env(name, value);
        return 0;
    }
    static int unsetenv(const char *name) {
        test_support::unset_env(name);
        return 0;
    }

    std::string fuse_file;

private:
    // Every setting the board reads from the environment at power-up.
    static constexpr const char *kSettings[] = {
        "XOLT_FUSE_FILE",      "XOLT_CHIP_ID",           "XOLT_REVISION",
        "XOLT_LINK_LATENCY_US", "XOLT_TRACE",            "XOLT_FAULT_OPEN",
        "XOLT_FAULT_EFUSE_STALL", "XOLT_FAULT_EFUSE_NO_PROGRAM", "XOLT_AMBIENT_C",
        "XOLT_TX_TEMP_RISE_C", "XOLT_THERMAL_TIME_CONSTANT_MS", "XOLT_IDEAL_TRIM",
        "XOLT_RX_FRAME_RATE",  "XOLT_NOISE_SEED",
    };
};
