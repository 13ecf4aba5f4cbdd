// Connection and register access: loading the transport, the link sequence,
// its failure paths and the register forwarders.
#include "fixture.h"
#include "test_support/system.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using recording::Access;
using recording::R;
using recording::StdoutCapture;
using recording::W;

namespace {

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        recording::use_transport();
        state = &recording::open_state();
        state->reset();
    }
    // A failed init leaves the transport loaded but not connected, which
    // rf_deinit cannot undo; open once more so the next test starts unloaded.
    void TearDown() override {
        StdoutCapture quiet;
        recording::use_transport();
        state->reset();
        if (rf_init(4) == 0) {
            rf_deinit();
        }
        test_support::unset_env("XOLT_LIBRARY");
    }
    recording::State *state = nullptr;
};

TEST_F(Transport, InitRunsInitSelectOpenAndDeinitCloses) {
    StdoutCapture out;
    EXPECT_EQ(rf_init(3), 0);
    EXPECT_EQ(state->calls, (std::vector<std::string>{"xolt_init", "xolt_select 3", "xolt_open"}));
    state->close_result = 7;
    EXPECT_EQ(rf_deinit(), 7);  // the transport's own close result
    EXPECT_EQ(state->calls.back(), "xolt_close");
    EXPECT_EQ(out.take(), "");
}

TEST_F(Transport, DeinitWithoutConnectionCallsNothing) {
    StdoutCapture out;
    EXPECT_EQ(rf_deinit(), -1);
    EXPECT_EQ(rf_init(4), 0);
    EXPECT_EQ(rf_deinit(), 0);
    state->calls.clear();
    EXPECT_EQ(rf_deinit(), -1);
    EXPECT_TRUE(state->calls.empty());
    EXPECT_EQ(out.take(), "");
}

TEST_F(Transport, SecondInitReportsLoadedAndOpensAgain) {
    StdoutCapture out;
    ASSERT_EQ(rf_init(4), 0);
    state->calls.clear();
    EXPECT_EQ(rf_init(4), 0);
    EXPECT_EQ(out.take(), "ERROR: xolt dll alreay loaded\n");
    EXPECT_EQ(state->calls, (std::vector<std::string>{"xolt_init", "xolt_select 4", "xolt_open"}));
}

TEST_F(Transport, OpenFailureReturnsTransportCodeAndStaysLoaded) {
    state->open_result = 5;
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), 5);
    EXPECT_EQ(out.take(), "rf_init 5 fails\n");
    // Not connected: deinit refuses and calls nothing.
    state->calls.clear();
    EXPECT_EQ(rf_deinit(), -1);
    EXPECT_TRUE(state->calls.empty());
    // The transport is still loaded: register access reaches it.
    uint32_t v = 0;
    state->memory[0xCCB0A400] = 0x1234;
    EXPECT_EQ(xolt_read_reg(0xCCB0A400, &v), 0);
    EXPECT_EQ(v, 0x1234u);
    // A later init finds it loaded and opens.
    state->open_result = 0;
    StdoutCapture again;
    EXPECT_EQ(rf_init(4), 0);
    EXPECT_EQ(again.take(), "ERROR: xolt dll alreay loaded\n");
}

TEST_F(Transport, InitAndSelectFailuresPrintTheirLines) {
    state->init_result = 1;
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), -1);
    EXPECT_EQ(out.take(), "[velmo] xolt_init_impl fail\n");
    state->init_result = 0;
    state->select_result = 9;
    StdoutCapture second;
    EXPECT_EQ(rf_init(9), -1);
    EXPECT_EQ(second.take(), "ERROR: xolt dll alreay loaded\n[velmo] xolt_select_impl 9 fail\n");
}

TEST_F(Transport, MissingFileNamesTheFileTried) {
    const std::string missing = ::testing::TempDir() + "/no-such-xolt.so";
    test_support::set_env("XOLT_LIBRARY", missing);
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), -1);
    // The library's own line, then the system's reason, which names the file.
    const std::string text = out.take();
    const std::string head = "ERROR: unable to load " + missing + "\nERROR: ";
    const std::string tail = "\nrf_init -1 fails\n";
    ASSERT_GT(text.size(), head.size() + tail.size()) << text;
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    const std::string why = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    EXPECT_NE(why.find("no-such-xolt.so"), std::string::npos) << why;
}

