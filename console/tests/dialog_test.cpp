// The dialog's behaviour over a recording surface: start, OPEN and CLOSE, the
// register panel, the selection lists, the presence check and what the edits
// take.
#include "dialog_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using fake::R;
using fake::W;
using Strings = std::vector<std::string>;

// The controls OPEN enables: the 23 of the template's design and the 11b
// gain list.
const int kOpenEnabled[] = {1016, 1021, 1017, 1018, 1005, 1006, 1039, 1036, 1027, 1026, 1029, 1025,
                            1000, 1019, 1044, 1053, 1046, 1057, 1058, 1054, 1015, 1037, 1043, 1065};

TEST(DialogStart, FieldsStartEmptyFixedListsAreFilledAndNothingIsCalled) {
    Rig rig;
    for (int id : {1007, 1008, 1038, 1020, 1022, 1023, 1031, 1047, 1061, 1062}) {
        EXPECT_EQ(rig.text(id), "") << id;
    }
    EXPECT_EQ(rig.items(1030), (Strings{"USB", "SDIO"}));
    EXPECT_EQ(rig.text(1030), "USB");
    EXPECT_EQ(rig.items(1069), (Strings{"LDO", "DCDC"}));
    EXPECT_EQ(rig.text(1069), "DCDC");
    EXPECT_EQ(rig.items(1027), (Strings{"20MHz", "24MHz", "25MHz", "26MHz", "40MHz"}));
    EXPECT_EQ(rig.text(1027), "25MHz");
    EXPECT_EQ(rig.items(1054), (Strings{"TX_PWR1", "TX_PWR2", "Freq_offset", "TX_Rate1"}));
    EXPECT_EQ(rig.text(1054), "TX_PWR1");
    for (int id : {1026, 1025, 1000, 1019, 1029, 1036, 1065}) {
        EXPECT_TRUE(rig.items(id).empty()) << id;
    }
    EXPECT_TRUE(rig.api.calls.empty());
    EXPECT_TRUE(rig.surface.boxes.empty());
}

TEST(DialogOpen, RunsTheSequenceFillsTheListsAndEnablesTheTestControls) {
    Rig rig;
    rig.type(1042, "77");
    rig.type(1011, "9");
    rig.click(1001);
    const Calls calls = rig.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "rf_init(4)");
    EXPECT_EQ(calls.back(), W(0xCCB0E134, 0x00100010));
    // Filling the lists runs none of their handlers.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "rf_rate(22)"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "rf_set_ch(1)"), 1);

    EXPECT_EQ(rig.text(1007), "Open Success");
    EXPECT_EQ(rig.text(1038), "0");
    EXPECT_EQ(rig.text(1011), "0");
    EXPECT_EQ(rig.text(1042), "151");
    EXPECT_EQ(rig.items(1026), (Strings{"2G", "5G"}));
    EXPECT_EQ(rig.text(1026), "2G");
    EXPECT_EQ(rig.items(1025).size(), 13u);
    EXPECT_EQ(rig.text(1025), "CH1_2412MHz");
    EXPECT_EQ(rig.text(1000), "11n-HT20");
    EXPECT_EQ(rig.items(1019).size(), 8u);
    EXPECT_EQ(rig.text(1019), "HT20-MCS7");
    EXPECT_EQ(rig.text(1029), "-3");
    EXPECT_EQ(rig.text(1036), "0");
    EXPECT_EQ(rig.items(1065).size(), 16u);
    EXPECT_EQ(rig.text(1065), "-2.5");
    for (int id : kOpenEnabled) {
        EXPECT_TRUE(rig.enabled(id)) << id;
    }
    // Enabling shows nothing that was hidden, and leaves the value edits.
    for (int id : {1005, 1053, 1057, 1044, 1063, 1065}) {
        EXPECT_FALSE(rig.visible(id)) << id;
    }
    EXPECT_FALSE(rig.enabled(1055));
    EXPECT_FALSE(rig.enabled(1056));
}

TEST(DialogOpen, UsesPortSupplyAndCrystalAndShowsTheChipId) {
    Rig rig;
    rig.api.chip_id = 0x7C000000;
    rig.choose(1030, 1);  // SDIO, LDO, 20MHz: no call until OPEN
    rig.choose(1069, 0);
    rig.choose(1027, 0);
    EXPECT_TRUE(rig.api.calls.empty());
    rig.click(1001);
    const Calls calls = rig.calls();
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3), (Calls{"rf_init(3)", "rf_xtal_set(0)", "rf_dcdc_onoff(0)"}));
    EXPECT_EQ(rig.text(1038), "7c000000");
}

