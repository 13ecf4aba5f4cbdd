// The dialog's behaviour end to end on the simulated board: OPEN on a board
// another process holds, and the staged burns programmed, read back and
// applied by the next OPEN. ctest names the board (XOLT_LIBRARY) and a
// scratch fuse file (XOLT_FUSE_FILE), which every test starts by removing: a
// fresh board.
#include "recording_surface.h"
#include "test_support/system.h"

#include "deve/resource.h"
#include "deve/text.h"
#include "deve/velmo_api.h"
#include "xolt/xolt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// This process holds the board through its entry points while a dialog in a
// second process (dialog_open_probe) presses OPEN on it: "Open Fail", and a
// message box naming this process.
TEST(DialogOnAHeldBoard, OpenFailsAndSaysWhichProcessHoldsTheBoard) {
    const char *board = std::getenv("XOLT_LIBRARY");
    const char *fuses = std::getenv("XOLT_FUSE_FILE");
    ASSERT_TRUE(board != nullptr && fuses != nullptr) << "ctest sets XOLT_LIBRARY and XOLT_FUSE_FILE";
    std::error_code ignored;
    std::filesystem::remove(fuses, ignored);
    const auto init = test_support::find_export_as<xolt_init_fn>(board, "xolt_init");
    const auto select = test_support::find_export_as<xolt_select_fn>(board, "xolt_select");
    const auto open = test_support::find_export_as<xolt_open_fn>(board, "xolt_open");
    const auto close = test_support::find_export_as<xolt_close_fn>(board, "xolt_close");
    ASSERT_TRUE(init && select && open && close);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(select(XOLT_SELECT_USB), 0);
    ASSERT_EQ(open(), 0);

    test_support::ProgramRun run = test_support::run_program(DIALOG_OPEN_PROBE_PATH, {});
    close();
    // Lines end in CRLF on Windows.
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("status: Open Fail\n"), std::string::npos) << run.output;
    const std::string told = "box: The link did not open: board busy (held by process " +
                             std::to_string(test_support::process_id()) + ").\n";
    EXPECT_NE(run.output.find(told), std::string::npos) << run.output;
}

class DialogOnTheBoard : public ::testing::Test {
protected:
    void SetUp() override {
        const char *board = std::getenv("XOLT_LIBRARY");
        const char *fuses = std::getenv("XOLT_FUSE_FILE");
        ASSERT_TRUE(board != nullptr && fuses != nullptr)
            << "XOLT_LIBRARY must name the simulated board and XOLT_FUSE_FILE a scratch fuse file (ctest sets both)";
        fuses_ = fuses;
        std::error_code ignored;
        std::filesystem::remove(fuses_, ignored);
        rig_ = std::make_unique<fake::DialogRig>(api_);
        rig_->click(IDC_OPEN);
        ASSERT_EQ(rig_->text(IDC_PORT_STATUS), "Open Success");
    }
    void TearDown() override {
        if (rig_) {
            rig_->click(IDC_CLOSE);
        }
        std::error_code ignored;
        std::filesystem::remove(fuses_, ignored);
    }

    void reveal() {
        rig_->type(IDC_FREQ_OFFSET, "624");
        rig_->click(IDC_TX_ON);
        rig_->click(IDC_TX_OFF);
    }
    void burnItem(int item, const char *first, const char *second) {
        rig_->choose(IDC_EFUSE_ITEM, item);
        rig_->type(IDC_EFUSE_FIRST, first);
        rig_->type(IDC_EFUSE_SECOND, second);
        rig_->click(IDC_EFUSE_WRITE);
    }
    // The last message box's text.
    std::string told() const { return rig_->surface.boxes.empty() ? "" : rig_->surface.boxes.back().text; }
    std::string readRegister(const char *address) {
        rig_->type(IDC_REG_ADDRESS, address);
        rig_->click(IDC_REG_READ);
        return rig_->text(IDC_READ_DATA);
    }

    std::filesystem::path fuses_;
    deve::VelmoApi api_;
    std::unique_ptr<fake::DialogRig> rig_;
};

TEST_F(DialogOnTheBoard, ItemBurnsAreVerifiedReadBackAndAppliedAtTheNextOpen) {
    fake::DialogRig &rig = *rig_;
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "0,0");
    EXPECT_EQ(rig.text(IDC_EFUSE_RANGE), "Empty: 224 bit");

    reveal();
    burnItem(0, "3", "5");
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "success");
    EXPECT_EQ(told(), "TX_PWR1 programmed and verified: readers now see 3,5. Free bits: 212.");
    EXPECT_EQ(rig.surface.boxes.back().kind, "information");
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "3,5");
    EXPECT_EQ(rig.text(IDC_EFUSE_RANGE), "Empty: 212 bit");

    burnItem(2, "140", "");
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "success");
    // TX_Rate1 offers no second field: the stale "9" left in it by TX_PWR1
    // is not programmed, the stored second value (none: 0) is kept.
    rig.choose(IDC_EFUSE_ITEM, 0);
    rig.type(IDC_EFUSE_SECOND, "9");
    rig.choose(IDC_EFUSE_ITEM, 3);
    rig.type(IDC_EFUSE_FIRST, "4");
    rig.click(IDC_EFUSE_WRITE);
    EXPECT_NE(rig.surface.boxes.at(rig.surface.boxes.size() - 2).text.find("TX_Rate1 = 4,0"), std::string::npos);
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "4,0");

    rig.click(IDC_CLOSE);
    rig.click(IDC_OPEN);
    EXPECT_EQ(rig.text(IDC_FREQ_OFFSET), "140");
    const std::uint32_t trim = deve::parse_unsigned(readRegister("CCB0B000"), 16);
    EXPECT_EQ((trim >> 8) & 0xFFu, 140u);
    EXPECT_EQ((trim >> 17) & 0xFFu, 140u);
    // TX_PWR1 3 (5200 MHz) and 5 (2.4 GHz): DAC codes of -3.5 and -2.5 dB.
    EXPECT_EQ(readRegister("CCB0ADAC"), "60");
    EXPECT_EQ((deve::parse_unsigned(readRegister("CCB0ADA8"), 16) >> 16) & 0xFFu, 0x56u);
}

TEST_F(DialogOnTheBoard, MacAndTxRate2BurnsReadBack) {
    fake::DialogRig &rig = *rig_;
    rig.click(IDC_MAC_READ);
    EXPECT_EQ(rig.text(IDC_MAC_TEXT), "No mac address");
    reveal();
    const int bytes[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2, IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};
    const char *values[] = {"00", "11", "22", "33", "44", "55"};
    for (int i = 0; i < 6; ++i) {
        rig.type(bytes[i], values[i]);
    }
    rig.click(IDC_MAC_WRITE);
    EXPECT_EQ(rig.text(IDC_MAC_TEXT), "success");
    EXPECT_EQ(told(), "MAC programmed and verified: readers now see 00:11:22:33:44:55. Free bits: 172.");
    rig.click(IDC_MAC_READ);
    EXPECT_EQ(rig.text(IDC_MAC_TEXT), "0:11:22:33:44:55");

    burnItem(4, "6", "2");  // TX_Rate2: both fields its own
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "success");
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "6,2");
}

}  // namespace
