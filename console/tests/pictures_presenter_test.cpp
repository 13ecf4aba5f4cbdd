// The pictures panel's behaviour, toolkit-free: the presenter as the
// dialog's observer over the recording stand-in, with a view that records
// what it is asked to draw and turns to the tab it is asked to show, as a
// skin's tab control does. The receive chart fed by the timer, the curves
// and the map read when (and only when) their tab is in view on an open
// link.
#include "dialog_rig.h"

#include "deve/fuse_picture.h"
#include "deve/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using deve::PictureTab;
using fake::R;
using fake::W;

constexpr std::uint32_t kFuseStatus = 0xC200010C;
constexpr std::uint32_t kFuseData0 = 0xC2000120;
constexpr std::uint32_t kFirstAmAm = 0xCCB0AD20;

class RecordingView final : public deve::PicturesView {
public:
    deve::PicturesPresenter *presenter = nullptr;
    std::vector<PictureTab> shown;    // tabs brought into view
    std::vector<PictureTab> changed;  // pictures to draw again

    void show_tab(PictureTab tab) override {
        shown.push_back(tab);
        presenter->set_tab(tab);  // the tab control's change notification
    }
    void picture_changed(PictureTab tab) override { changed.push_back(tab); }
};

// A dialog with the presenter as its observer (made before the dialog uses
// it), on a clock and a time of day the test sets.
class PictureRig : public Rig {
public:
    PictureRig() : Rig(deve::velmo_library_file(), &presenter), presenter(api, view) {
        view.presenter = &presenter;
        presenter.set_clock([this] { return now; });
        presenter.set_time_of_day([] { return std::string("14:03:27"); });
    }

    RecordingView view;
    deve::PicturesPresenter presenter;
    double now = 100.0;

    std::size_t reads(std::uint32_t address) {
        return static_cast<std::size_t>(std::count(api.calls.begin(), api.calls.end(), R(address)));
    }
};

// Header 0x7C000000; TX_PWR1 3,5 then 4,6 (the first superseded); crystal
// 140; free from bit 68.
std::array<std::uint32_t, 8> known_fuses() {
    const std::uint64_t records = 0x355ull | (0x465ull << 12) | (0x8C4ull << 24);
    return {0x7C000000, static_cast<std::uint32_t>(records), static_cast<std::uint32_t>(records >> 32), 0, 0, 0, 0, 0};
}

TEST(PicturesPresenter, StartsHiddenOnTheReceiveTabWithItsNotes) {
    PictureRig rig;
    EXPECT_FALSE(rig.presenter.is_open());
    EXPECT_EQ(rig.presenter.tab(), PictureTab::Receive);
    EXPECT_EQ(rig.presenter.receive_summary(),
              "RX ON starts a receive test; its counts are plotted here once a second.");
    EXPECT_EQ(rig.presenter.curves_note(),
              "The curves appear after a pre-distortion calibration (at OPEN, or DPD ON).");
    EXPECT_EQ(rig.presenter.fuses_note(), "The map appears after \"Efuse read\", \"MAC Read\" or an eFuse write.");
    // Opening and hiding on a closed link reads nothing.
    rig.presenter.set_open(true);
    rig.presenter.set_tab(PictureTab::Curves);
    rig.presenter.set_tab(PictureTab::Fuses);
    rig.presenter.set_open(false);
    EXPECT_TRUE(rig.calls().empty());
}

