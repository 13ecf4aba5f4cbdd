// The dialog's eFuse and MAC panel over the stand-in: item selection, reads,
// and the staged burn's preview, refusals and read-back check (the stand-in's
// fuses never change, so no burn it runs verifies; the simulated board's
// tests burn for real).
#include "dialog_rig.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Fuses = std::array<std::uint32_t, 8>;

// The fuse words with a record of `bits` bits (type nibble first) at `position`.
Fuses with(Fuses words, unsigned position, std::uint64_t record, unsigned bits) {
    for (unsigned b = 0; b < bits; ++b) {
        if (((record >> b) & 1u) != 0) {
            words[(position + b) / 32] |= 1u << ((position + b) % 32);
        }
    }
    return words;
}

const Fuses kEmpty{};
constexpr std::uint64_t kPower1At35 = 0x355;  // type 5, data 0x35: TX_PWR1 3,5

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
}

// The preview is the confirmation; Cancel programs nothing. After the write
// the fuses are read back: the stand-in's do not change, so the result field
// keeps the library's "success" and a message box says readers do not see it.
TEST(DialogBurn, PreviewConfirmsAndTheReadBackIsChecked) {
    Rig rig;
    rig.open();
    rig.reveal();
    rig.api.set_fuses(kEmpty);
    rig.surface.answer = false;
    writeItem(rig, 0, "3", "5");
    EXPECT_TRUE(rig.api.named("rf_efuse_write").empty());
    auto boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, "confirm");
    EXPECT_EQ(boxes[0].text, "Program this record into the eFuse?\n\n"
                             "TX_PWR1 = 3,5 (record type 5, bits 32-43)\n"
                             "Readers see: nothing now, 3,5 after.\n"
                             "Free bits: 224 now, 212 after.\n\n"
                             "eFuse bits can be set but never cleared: this cannot be undone.");
    EXPECT_EQ(rig.text(1061), "");

    rig.surface.answer = true;
    rig.click(1057);
    EXPECT_EQ(rig.api.named("rf_efuse_write"), Calls{"rf_efuse_write_tx_power1(3, 5)"});
    EXPECT_EQ(rig.text(1061), "success");
    boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].kind, "warning");
    EXPECT_EQ(boxes[1].text.rfind("TX_PWR1 was not programmed as planned: the record did not take", 0), 0u)
        << boxes[1].text;
    EXPECT_NE(boxes[1].text.find("Readers see nothing."), std::string::npos);
}

// What the burn refuses: each in a message box, nothing programmed, "fail" in
// the result field.
TEST(DialogBurn, RefusalsProgramNothing) {
    struct Case {
        const char *what;
        std::optional<Fuses> fuses;  // none: the controller never answers
        int item;                   // -1: MAC Write with `first` in byte 0
        const char *first, *second;
        const char *reason;
    };
    Fuses full = kEmpty;
    for (unsigned p = 32; p + 12 <= 248; p += 12) {
        full = with(full, p, 0xFF4, 12);  // crystal records up to bit 248
    }
    const Case cases[] = {
        {"same value", with(kEmpty, 32, kPower1At35, 12), 0, "3", "5", "already reads 3,5"},
        {"out of range", kEmpty, 0, "16", "5", "out of range 0 to 15"},
        {"no space", full, 0, "1", "2", "not enough eFuse space"},
        {"type-3 record", with(kEmpty, 32, 0x3, 4), 0, "1", "2", "already programmed"},
        {"behind a stop", with(kEmpty, 32, 0x7, 8), 0, "1", "2", "readers would never see it"},
        {"unreadable", std::nullopt, 0, "1", "2", "could not be read"},
        {"zero MAC", kEmpty, -1, "00", "", "all-zero address"},
        {"multicast MAC", kEmpty, -1, "01", "", "multicast"},
    };
    for (const Case &c : cases) {
        Rig rig;
        rig.open();
        rig.reveal();
        if (c.fuses) {
            rig.api.set_fuses(*c.fuses);
        }
        if (c.item < 0) {
            rig.type(1041, c.first);
            rig.click(1053);
        } else {
            writeItem(rig, c.item, c.first, c.second);
        }
        EXPECT_TRUE(rig.api.named("rf_efuse_write").empty()) << c.what;
        EXPECT_EQ(rig.text(c.item < 0 ? 1047 : 1061), "fail") << c.what;
        const auto boxes = rig.surface.take_boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].kind, "warning");
        EXPECT_EQ(boxes[0].text.rfind("Nothing was programmed: ", 0), 0u) << boxes[0].text;
        EXPECT_NE(boxes[0].text.find(c.reason), std::string::npos) << boxes[0].text;
    }
}

}  // namespace