// A copy of the recording transport at `dir` / `name` (UTF-8), its folders
// made as needed.
std::filesystem::path copy_of_transport(const std::filesystem::path &dir, const std::string &name) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path copy = dir / std::filesystem::u8path(name);
    std::filesystem::copy_file(RECORDING_XOLT_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

// Opens the link through the transport file `xolt_library` (as XOLT_LIBRARY
// gives it), sees a register write come back from its memory, and closes it
// again (which unloads it, so the file can be removed).
void opens_through(const std::string &xolt_library) {
    test_support::set_env("XOLT_LIBRARY", xolt_library);
    StdoutCapture out;
    ASSERT_EQ(rf_init(4), 0) << out.take();
    std::uint32_t value = 0;
    EXPECT_EQ(xolt_write_reg(0xCCB0A62C, 0x1234ABCD), 0);
    EXPECT_EQ(xolt_read_reg(0xCCB0A62C, &value), 0);
    EXPECT_EQ(value, 0x1234ABCDu);
    EXPECT_EQ(rf_deinit(), 0);
    EXPECT_EQ(out.take(), "");
}

TEST_F(Transport, PathsWithSpacesAndNonAsciiLettersLoadAlsoRelativeOnes) {
    using std::filesystem::u8path;
    const std::filesystem::path base = u8path(::testing::TempDir()) / u8path("velmo transport d\u00e9");
    const std::filesystem::path copy = copy_of_transport(base / u8path("d\u00e9 \u6e2c\u8a66"), "xolt \u00fc.dll");
    opens_through(copy.u8string());
    // Relative to the current directory when rf_init runs.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(base);
    opens_through("d\u00e9 \u6e2c\u8a66/xolt \u00fc.dll");
    std::filesystem::current_path(before);
    test_support::remove_tree(base);
}

TEST_F(Transport, PathsLongerThanMaxPathLoad) {
    std::filesystem::path dir = std::filesystem::u8path(::testing::TempDir()) / "velmo-long-path";
    const std::filesystem::path top = dir;
    while (dir.u8string().size() < 300) {
        dir /= std::string(40, 'x');
    }
    const std::filesystem::path copy = copy_of_transport(dir, "xolt.dll");
    opens_through(copy.u8string());
    test_support::remove_tree(top);
}

TEST_F(Transport, TransportWithoutOneEntryPointIsRefusedAndUnloaded) {
    test_support::set_env("XOLT_LIBRARY", RECORDING_XOLT_NOFW_PATH);
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), -1);
    const std::string file = std::filesystem::path(RECORDING_XOLT_NOFW_PATH).filename().u8string();
    EXPECT_EQ(out.take(), "ERROR: unable to find DLL api\nERROR: " + file + " lacks xolt_download_fw\nrf_init -1 fails\n");
    // Unloaded again: the forwarders refuse instead of calling through null.
    uint32_t v = 0xAAAA;
    EXPECT_EQ(xolt_read_reg(0x0, &v), -1);
    EXPECT_EQ(v, 0xAAAAu);
}

TEST_F(Transport, ForwardersPassArgumentsAndResultsUnchanged) {
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    state->read_result = -42;
    state->write_result = 17;
    state->memory[0xCCB0E00C] = 0x07221000;
    uint32_t v = 0;
    EXPECT_EQ(xolt_read_reg(0xCCB0E00C, &v), -42);
    EXPECT_EQ(v, 0x07221000u);
    EXPECT_EQ(xolt_write_reg(0xCCB0B000, 0x252E9714), 17);
    EXPECT_EQ(state->log, (std::vector<Access>{R(0xCCB0E00C, 0x07221000), W(0xCCB0B000, 0x252E9714)}));
}

TEST_F(Transport, RegisterExportsWithoutTransportReturnMinusOneAndTouchNothing) {
    StdoutCapture out;
    uint32_t v = 0x5555;
    EXPECT_EQ(xolt_read_reg(0xCCB0A400, &v), -1);
    EXPECT_EQ(v, 0x5555u);
    EXPECT_EQ(xolt_write_reg(0xCCB0A400, 1), -1);
    EXPECT_EQ(rf_set_ch(1), -1);
    EXPECT_EQ(rf_get_efuse_free_bits(), -1);
    EXPECT_EQ(rf_load_register(), -1);
    EXPECT_TRUE(state->log.empty());
    // rf_load_phy keeps its placeholder behaviour with or without a link.
    EXPECT_EQ(rf_load_phy(), 0);
    EXPECT_EQ(out.take(), "Not Implement!!!!\n");
}

TEST_F(Transport, DeinitUnloadsSoAccessIsRefusedAfterwards) {
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    ASSERT_EQ(rf_deinit(), 0);
    EXPECT_EQ(xolt_write_reg(0xCCB0A400, 1), -1);
    EXPECT_TRUE(state->log.empty());
}

}  // namespace