// A receive test at 1000 frames a second with 1 % errors; the console
// restarts the counters once the total passes 3000. The chart carries the
// counts across the restart, and a new RX ON starts a new chart.
TEST(PicturesPresenter, ReceiveChartCarriesTheCountsAcrossTheRestart) {
    PictureRig rig;
    rig.open();
    rig.presenter.set_open(true);
    rig.presenter.set_tab(PictureTab::Fuses);
    rig.view.shown.clear();
    rig.click(IDC_RX_ON);
    EXPECT_EQ(rig.view.shown, std::vector<PictureTab>{PictureTab::Receive});
    EXPECT_EQ(rig.presenter.receive_summary(), "Receive test started; waiting for the first count.");
    std::uint32_t errors = 0;
    std::uint32_t total = 0;
    for (int second = 1; second <= 6; ++second) {
        errors += 10;
        total += 1000;
        rig.api.rx_errors = errors;
        rig.api.rx_total = total;
        rig.now += 1.0;
        rig.view.changed.clear();
        rig.dialog.on_timer(TIMER_RX_COUNT);
        EXPECT_EQ(rig.view.changed, std::vector<PictureTab>{PictureTab::Receive});
        if (!rig.api.named("rf_rxpkt_reset").empty() && total > 3000) {
            errors = 0;  // the stand-in's counters restart with the reset
            total = 0;
        }
    }
    EXPECT_EQ(rig.api.named("rf_rxpkt_reset").size(), 1u);
    const deve::RxHistory &history = rig.presenter.receive();
    ASSERT_EQ(history.per().size(), 6u);
    ASSERT_EQ(history.rate().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(history.per()[i].seconds, static_cast<double>(i + 1));
        EXPECT_DOUBLE_EQ(history.per()[i].value, 1.0);
        EXPECT_DOUBLE_EQ(history.rate()[i].value, 1000.0);
    }
    const deve::AxisScale time = deve::receive_time_scale(history);
    EXPECT_DOUBLE_EQ(time.low, 0.0);
    EXPECT_DOUBLE_EQ(time.high, 60.0);
    EXPECT_EQ(rig.presenter.receive_summary(), "Since RX ON: 6000 frames, 60 in error, PER 1.00 %; counter restarts: 1. Last reading: Err 20, "
              "Total 2000, PER 1.0%; plotted 1.00 %, 1000 frames/s.");
    // The dialog's own fields show the last reading, as the chart's last point.
    EXPECT_EQ(rig.text(IDC_TOTAL_PKT), "2000");

    rig.click(IDC_RX_ON);
    EXPECT_TRUE(rig.presenter.receive().per().empty());
    EXPECT_TRUE(rig.presenter.receive().rate().empty());
    rig.now += 2.0;
    rig.api.rx_total = 500;
    rig.api.rx_errors = 0;
    rig.dialog.on_timer(TIMER_RX_COUNT);
    ASSERT_EQ(rig.presenter.receive().rate().size(), 1u);
    EXPECT_DOUBLE_EQ(rig.presenter.receive().rate()[0].seconds, 2.0);
    EXPECT_DOUBLE_EQ(rig.presenter.receive().rate()[0].value, 250.0);
}

TEST(PicturesPresenter, CurvesAreReadWhenInViewAfterTheCalibrationAtOpen) {
    PictureRig rig;
    rig.api.registers[kFirstAmAm] = (520u << 16) | 512u;
    rig.click(IDC_OPEN);
    EXPECT_TRUE(rig.presenter.curves_stale());
    EXPECT_EQ(rig.reads(kFirstAmAm), 0u);  // hidden: OPEN reads no table
    rig.api.take();

    rig.presenter.set_open(true);
    EXPECT_TRUE(rig.calls().empty());  // the receive tab is in view
    rig.presenter.set_tab(PictureTab::Curves);
    const Calls calls = rig.calls();
    ASSERT_EQ(calls.size(), 104u);
    EXPECT_EQ(calls.front(), R(kFirstAmAm));
    EXPECT_FALSE(rig.presenter.curves_stale());
    ASSERT_EQ(rig.presenter.curves().size(), 4u);
    EXPECT_EQ(rig.presenter.curves()[0].band, "2.4 GHz");
    EXPECT_DOUBLE_EQ(rig.presenter.curves()[0].points[1].gain, 520.0 / 512);
    EXPECT_EQ(rig.presenter.curves_note(), "Table registers read after the calibration at OPEN, at 14:03:27.");

    // Coming back to the tab reads nothing new; closing the panel neither.
    rig.presenter.set_tab(PictureTab::Receive);
    rig.presenter.set_tab(PictureTab::Curves);
    rig.presenter.set_open(false);
    rig.presenter.set_open(true);
    EXPECT_TRUE(rig.calls().empty());
}