TEST(DialogOpen, BusyWhileTheLibraryWorksAndFailureChangesOnlyTheStatus) {
    Rig rig;
    std::string status_during;
    bool busy_during = false;
    rig.api.on_call = [&](const std::string &call) {
        if (call == "rf_calibration()") {
            status_during = rig.text(1007);
            busy_during = rig.surface.busy;
        }
    };
    rig.click(1001);
    EXPECT_EQ(status_during, "Opening and calibrating...");
    EXPECT_TRUE(busy_during);
    EXPECT_FALSE(rig.surface.busy);

    Rig failing;
    failing.api.results["rf_init"] = -1;
    failing.click(1001);
    EXPECT_EQ(failing.calls(), Calls{"rf_init(4)"});
    EXPECT_EQ(failing.text(1007), "Open Fail");
    EXPECT_FALSE(failing.surface.busy);
    EXPECT_TRUE(failing.items(1026).empty());
    EXPECT_FALSE(failing.enabled(1016));
    EXPECT_EQ(failing.text(1038), "");
}

TEST(DialogOpen, FailureSaysWhyInAMessageBox) {
    using Reason = deve::OpenRefusal::Reason;
    struct Case {
        std::int32_t init_result;
        std::optional<deve::OpenRefusal> refusal;  // as the transport explains it
        std::string told;
        std::string load_failure;  // as the library explains a transport that did not load
    };
    const Case cases[] = {
        {-7, deve::OpenRefusal{Reason::Busy, 4242}, "The link did not open: board busy (held by process 4242).", ""},
        {-7, deve::OpenRefusal{Reason::Busy, std::nullopt}, "The link did not open: board busy.", ""},
        {-8, deve::OpenRefusal{Reason::Settings, std::nullopt},
         "The link did not open: the board refused its settings (a board setting in the environment is malformed "
         "or out of range).", ""},
        {-8, deve::OpenRefusal{Reason::StateFile, std::nullopt},
         "The link did not open: the board's fuse file (XOLT_FUSE_FILE) cannot be used: it is not a regular file, or "
         "cannot be read or stored.", ""},
        // A transport without the explanation: the code alone, whatever it is.
        {-7, std::nullopt, "The link did not open: the transport refused to open the link (code -7).", ""},
        {-1, std::nullopt, "The link did not open: the transport could not be loaded or did not initialise.", ""},
        {5, std::nullopt, "The link did not open: the transport refused to open the link (code 5).", ""},
        {-1, std::nullopt,
         "The link did not open: the transport could not be loaded: xolt.dll is a 32-bit (x86) DLL and this "
         "velmo.dll is 64-bit: use the x86 package.",
         "xolt.dll is a 32-bit (x86) DLL and this velmo.dll is 64-bit: use the x86 package"},
    };
    for (const Case &c : cases) {
        Rig rig;
        rig.api.results["rf_init"] = c.init_result;
        rig.api.refusal = c.refusal;
        rig.api.load_failure = c.load_failure;
        rig.click(1001);
        EXPECT_EQ(rig.calls(), Calls{"rf_init(4)"}) << c.init_result;
        EXPECT_EQ(rig.text(1007), "Open Fail");
        const std::vector<fake::RecordingSurface::Box> boxes = rig.surface.take_boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.init_result;
        EXPECT_EQ(boxes[0].kind, "warning");
        EXPECT_EQ(boxes[0].text, c.told);
    }
    // An open that succeeds says nothing.
    Rig rig;
    rig.click(1001);
    EXPECT_TRUE(rig.surface.boxes.empty());
}

