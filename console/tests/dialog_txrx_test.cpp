// The dialog's TX/RX tests, the two timers, the frequency-offset range, the
// engineering reveal and the Option group.
#include "dialog_rig.h"
#include "script_files.h"

#include <gtest/gtest.h>

namespace {

using fake::W;
using scripts::line;
using scripts::TempFile;

// The controls the access code reveals, besides the Option group's own.
const int kRevealed[] = {1044, 1039, 1040, 1063, 1064, 1015, 1066, 1014, 1037, 1067, 1043,
                         1065, 1005, 1053, 1057};

TEST(DialogTx, TxOnAppliesTheOffsetAndStartsTimerZeroUntilTxOff) {
    Rig rig;
    rig.open();
    rig.type(1042, "151");
    rig.type(1011, "100");
    rig.choose(1026, 1);
    rig.click(1016);
    EXPECT_EQ(rig.calls(), (Calls{"rf_freq_offset(151)", "rf_tx_stop()", "rf_tx_start(1, 100)"}));
    EXPECT_EQ(rig.surface.timers, (std::map<int, unsigned>{{0, 1000}}));
    EXPECT_FALSE(rig.visible(1063));
    rig.click(1021);
    EXPECT_EQ(rig.calls(), Calls{"rf_tx_stop()"});
    EXPECT_TRUE(rig.surface.timers.empty());
}

TEST(DialogTx, AccessCodeRevealsTheEngineeringControlsOnce) {
    Rig rig;
    rig.open();
    rig.type(1042, "624");
    rig.click(1016);
    EXPECT_EQ(rig.calls(), (Calls{"rf_tx_stop()", "rf_tx_start(0, 0)"}));
    for (int id : kRevealed) {
        EXPECT_TRUE(rig.visible(id)) << id;
    }
    EXPECT_TRUE(rig.enabled(1044));  // revealed controls keep their enabled state
    rig.click(1016);
    EXPECT_EQ(rig.items(1054).size(), 5u);
    EXPECT_EQ(rig.items(1054).back(), "TX_Rate2");
}

TEST(DialogRx, RxOnUsesTheOffsetTheFieldShowsAndTimerOne) {
    Rig rig;
    rig.open();
    rig.type(1042, "140");
    rig.choose(1000, 0);
    rig.api.take();
    rig.click(1017);
    EXPECT_EQ(rig.calls(), (Calls{"rf_freq_offset(140)", W(0xCCB0E020, 0x400), "rf_rx_start(0, 0)"}));
    EXPECT_EQ(rig.surface.timers, (std::map<int, unsigned>{{1, 1000}}));
    rig.click(1018);
    EXPECT_EQ(rig.calls(), Calls{"rf_rx_stop()"});
    EXPECT_TRUE(rig.surface.timers.empty());
}

// The trim register holds 0-255: a larger offset is refused in a message box
// before anything reaches the chip, and no test starts. The access code on
// TX ON is not an offset.
TEST(FreqOffsetRange, OffsetsAbove255AreRefusedBeforeTheChip) {
    Rig rig;
    rig.open();
    struct Case {
        int button;
        const char *offset;
    };
    for (const Case &c : {Case{1016, "256"}, Case{1016, "300"}, Case{1017, "624"}, Case{1017, "4294967296"}}) {
        rig.type(1042, c.offset);
        rig.click(c.button);
        EXPECT_TRUE(rig.calls().empty()) << c.offset;
        EXPECT_TRUE(rig.surface.timers.empty()) << c.offset;
        const auto boxes = rig.surface.take_boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.offset;
        EXPECT_EQ(boxes[0].kind, "warning");
        EXPECT_NE(boxes[0].text.find("0 to 255"), std::string::npos) << boxes[0].text;
    }
    EXPECT_FALSE(rig.visible(1063));
    rig.type(1042, "255");
    rig.click(1017);
    EXPECT_EQ(rig.calls().front(), "rf_freq_offset(255)");
    rig.type(1042, "624");
    rig.click(1016);
    EXPECT_EQ(rig.calls(), (Calls{"rf_tx_stop()", "rf_tx_start(0, 0)"}));
    EXPECT_TRUE(rig.visible(1063));
    EXPECT_TRUE(rig.surface.boxes.empty());
}

// The generator's PIT field is 14 bits: a larger interval is refused on
// TX ON, the access code included, before anything reaches the chip.
TEST(FreqOffsetRange, PitAbove16383IsRefusedBeforeTheChip) {
    Rig rig;
    rig.open();
    for (const char *offset : {"151", "624"}) {
        rig.type(1011, "16384");
        rig.type(1042, offset);
        rig.click(1016);
        EXPECT_TRUE(rig.calls().empty()) << offset;
        EXPECT_TRUE(rig.surface.timers.empty()) << offset;
        const auto boxes = rig.surface.take_boxes();
        ASSERT_EQ(boxes.size(), 1u) << offset;
        EXPECT_EQ(boxes[0].kind, "warning");
        EXPECT_NE(boxes[0].text.find("0 to 16383"), std::string::npos) << boxes[0].text;
    }
    EXPECT_FALSE(rig.visible(1063));
    rig.type(1011, "16383");
    rig.click(1016);
    EXPECT_EQ(rig.calls(), (Calls{"rf_tx_stop()", "rf_tx_start(0, 16383)"}));
}

TEST(DialogTimers, CountsGoToTheirControlsAndLeaveTypedTextAlone) {
    Rig rig;
    rig.open();
    rig.type(1003, "CCB0");
    rig.api.tx_count = 0x80000000u;
    rig.dialog.on_timer(0);
    EXPECT_EQ(rig.calls(), Calls{"tx_packet(2)"});  // mode list at HT20
    EXPECT_EQ(rig.text(1020), "2147483648");
    rig.click(1016);
    rig.click(1021);
    EXPECT_EQ(rig.text(1020), "2147483648");  // TX OFF keeps it

    rig.choose(1000, 1);
    rig.api.take();
    struct Case {
        std::uint32_t errors, total;
        const char *per;
        bool reset;
    };
    const Case cases[] = {{1, 8, "12.5%", false}, {30, 3001, "1.0%", true}, {0, 0, "NA", false}};
    for (const Case &c : cases) {
        rig.api.rx_errors = c.errors;
        rig.api.rx_total = c.total;
        rig.dialog.on_timer(1);
        EXPECT_EQ(rig.text(1022), std::to_string(c.errors));
        EXPECT_EQ(rig.text(1023), std::to_string(c.total));
        EXPECT_EQ(rig.text(1031), c.per);
        EXPECT_EQ(rig.calls(), (c.reset ? Calls{"rf_rxpkt(1)", "rf_rxpkt_reset(1)"} : Calls{"rf_rxpkt(1)"}));
    }
    EXPECT_EQ(rig.text(1003), "CCB0");
}

TEST(DialogOption, PredistortionShowsItsStatusAndIsBusyWhileCalibrating) {
    Rig rig;
    rig.open();
    rig.reveal();
    std::string during;
    rig.api.on_call = [&](const std::string &call) {
        if (call == "rf_calibration()") {
            during = rig.text(1064) + (rig.surface.busy ? " busy" : "");
        }
    };
    rig.click(1044);
    EXPECT_EQ(during, "DPD... busy");
    EXPECT_EQ(rig.text(1064), "DPD ON");
    rig.api.registers[0xCCB0AD1C] = 1;
    rig.click(1044);
    EXPECT_EQ(rig.text(1064), "DPD OFF");
    rig.api.results["rf_2g_5g_padpd_cali"] = -1;
    rig.click(1044);
    EXPECT_EQ(rig.text(1064), "DPD Fail");
}

TEST(DialogOption, ScriptIsChosenLoadedAndReported) {
    Rig rig;
    rig.open();
    rig.reveal();
    TempFile script("script.txt", "DIList short\n" + line(0xCCB0A62C, 0x11111111) + "\n//end\n" +
                                      line(0xCCB0A400, 0) + "\n");
    rig.surface.chosen_file = std::nullopt;  // the prompt cancelled: the path stays
    rig.type(1040, "old.txt");
    ASSERT_TRUE(rig.dialog.notify(1040, deve::Notify::Browse));
    EXPECT_EQ(rig.text(1040), "old.txt");
    rig.surface.chosen_file = script.path();
    rig.dialog.notify(1040, deve::Notify::Browse);
    EXPECT_EQ(rig.text(1040), script.path());
    rig.surface.take_boxes();

    rig.click(1039);
    EXPECT_EQ(rig.calls(), Calls{W(0xCCB0A62C, 0x11111111)});
    auto boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, "information");
    EXPECT_EQ(boxes[0].text, "Done");
    EXPECT_EQ(boxes[0].details.rfind("1 register written, 1 DIList line skipped", 0), 0u);
    EXPECT_FALSE(rig.surface.busy);