TEST(PicturesPresenter, DpdOnRereadsTheCurvesInViewAndDpdOffDoesNot) {
    PictureRig rig;
    rig.open();
    rig.reveal();
    rig.presenter.set_open(true);
    rig.presenter.set_tab(PictureTab::Curves);
    rig.presenter.set_tab(PictureTab::Fuses);
    rig.api.take();
    rig.api.registers[kFirstAmAm] = 600;
    rig.api.registers[0xCCB0AD1C] = 0;  // off: DPD ON/OFF calibrates
    rig.click(IDC_DPD);
    EXPECT_EQ(rig.text(IDC_DPD_STATUS), "DPD ON");
    EXPECT_EQ(rig.presenter.tab(), PictureTab::Curves);
    const Calls calls = rig.calls();
    const auto cali = std::find(calls.begin(), calls.end(), "rf_2g_5g_padpd_cali(1)");
    const auto table = std::find(calls.begin(), calls.end(), R(kFirstAmAm));
    ASSERT_NE(cali, calls.end());
    ASSERT_NE(table, calls.end());
    EXPECT_GT(table, cali);
    EXPECT_DOUBLE_EQ(rig.presenter.curves()[0].points[0].gain, 600.0 / 512);
    EXPECT_EQ(rig.presenter.curves_note(), "Table registers read after DPD ON, at 14:03:27.");

    rig.api.registers[0xCCB0AD1C] = 1;  // on: DPD ON/OFF switches it off
    rig.click(IDC_DPD);
    EXPECT_EQ(rig.text(IDC_DPD_STATUS), "DPD OFF");
    EXPECT_EQ(rig.reads(kFirstAmAm), 0u);
}

TEST(PicturesPresenter, AChipThatSkipsTheCalibrationShowsNoCurves) {
    PictureRig rig;
    rig.api.chip_id = 0x7C000000;
    rig.presenter.set_open(true);
    rig.presenter.set_tab(PictureTab::Curves);
    rig.click(IDC_OPEN);
    EXPECT_FALSE(rig.presenter.curves_stale());
    EXPECT_EQ(rig.reads(kFirstAmAm), 0u);
    EXPECT_TRUE(rig.presenter.curves().empty());
    EXPECT_EQ(rig.presenter.curves_note(),
              "Chip 7c000000 skips the pre-distortion calibration at OPEN; the curves appear after DPD ON.");
}

TEST(PicturesPresenter, FuseMapFollowsReadsAndWrites) {
    PictureRig rig;
    rig.api.set_fuses(known_fuses());
    rig.open();
    // Hidden: "Efuse read" makes only its own calls.
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.calls(), (Calls{"rf_efuse_read_tx_power1()", "rf_get_efuse_free_bits()"}));
    EXPECT_TRUE(rig.presenter.fuses_stale());

    rig.presenter.set_open(true);
    rig.click(IDC_EFUSE_READ);
    EXPECT_EQ(rig.presenter.tab(), PictureTab::Fuses);
    const Calls calls = rig.calls();
    ASSERT_GT(calls.size(), 2u);
    EXPECT_EQ(calls[2], W(0xC2000114, 1));
    EXPECT_EQ(calls.back(), R(0xC200013C));
    ASSERT_TRUE(rig.presenter.fuses().has_value());
    EXPECT_EQ(rig.presenter.fuses()->records.size(), 3u);
    EXPECT_EQ(rig.presenter.fuses_note(), "Free: 188 bits. Hover a record for its item and value.");

    // A burn appends a record (the stand-in's fuses take it as the library
    // writes); the map shown is the one after it.
    std::array<std::uint32_t, 8> more = known_fuses();
    more[2] |= 0x30Cu << 4;  // an 11b gain record (type 12, data 0x30) at bit 68
    rig.api.on_call = [&](const std::string &call) {
        if (call == "rf_efuse_write_rate_gain_b_n40(3, 0)") {
            rig.api.set_fuses(more);
        }
    };
    rig.reveal();
    rig.choose(IDC_EFUSE_ITEM, 3);
    rig.type(IDC_EFUSE_FIRST, "3");
    rig.click(IDC_EFUSE_WRITE);
    EXPECT_EQ(rig.text(IDC_EFUSE_RESULT), "success");
    EXPECT_EQ(rig.reads(kFuseData0), 3u);  // planned, verified, and drawn
    ASSERT_TRUE(rig.presenter.fuses().has_value());
    EXPECT_EQ(deve::fuse_cell_tip(*rig.presenter.fuses(), 70), "TX_Rate1 = 3,0 (record type 12, bits 68-79)");
}