TEST(DialogClose, StopsTheTimersDisablesAndDeinitsWithoutStoppingTheTests) {
    Rig rig;
    rig.open();
    rig.click(1016);
    rig.click(1017);
    EXPECT_EQ(rig.surface.timers, (std::map<int, unsigned>{{0, 1000}, {1, 1000}}));
    rig.api.take();
    rig.click(1002);
    EXPECT_EQ(rig.calls(), Calls{"rf_deinit()"});
    EXPECT_TRUE(rig.surface.timers.empty());
    EXPECT_EQ(rig.text(1007), "Close Success");
    for (int id : kOpenEnabled) {
        EXPECT_EQ(rig.enabled(id), id == 1027 || id == 1054) << id;
    }
    rig.click(1002);  // always possible
    EXPECT_EQ(rig.calls(), Calls{"rf_deinit()"});
}

TEST(DialogRegisters, ReadShowsHexAndWriteTakesBothFields) {
    Rig rig;
    rig.open();
    rig.api.registers[0xCCB0A400] = 0x06000004;
    rig.type(1003, "ccb0a400");
    rig.click(1006);
    EXPECT_EQ(rig.calls(), Calls{R(0xCCB0A400)});
    EXPECT_EQ(rig.text(1008), "6000004");
    rig.type(1003, "");
    rig.click(1006);
    EXPECT_EQ(rig.calls(), Calls{R(0)});
    EXPECT_EQ(rig.text(1008), "0");
    rig.type(1003, "CCB0ADAC");
    rig.type(1004, "0X100098");
    rig.click(1005);  // hidden but enabled: its handler works
    EXPECT_EQ(rig.calls(), Calls{W(0xCCB0ADAC, 0x00100098)});
}

TEST(DialogLists, BandAndModeRefillWithoutChoosingAndEachChoiceApplies) {
    Rig rig;
    rig.open();
    rig.choose(1026, 1);
    EXPECT_EQ(rig.items(1025).size(), 104u);
    EXPECT_EQ(rig.control(1025).selection, -1);
    rig.choose(1025, 33);
    rig.choose(1000, 1);  // 11g-OFDM: no call of its own
    EXPECT_EQ(rig.items(1019).back(), "7-OFDM-54M");
    EXPECT_EQ(rig.control(1019).selection, -1);
    rig.choose_text(1019, "7-OFDM-54M");
    rig.choose(1000, 3);
    rig.choose_text(1019, "HT40-MCS0");
    rig.choose(1000, 2);  // HT20 applies MCS7 at once, with nothing selected
    EXPECT_EQ(rig.control(1019).selection, -1);
    rig.choose_text(1036, "+1");  // on 5 GHz: the 5 GHz register only
    rig.choose_text(1029, "-15");
    rig.choose_text(1065, "+1.5");
    EXPECT_EQ(rig.calls(), (Calls{"rf_set_ch(100)", "rf_rate(14)", "rf_rate(31)", "rf_rate(22)",
                                  W(0xCCB0ADA8, 0x90909090), "rf_gain(1, 15)", "rf_brate_gain(0)"}));
}

TEST(DialogPresence, FailureIsShownAndTheDialogWorksAsUsual) {
    Rig found;
    ASSERT_NE(found.dialog.presence(), nullptr);
    EXPECT_TRUE(found.dialog.presence()->complete());

    Rig rig("libvelmo-not-here.so.0");
    EXPECT_FALSE(rig.dialog.presence()->loaded());
    ASSERT_EQ(rig.surface.boxes.size(), 1u);
    EXPECT_EQ(rig.surface.boxes[0].kind, "warning");
    EXPECT_NE(rig.surface.boxes[0].text.find("libvelmo-not-here.so.0"), std::string::npos);
    rig.open();
    EXPECT_EQ(rig.text(1007), "Open Success");
}

// A slip of the finger cannot reach a register: the register, engineering and
// MAC fields take no more hexadecimal digits than the value has.
TEST(OperatorInput, FieldsTakeOnlyWhatTheirValueCanHold) {
    Rig rig;
    struct Case {
        int id;
        const char *keys;
        const char *shown;
    };
    const Case cases[] = {
        {1003, "123456789", "12345678"},   {1003, "0xccb0a40g00", "0XCCB0A400"}, {1004, "beef", "BEEF"},
        {1014, "0x1234abcd5", "0X1234ABCD"}, {1067, "x0FFFFFFFFF", "0FFFFFFF"}, {1041, "1FF", "1F"},
        {1052, "0xa5b", "0XA5"},           {1042, "1a5-1", "151"},             {1011, "x20", "20"},
        {1055, "12345", "123"},
    };
    for (const Case &c : cases) {
        rig.type(c.id, "");
        rig.keys(c.id, c.keys);
        EXPECT_EQ(rig.text(c.id), c.shown) << c.id << " " << c.keys;
    }
}

