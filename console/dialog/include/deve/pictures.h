// The pictures panel's behaviour, written once for every skin: the receive
// chart, the pre-distortion curves and the eFuse map, one tab each, beside
// the dialog's groups.
//
// As the dialog's observer it hears what the handlers did (the link opened
// or closed, a calibration ran, a receive test started or was read, the
// fuses were read or written). Receive readings go into the chart's history
// as they come, with the counts carried across every counter restart. The
// curves and the map are read from the chip only when their tab is in view
// in the open panel: an event marks them stale, and they are read at once
// when the panel shows that tab, or later when the operator opens it.
// Whatever the event, nothing is read while the link is closed.
//
// The skin tells the presenter when the panel opens or hides and which tab
// the operator chose, and draws what the presenter holds when it says a
// picture changed.
#pragma once

#include "deve/dialog.h"
#include "deve/efuse_map.h"
#include "deve/padpd_tables.h"
#include "deve/rf_api.h"
#include "deve/rx_history.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace deve {

enum class PictureTab { Receive = 0, Curves = 1, Fuses = 2 };
constexpr int kPictureTabs = 3;
// The tabs' captions, in order.
extern const std::array<const char *, kPictureTabs> kPictureTabNames;

// The skin's side: it draws.
class PicturesView {
public:
    virtual ~PicturesView() = default;
    // Brings a tab into view; asked only while the panel is open.
    virtual void show_tab(PictureTab tab) = 0;
    // A picture's data changed: draw it again.
    virtual void picture_changed(PictureTab tab) = 0;
};

// Colours shared by the skins (0xRRGGBB): the receive chart's two curves,
// and one per pre-distortion band in calibration order.
constexpr std::uint32_t kPerCurveRgb = 0xD55E00;
constexpr std::uint32_t kRateCurveRgb = 0x0072B2;
constexpr std::array<std::uint32_t, 4> kBandCurveRgb = {0x0072B2, 0xE69F00, 0x009E73, 0xCC79A7};
static_assert(kBandCurveRgb.size() == std::tuple_size_v<decltype(kPadpdBands)>);

// A value axis: from low to high with `ticks` labelled ticks (both ends
// included), labels with `decimals` decimals.
struct AxisScale {
    double low = 0;
    double high = 1;
    int ticks = 2;
    int decimals = 0;
};
// From 0 to a top of 1, 2 or 5 times a power of ten, in round steps:
// fifths of 1 and 5, quarters of 2.
AxisScale zero_based_scale(double top);
// A range from at most `smallest` to at least `largest` in `steps` steps of
// 1, 2 or 5 times a power of ten: few labels, so that they fit a short chart.
AxisScale fitted_scale(double smallest, double largest, int steps);

// The receive chart's axes.
AxisScale receive_time_scale(const RxHistory &history);
AxisScale receive_per_scale(const RxHistory &history);
AxisScale receive_rate_scale(const RxHistory &history);
// The curves' axes: the transmit scale (0 to 128, every 16), and the gain
// and phase ranges, which always show the usual range and widen to the values.
AxisScale curve_scale_axis();
AxisScale curve_gain_axis(const std::vector<PadpdCurve> &curves);
AxisScale curve_phase_axis(const std::vector<PadpdCurve> &curves);

class PicturesPresenter final : public DialogObserver {
public:
    // `api` and `view` outlive the presenter. The panel starts hidden, on
    // the receive tab.
    PicturesPresenter(RfApi &api, PicturesView &view);

    // Seconds on a steady clock (the receive chart's time base) and the time
    // of day as the curves' note shows it ("14:03:27"); tests set their own.
    void set_clock(std::function<double()> clock);
    void set_time_of_day(std::function<std::string()> time_of_day);

    // ---- from the skin -----------------------------------------------------
    // The panel shown (on screen) or hidden.
    void set_open(bool open);
    // The operator chose a tab (or the skin brought one into view).
    void set_tab(PictureTab tab);
    bool is_open() const { return open_; }
    PictureTab tab() const { return tab_; }

    // ---- from the dialog's behaviour --------------------------------------
    void link_opened(const OpenOutcome &outcome) override;
    void link_closed() override;
    void predistortion_calibrated() override;
    void receive_started() override;
    void receive_reading(const RxCounts &counts) override;
    void fuses_touched() override;

    // ---- what the pictures show --------------------------------------------
    bool link_open() const { return linkOpen_; }
    const RxHistory &receive() const { return history_; }
    // The line below the chart: the counts since RX ON.
    const std::string &receive_summary() const { return receiveSummary_; }
    const std::vector<PadpdCurve> &curves() const { return curves_; }
    // Where the curves come from, or why there are none.
    const std::string &curves_note() const { return curvesNote_; }
    const std::optional<FuseMap> &fuses() const { return fuses_; }
    // The free bits, or why there is no map.
    const std::string &fuses_note() const { return fusesNote_; }
    bool curves_stale() const { return curvesStale_; }
    bool fuses_stale() const { return fusesStale_; }

private:
    // Brings a tab into view when the panel is open.
    void bring_forward(PictureTab tab);
    // Reads what the tab in view needs, if it is stale and the link is open.
    void refresh();
    void read_curves();
    void read_fuses();

    RfApi &api_;
    PicturesView &view_;
    std::function<double()> clock_;
    std::function<std::string()> timeOfDay_;
    bool open_ = false;
    PictureTab tab_ = PictureTab::Receive;
    bool linkOpen_ = false;

    RxHistory history_;
    double receiveStart_ = 0;
    std::string receiveSummary_;

    std::vector<PadpdCurve> curves_;
    std::string curvesNote_;
    std::string curvesSource_;
    bool curvesStale_ = false;

    std::optional<FuseMap> fuses_;
    std::string fusesNote_;
    bool fusesStale_ = false;
};

}  // namespace deve