TEST(PicturesPresenter, FuseMapTellsWhenTheControllerDoesNotAnswer) {
    PictureRig rig;
    rig.open();
    rig.presenter.set_open(true);
    rig.api.registers[kFuseStatus] = 0;
    rig.click(IDC_MAC_READ);
    EXPECT_FALSE(rig.presenter.fuses().has_value());
    EXPECT_EQ(rig.presenter.fuses_note(), "The eFuse controller did not finish its read cycle: no map.");
}

// Closed by CLOSE or by a way out, the link is not read; opened again, the
// stale map is read when in view.
TEST(PicturesPresenter, NothingIsReadWhileTheLinkIsClosed) {
    PictureRig rig;
    rig.api.set_fuses(known_fuses());
    rig.open();
    rig.click(IDC_EFUSE_READ);  // panel hidden: the map is stale
    rig.click(IDC_CLOSE);
    rig.api.take();
    rig.presenter.set_open(true);
    rig.presenter.set_tab(PictureTab::Fuses);
    rig.presenter.set_tab(PictureTab::Curves);
    EXPECT_TRUE(rig.calls().empty());
    rig.click(IDC_OPEN);
    rig.api.take();
    rig.presenter.set_tab(PictureTab::Fuses);
    EXPECT_EQ(rig.reads(kFuseData0), 1u);

    rig.presenter.set_open(false);
    rig.click(IDC_EFUSE_READ);
    EXPECT_TRUE(rig.dialog.leave(deve::WayOut::CloseBox));
    EXPECT_FALSE(rig.presenter.link_open());
    rig.api.take();
    rig.presenter.set_open(true);
    EXPECT_TRUE(rig.calls().empty());
}

TEST(PictureAxes, RoundStepsForTheChartsAndTheCurves) {
    const deve::AxisScale two = deve::zero_based_scale(2);
    EXPECT_EQ(two.ticks, 5);  // quarters of 2
    const deve::AxisScale fifty = deve::zero_based_scale(50);
    EXPECT_EQ(fifty.ticks, 6);  // fifths of 5
    EXPECT_EQ(fifty.decimals, 0);
    EXPECT_EQ(deve::zero_based_scale(1).decimals, 1);
    // The usual gain range 0.9-1.3 in three steps of 0.2 from 0.8.
    const deve::AxisScale gain = deve::curve_gain_axis({});
    EXPECT_NEAR(gain.low, 0.8, 1e-9);
    EXPECT_NEAR(gain.high, 1.4, 1e-9);
    EXPECT_EQ(gain.ticks, 4);
    EXPECT_EQ(gain.decimals, 1);
    // A curve beyond the range widens the axis to take it.
    deve::PadpdCurve wide;
    wide.points.push_back({8, 0, 0, 0.9, -70.0});
    const deve::AxisScale phase = deve::curve_phase_axis({wide});
    EXPECT_LE(phase.low, -70.0);
    EXPECT_GE(phase.high, 30.0);
}

}  // namespace
