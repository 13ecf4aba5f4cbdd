#include "deve/pictures.h"

#include "deve/fuse_picture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace deve {

const std::array<const char *, kPictureTabs> kPictureTabNames = {"RX chart", "DPD curves", "eFuse map"};

namespace {

double steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string local_time_of_day() {
    const std::time_t now = std::time(nullptr);
    char text[16] = {};
    if (const std::tm *local = std::localtime(&now)) {
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    }
    return text;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The transmit scale of the sweep: 8 to 128, every 16.
constexpr double kScaleTop = 128;
constexpr int kScaleTicks = 9;
// The time axis in quarters: every 15 s of the first minute.
constexpr int kTimeTicks = 5;
// The gain and phase ranges shown before there are curves, and always.
constexpr double kGainLow = 0.9;
constexpr double kGainHigh = 1.3;
constexpr double kPhaseLow = -10;
constexpr double kPhaseHigh = 30;
constexpr int kValueSteps = 3;
constexpr double kSmallestStep = 1e-3;
constexpr double kNextStep = 1.0001;  // just above a step: nice_ceiling gives the next one

constexpr char kReceiveIdle[] = "RX ON starts a receive test; its counts are plotted here once a second.";
constexpr char kReceiveStarted[] = "Receive test started; waiting for the first count.";
constexpr char kCurvesIdle[] = "The curves appear after a pre-distortion calibration (at OPEN, or DPD ON).";
constexpr char kFusesIdle[] = "The map appears after \"Efuse read\", \"MAC Read\" or an eFuse write.";
constexpr char kFusesNoCycle[] = "The eFuse controller did not finish its read cycle: no map.";

}  // namespace

AxisScale zero_based_scale(double top) {
    const double leading = top / std::pow(10.0, std::floor(std::log10(top)));
    const double step = top / (std::lround(leading) == 2 ? 4 : 5);
    return {0, top, std::lround(leading) == 2 ? 5 : 6, std::max(0, -static_cast<int>(std::floor(std::log10(step))))};
}

AxisScale fitted_scale(double smallest, double largest, int steps) {
    double step = nice_ceiling((largest - smallest) / steps, kSmallestStep);
    double bottom = std::floor(smallest / step) * step;
    while (bottom + steps * step < largest) {
        step = nice_ceiling(step * kNextStep, kSmallestStep);
        bottom = std::floor(smallest / step) * step;
    }
    return {bottom, bottom + steps * step, steps + 1, std::max(0, -static_cast<int>(std::floor(std::log10(step))))};
}

AxisScale receive_time_scale(const RxHistory &history) {
    const std::pair<double, double> range = history.time_range();
    return {range.first, range.second, kTimeTicks, 0};
}

AxisScale receive_per_scale(const RxHistory &history) { return zero_based_scale(history.per_top()); }

AxisScale receive_rate_scale(const RxHistory &history) { return zero_based_scale(history.rate_top()); }

AxisScale curve_scale_axis() { return {0, kScaleTop, kScaleTicks, 0}; }

namespace {

template <typename Value>
AxisScale curve_axis(const std::vector<PadpdCurve> &curves, double low, double high, Value value) {
    for (const PadpdCurve &curve : curves) {
        for (const PadpdPoint &p : curve.points) {
            low = std::min(low, value(p));
            high = std::max(high, value(p));
        }
    }
    return fitted_scale(low, high, kValueSteps);
}

}  // namespace

AxisScale curve_gain_axis(const std::vector<PadpdCurve> &curves) {
    return curve_axis(curves, kGainLow, kGainHigh, [](const PadpdPoint &p) { return p.gain; });
}

AxisScale curve_phase_axis(const std::vector<PadpdCurve> &curves) {
    return curve_axis(curves, kPhaseLow, kPhaseHigh, [](const PadpdPoint &p) { return p.phase; });
}

PicturesPresenter::PicturesPresenter(RfApi &api, PicturesView &view)
    : api_(api), view_(view), clock_(steady_seconds), timeOfDay_(local_time_of_day), receiveSummary_(kReceiveIdle),
      curvesNote_(kCurvesIdle), fusesNote_(kFusesIdle) {}

void PicturesPresenter::set_clock(std::function<double()> clock) { clock_ = std::move(clock); }

void PicturesPresenter::set_time_of_day(std::function<std::string()> time_of_day) {
    timeOfDay_ = std::move(time_of_day);
}

void PicturesPresenter::set_open(bool open) {
    open_ = open;
    refresh();
}

void PicturesPresenter::set_tab(PictureTab tab) {
    tab_ = tab;
    refresh();
}

void PicturesPresenter::bring_forward(PictureTab tab) {
    if (open_ && tab_ != tab) {
        tab_ = tab;
        view_.show_tab(tab);
    }
}

void PicturesPresenter::link_opened(const OpenOutcome &outcome) {
    const bool calibrated = open_calibrated_predistortion(outcome);
    linkOpen_ = true;
    fusesStale_ = true;
    curvesStale_ = calibrated;
    if (calibrated) {
        curvesSource_ = "the calibration at OPEN";
    } else {
        curves_.clear();
        curvesNote_ = "Chip " + outcome.chip_id +
                      " skips the pre-distortion calibration at OPEN; the curves appear after DPD ON.";
        view_.picture_changed(PictureTab::Curves);
    }
    refresh();
}

void PicturesPresenter::link_closed() { linkOpen_ = false; }

void PicturesPresenter::predistortion_calibrated() {
    curvesStale_ = true;
    curvesSource_ = "DPD ON";
    bring_forward(PictureTab::Curves);
    refresh();
}

void PicturesPresenter::receive_started() {
    receiveStart_ = clock_();
    history_.clear();
    receiveSummary_ = kReceiveStarted;
    view_.picture_changed(PictureTab::Receive);
    bring_forward(PictureTab::Receive);
}

void PicturesPresenter::receive_reading(const RxCounts &counts) {
    const double seconds = clock_() - receiveStart_;
    history_.add(seconds, reading_of(counts));
    std::string text = "Since RX ON: " + std::to_string(history_.frames()) + " frames, " +
                       std::to_string(history_.errors()) + " in error";
    if (const std::optional<double> per = history_.overall_per()) {
        text += ", PER " + fixed(*per, 2) + " %";
    }
    if (history_.restarts() > 0) {
        text += "; counter restarts: " + std::to_string(history_.restarts());
    }
    // The reading behind the latest points, as the dialog's fields show it.
    text += ". Last reading: Err " + counts.errors + ", Total " + counts.total + ", PER " +
            counts.per.value_or("NA");
    const auto latest = [seconds](const std::deque<RxPoint> &points) {
        return !points.empty() && points.back().seconds == seconds ? std::optional<double>(points.back().value)
                                                                    : std::nullopt;
    };
    const std::optional<double> per = latest(history_.per());
    const std::optional<double> rate = latest(history_.rate());
    if (per || rate) {
        text += "; plotted";
        text += per ? " " + fixed(*per, 2) + " %" : "";
        text += per && rate ? "," : "";
        text += rate ? " " + fixed(*rate, 0) + " frames/s" : "";
    }
    receiveSummary_ = text + ".";
    view_.picture_changed(PictureTab::Receive);
}

void PicturesPresenter::fuses_touched() {
    fusesStale_ = true;
    bring_forward(PictureTab::Fuses);
    refresh();
}

void PicturesPresenter::refresh() {
    if (!linkOpen_ || !open_) {
        return;
    }
    if (tab_ == PictureTab::Curves && curvesStale_) {
        read_curves();
    } else if (tab_ == PictureTab::Fuses && fusesStale_) {
        read_fuses();
    }
}

void PicturesPresenter::read_curves() {
    curvesStale_ = false;
    curves_ = read_padpd_curves(api_);
    curvesNote_ = "Table registers read after " + curvesSource_ + ", at " + timeOfDay_() + ".";
    view_.picture_changed(PictureTab::Curves);
}

void PicturesPresenter::read_fuses() {
    fusesStale_ = false;
    const std::optional<FuseWords> words = read_fuse_words(api_);
    if (!words) {
        fuses_.reset();
        fusesNote_ = kFusesNoCycle;
    } else {
        fuses_ = decode_fuse_map(*words);
        fusesNote_ = fuse_free_text(*fuses_);
        if (fuses_->stray_bits > 0) {
            fusesNote_ += "; " + std::to_string(fuses_->stray_bits) + " blown fuses after the last record";
        }
        fusesNote_ += ". Hover a record for its item and value.";
    }
    view_.picture_changed(PictureTab::Fuses);
}

}  // namespace deve