// Once revealed, the 11b gain list follows the link like the other test
// controls: it cannot call rf_brate_gain on a closed link.
TEST(BrateGainList, IsEnabledByOpenAndDisabledByClose) {
    Rig rig;
    rig.open();
    rig.reveal();
    EXPECT_TRUE(rig.visible(1065));
    rig.click(1002);
    EXPECT_FALSE(rig.enabled(1065));
    rig.api.take();
    rig.choose(1065, 0);
    EXPECT_TRUE(rig.calls().empty());
    rig.click(1001);
    EXPECT_TRUE(rig.enabled(1065));
    rig.api.take();
    rig.choose(1065, 0);
    EXPECT_EQ(rig.calls(), Calls{"rf_brate_gain(0)"});
}

// Every way out but Esc leaves the radio as deve-cli does: with TX and RX
// running, both are stopped and the link closed before the dialog ends, and
// nothing else reaches the chip. Leaving again, or with the link closed,
// makes no call.
TEST(Leaving, EveryWayOutButEscStopsTxAndRxAndClosesTheLinkFirst) {
    const std::pair<deve::WayOut, const char *> ways[] = {
        {deve::WayOut::Ok, "OK"}, {deve::WayOut::CloseBox, "close box"}, {deve::WayOut::SessionEnd, "session end"}};
    for (const auto &[way, name] : ways) {
        Rig rig;
        rig.open();
        rig.click(IDC_TX_ON);
        rig.click(IDC_RX_ON);
        rig.api.take();
        rig.api.on_call = [&](const std::string &) { EXPECT_FALSE(rig.surface.ended) << name; };
        if (way == deve::WayOut::Ok) {
            rig.click(ID_OK);
        } else {
            EXPECT_TRUE(rig.dialog.leave(way)) << name;
        }
        EXPECT_TRUE(rig.surface.ended) << name;
        EXPECT_EQ(rig.calls(), (Calls{"rf_tx_stop()", "rf_rx_stop()", "rf_deinit()"})) << name;
        EXPECT_TRUE(rig.surface.timers.empty()) << name;
        EXPECT_FALSE(rig.dialog.link_open()) << name;
        EXPECT_TRUE(rig.dialog.leave(way)) << name;
        EXPECT_TRUE(rig.calls().empty()) << name;
    }
}

TEST(Leaving, EscEndsNothingAndTouchesNothing) {
    Rig rig;
    rig.open();
    rig.click(IDC_TX_ON);
    rig.api.take();
    EXPECT_FALSE(rig.dialog.leave(deve::WayOut::Escape));
    EXPECT_FALSE(rig.surface.ended);
    EXPECT_TRUE(rig.calls().empty());
    EXPECT_EQ(rig.surface.timers.count(TIMER_TX_COUNT), 1u);
    EXPECT_TRUE(rig.dialog.link_open());
}

TEST(Leaving, WithTheLinkClosedOrNeverOpenedNothingIsCalled) {
    Rig never;
    never.api.take();
    never.click(ID_OK);
    EXPECT_TRUE(never.surface.ended);
    EXPECT_TRUE(never.calls().empty());

    Rig closed;
    closed.open();
    closed.click(IDC_CLOSE);
    closed.api.take();
    EXPECT_TRUE(closed.dialog.leave(deve::WayOut::CloseBox));
    EXPECT_TRUE(closed.calls().empty());

    // A refused OPEN (the board busy) opened nothing.
    Rig refused;
    refused.api.results["rf_init"] = -7;
    refused.click(IDC_OPEN);
    refused.api.take();
    refused.click(ID_OK);
    EXPECT_TRUE(refused.calls().empty());

    // A refused OPEN after a good one leaves the first link open: it is
    // still closed on the way out.
    Rig reopened;
    reopened.open();
    reopened.api.results["rf_init"] = -7;
    reopened.click(IDC_OPEN);
    reopened.surface.take_boxes();
    reopened.api.take();
    reopened.click(ID_OK);
    EXPECT_EQ(reopened.calls(), (Calls{"rf_tx_stop()", "rf_rx_stop()", "rf_deinit()"}));
}

}  // namespace