    // Writes the transport fails are not "Done".
    rig.api.results["xolt_write_reg"] = -1;
    rig.click(1039);
    rig.api.results.erase("xolt_write_reg");
    EXPECT_EQ(rig.calls(), Calls{W(0xCCB0A62C, 0x11111111)});
    boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, "warning");
    EXPECT_NE(boxes[0].text.find("0 registers written"), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("The transport failed 1 register write: the chip may not hold that register."),
              std::string::npos) << boxes[0].text;

    const std::string missing = scripts::temp_path("absent.txt").string();
    rig.type(1040, missing);
    rig.click(1039);
    EXPECT_TRUE(rig.calls().empty());
    boxes = rig.surface.take_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, "warning");
    EXPECT_NE(boxes[0].text.find(missing), std::string::npos);
}

TEST(DialogOption, SensorAndRawWritesFollowTheLink) {
    Rig rig;
    rig.type(1067, "5");
    rig.click(1043);  // enabled in the template: works before OPEN
    EXPECT_EQ(rig.calls(), Calls{W(0xCCB0A630, 5)});
    rig.open();
    rig.reveal();
    rig.api.registers[0xCCB0A544] = 0x2A000000;
    rig.click(1015);
    EXPECT_EQ(rig.text(1066), "42");
    EXPECT_EQ(rig.calls().size(), 7u);
    rig.type(1014, "0X1234ABCD");
    rig.click(1037);
    EXPECT_EQ(rig.calls(), Calls{W(0xCCB0A62C, 0x1234ABCD)});
    rig.click(1002);
    rig.api.take();
    rig.click(1037);  // CLOSE disables it
    EXPECT_TRUE(rig.calls().empty());
}

}  // namespace
