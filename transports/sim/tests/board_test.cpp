// The simulated board through its entry points: the link's order, interface
// selection, its settings, one owner per board, register access only while
// open, and the eFuse controller and its fuse file.
#include "board_fixture.h"
#include "xolt/xolt.h"
#include "xolt/xolt_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    // The same code as the board's busy, but nobody holds the board: the
    // explanation must not call it busy.
    int32_t reason = 0;
    int32_t holder = 0;
    EXPECT_NE(xolt_open_refusal(&reason, &holder), 0);
    EXPECT_EQ(reason, 0);
}

TEST_F(Board, MalformedOrOutOfRangeSettingsRefuseThePowerUp) {
    const std::pair<const char *, const char *> refused[] = {
        {"XOLT_LINK_LATENCY_US", "-1"},  // was 4294967295 us per access
        {"XOLT_FAULT_OPEN", "0"},        // was a board with no chip powered
        {"XOLT_FAULT_OPEN", "seven"},
        {"XOLT_CHIP_ID", "0x100000000"},
        {"XOLT_IDEAL_TRIM", "256"},
        {"XOLT_AMBIENT_C", "nan"},
        {"XOLT_RX_FRAME_RATE", "1e9"},
        {"XOLT_TRACE", "yes"},
    };
    ASSERT_EQ(xolt_init(), 0);
    ASSERT_EQ(xolt_select(XOLT_SELECT_USB), 0);
    for (const auto &[name, value] : refused) {
        setenv(name, value, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(xolt_open(), XOLT_SIM_ERR_SETTINGS) << name << "=" << value;
        EXPECT_NE(testing::internal::GetCapturedStderr().find(std::string(name) + "=" + value), std::string::npos);
        int32_t reason = 0;
        int32_t holder = -1;
        EXPECT_EQ(xolt_open_refusal(&reason, &holder), 0);
        EXPECT_EQ(reason, XOLT_REFUSED_SETTINGS);
        EXPECT_EQ(holder, 0);
        uint32_t v = 0;
        EXPECT_NE(xolt_read_reg(0xC0000010, &v), 0) << "the board must stay off";
        unsetenv(name);
    }
    // The bounds as the settings are documented.
    setenv("XOLT_RX_FRAME_RATE", "1e9", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(xolt_open(), XOLT_SIM_ERR_SETTINGS);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a number from 0 to 10000000\n"), std::string::npos);
    unsetenv("XOLT_RX_FRAME_RATE");
    // Hexadecimal and decimal both read; a leading 0 is not octal.
    setenv("XOLT_REVISION", "0x1234ABCD", 1);
    setenv("XOLT_LINK_LATENCY_US", "010", 1);
    EXPECT_EQ(xolt_open(), 0);
    EXPECT_EQ(read(0xC0000010), 0x1234ABCDu);
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

TEST_F(Board, ProgramCycleThatCannotBeStoredBlowsNoFuse) {
    open_link();
    program({0, 0x00000001, 0, 0, 0, 0, 0, 0});
    // The file cannot be stored any more: its name is now a folder.
    std::filesystem::remove(fuse_file);
    std::filesystem::create_directories(fuse_file + "/in-the-way");
    testing::internal::CaptureStderr();
    program({0, 0x00000100, 0, 0, 0, 0, 0, 0});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no fuse blown"), std::string::npos);
    EXPECT_EQ(read_cycle()[1], 0x00000001u);  // the library's read-back sees the failure
    std::array<uint32_t, 8> words{};
    ASSERT_EQ(xolt_sim_read_fuses(words.data(), 8), 0);
    EXPECT_EQ(words[1], 0x00000001u);
    for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(fuse_file).parent_path())) {
        EXPECT_EQ(entry.path().string().rfind(fuse_file + ".", 0) == 0 && entry.path().extension() == ".tmp", false)
            << "left behind: " << entry.path();
    }
    // Once the file can be stored again, the array goes back whole.
    std::filesystem::remove_all(fuse_file);
    program({0, 0x00000100, 0, 0, 0, 0, 0, 0});
    xolt_close();
    open_link();
    EXPECT_EQ(read_cycle()[0], 0x7C000000u);
    EXPECT_EQ(read_cycle()[1], 0x00000101u);
}

TEST_F(Board, StoreMergesWithTheFileSoAStaleCopyClearsNoFuse) {
    open_link();
    // Fuses blown behind this board's back (another writer of the file)
    // are not in its copy of the array ...
    {
        std::fstream file(fuse_file, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(8);
        file.put(static_cast<char>(0x5A));
    }
    program({0, 0, 0, 0, 0, 0, 0, 0x80000000});
    // ... and its store keeps them.
    std::ifstream in(fuse_file, std::ios::binary);
    std::array<unsigned char, 32> bytes{};
    in.read(reinterpret_cast<char *>(bytes.data()), 32);
    EXPECT_EQ(bytes[3], 0x7Cu);
    EXPECT_EQ(bytes[8], 0x5Au);
    EXPECT_EQ(bytes[31], 0x80u);
    EXPECT_EQ(read_cycle()[2], 0x5Au);
}

// Another process on the same board (board_probe): opens the link, and
// either closes it or dies holding the board. What it was told comes back as
// xolt_open's result and the holder's process id.
struct Probe {
    int32_t result = 1;
    unsigned long holder = 0;
    // xolt_open_refusal's result, reason and holder.
    int32_t refusal = 0;
    int32_t reason = 0;
    unsigned long refusal_holder = 0;
};

Probe probe(const char *ending) {
    const test_support::ProgramRun run = test_support::run_program(BOARD_PROBE_PATH, {ending});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    // The last line: the board's own messages (on standard error) come first.
    std::string last = run.output;
    while (!last.empty() && last.back() == '\n') {
        last.pop_back();
    }
    last = last.substr(last.find_last_of('\n') + 1);
    Probe seen;
    long result = 1;
    long refusal = 0;
    long reason = 0;
    if (std::sscanf(last.c_str(), "%ld %lu %ld %ld %lu", &result, &seen.holder, &refusal, &reason,
                    &seen.refusal_holder) != 5) {
        ADD_FAILURE() << "board_probe printed: " << run.output;
    }
    seen.result = static_cast<int32_t>(result);
    seen.refusal = static_cast<int32_t>(refusal);
    seen.reason = static_cast<int32_t>(reason);
    return seen;
}

TEST_F(Board, AnotherProcessCannotOpenTheBoardWhileOneHoldsIt) {
    open_link();
    // Twice: the first one's end must not let this process's hold go.
    for (int i = 0; i < 2; ++i) {
        const Probe refused = probe("close");
        EXPECT_EQ(refused.result, XOLT_SIM_ERR_BUSY);
        EXPECT_EQ(refused.holder, test_support::process_id());
        // The transport's optional explanation tells the same.
        EXPECT_EQ(refused.refusal, 0);
        EXPECT_EQ(refused.reason, XOLT_REFUSED_BUSY);
        EXPECT_EQ(refused.refusal_holder, test_support::process_id());
    }
    // A holder whose process id could not be written (a full disk) is told
    // as another process, not as process 0. Truncated by its name: closing a
    // descriptor of the lock file here would drop this process's hold.
    std::filesystem::resize_file(fuse_file + ".lock", 0);
    const test_support::ProgramRun unknown = test_support::run_program(BOARD_PROBE_PATH, {"close"});
    EXPECT_NE(unknown.output.find("is held by another process"), std::string::npos) << unknown.output;
    EXPECT_NE(unknown.output.find(std::to_string(XOLT_SIM_ERR_BUSY) + " 0"), std::string::npos) << unknown.output;
    xolt_close();

    // Closed here: the other process opens, and lets go when it closes; an
    // open that was not refused has no explanation.
    const Probe opened = probe("close");
    EXPECT_EQ(opened.result, 0);
    EXPECT_NE(opened.refusal, 0);
    // One that dies holding the board lets go too.
    EXPECT_EQ(probe("die").result, 0);
    ASSERT_EQ(xolt_init(), 0);
    ASSERT_EQ(xolt_select(XOLT_SELECT_USB), 0);
    EXPECT_EQ(xolt_open(), 0);
    EXPECT_EQ(xolt_sim_board_holder(), 0);
}

// A store renames a new file over the fuse file, and opening a FIFO waits for
// a writer: only a regular file (or a link to one) may be the fuse file.
TEST_F(Board, AFuseFileThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / ("xolt-special-" + std::to_string(test_support::process_id()));
    test_support::remove_tree(dir);
    fs::create_directories(dir);
    struct Case {
        const char *name;
        bool (*make)(const fs::path &);
        fs::file_type type;
        const char *told;
    };
    const Case cases[] = {
        {"fifo", test_support::make_fifo, fs::file_type::fifo, "it is a FIFO, not a regular file"},
        {"device", test_support::make_character_device, fs::file_type::character,
         "it is a character device, not a regular file"},
        {"folder", [](const fs::path &p) { return fs::create_directory(p); }, fs::file_type::directory,
         "it is a folder, not a regular file"},
    };
    ASSERT_EQ(xolt_init(), 0);
    ASSERT_EQ(xolt_select(XOLT_SELECT_USB), 0);
    std::vector<std::string> made;
    for (const Case &c : cases) {
        const fs::path node = dir / c.name;
        if (!c.make(node)) {
            continue;  // FIFOs and devices where the platform has them; devices as root only
        }
        made.push_back(c.name);
        setenv("XOLT_FUSE_FILE", node.u8string().c_str(), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(xolt_open(), XOLT_SIM_ERR_SETTINGS) << c.name;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("(XOLT_FUSE_FILE): " + std::string(c.told)), std::string::npos) << err;
        int32_t reason = 0;
        int32_t holder = -1;
        EXPECT_EQ(xolt_open_refusal(&reason, &holder), 0);
        EXPECT_EQ(reason, XOLT_REFUSED_STATE_FILE) << c.name;
        EXPECT_EQ(fs::symlink_status(node).type(), c.type) << c.name;
        uint32_t v = 0;
        EXPECT_NE(xolt_read_reg(0xC0000010, &v), 0) << "the board must stay off";
    }
    // Nothing was created beside them: no lock file, no new fuse file.
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(names, made);

    // A link to a regular file is the file's board, and stays a link.
    const fs::path target = dir / "board.bin";
    const fs::path link = dir / "link.bin";
    setenv("XOLT_FUSE_FILE", target.u8string().c_str(), 1);
    open_link();  // a fresh board: its file is stored
    xolt_close();
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    if (!ec) {
        setenv("XOLT_FUSE_FILE", link.u8string().c_str(), 1);
        open_link();
        program({0, 0, 0x00ABCDEF, 0, 0, 0, 0, 0});
        xolt_close();
        EXPECT_TRUE(fs::is_symlink(link));
        setenv("XOLT_FUSE_FILE", target.u8string().c_str(), 1);
        open_link();
        EXPECT_EQ(read_cycle()[2], 0x00ABCDEFu);
        xolt_close();
    }
    test_support::remove_tree(dir);
}

TEST_F(Board, SameProcessMayOpenTheBoardAgainWithoutClosing) {
    open_link();
    program({0, 0x00000005, 0, 0, 0, 0, 0, 0});
    open_link();  // as rf_init twice does: a power cycle of the board it holds
    EXPECT_EQ(read_cycle()[1], 0x00000005u);
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
