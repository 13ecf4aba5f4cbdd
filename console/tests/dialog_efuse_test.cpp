// The dialog's eFuse and MAC panel over the stand-in: item selection, reads,
// and writes after a confirmation.
#include "dialog_rig.h"

#include <gtest/gtest.h>

namespace {

void writeItem(Rig &rig, int item, const char *first, const char *second) {
    rig.choose(1054, item);
    rig.type(1055, first);
    rig.type(1056, second);
    rig.click(1057);
}

TEST(DialogEfuse, ItemSelectionSetsLabelsFieldsAndRangeAndTxRate2IsEditable) {
    Rig rig;
    rig.open();
    rig.reveal();
    struct Case {
        int position;
        const char *first, *second;
        bool first_enabled, second_enabled;
        const char *range;
    };
    const Case cases[] = {
        {1, "5800 PWR", "5500 PWR", true, true, "PWR range: 0~15"},
        {2, "Freq offset", "None", true, false, "offset range: 0~255"},
        {3, "B_PWR", "", true, false, ""},
        {4, "G_PWR", "HT20_PWR", true, true, ""},
        {0, "5200 PWR", "2400 PWR", true, true, "PWR range: 0~15"},
    };
    for (const Case &c : cases) {
        rig.choose(1054, c.position);
        EXPECT_EQ(rig.text(1059), c.first);
        EXPECT_EQ(rig.text(1060), c.second);
        EXPECT_EQ(rig.enabled(1055), c.first_enabled) << c.position;
        EXPECT_EQ(rig.enabled(1056), c.second_enabled) << c.position;
        EXPECT_EQ(rig.text(1062), c.range);
    }
    EXPECT_TRUE(rig.calls().empty());
}

TEST(DialogEfuse, ReadShowsTheValuesAndTheFreeBits) {
    Rig rig;
    rig.open();
    rig.api.pairs["tx_power1"] = {3, 5};
    rig.api.free_bits = 200;
    rig.click(1058);
    EXPECT_EQ(rig.calls(), (Calls{"rf_efuse_read_tx_power1()", "rf_get_efuse_free_bits()"}));
    EXPECT_EQ(rig.text(1061), "3,5");
    EXPECT_EQ(rig.text(1062), "Empty: 200 bit");
    rig.choose(1054, 2);
    rig.click(1058);
    EXPECT_EQ(rig.text(1061), "0");  // no crystal record
    rig.click(1046);
    EXPECT_EQ(rig.text(1047), "No mac address");
}

TEST(DialogEfuse, WriteAsksFirstAndCancelProgramsNothing) {
    Rig rig;
    rig.open();
    rig.reveal();
    rig.surface.answer = false;
    writeItem(rig, 0, "3", "5");
    EXPECT_EQ(rig.calls(), Calls{"rf_get_efuse_free_bits()"});
    auto boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("TX_PWR1 (record type 5, 12 bits): 5200 PWR = 3, 2400 PWR = 5"), std::string::npos);
    EXPECT_NE(boxes[0].text.find("224 now, 212 after this record"), std::string::npos);
    EXPECT_EQ(rig.text(1061), "");
    rig.surface.answer = true;
    rig.click(1057);
    EXPECT_EQ(rig.calls(), (Calls{"rf_get_efuse_free_bits()", "rf_efuse_write_tx_power1(3, 5)"}));
    EXPECT_EQ(rig.text(1061), "success");

    // A disabled field is written as it reads; a full fuse fails.
    writeItem(rig, 0, "4", "9");
    rig.choose(1054, 3);
    rig.click(1057);
    EXPECT_EQ(rig.calls().back(), "rf_efuse_write_rate_gain_b_n40(4, 9)");
    rig.api.free_bits = 4;
    rig.click(1057);
    EXPECT_NE(rig.surface.boxes.back().text.find("the write will fail"), std::string::npos);
    EXPECT_EQ(rig.text(1061), "fail");
}

TEST(DialogEfuse, MacWriteKeepsEachBytesLowEightBits) {
    Rig rig;
    rig.open();
    rig.reveal();
    rig.type(1041, "1FF");
    rig.type(1052, "55");
    rig.click(1053);
    EXPECT_EQ(rig.calls().back(), "rf_efuse_write_mac(FF:00:00:00:00:55)");
    EXPECT_EQ(rig.text(1047), "success");
}

}  // namespace
