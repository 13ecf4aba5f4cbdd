#include "padpd_view.h"

#include "pictures_ids.h"

#include "deve/rx_history.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// One colour per band, in calibration order (2.4 GHz, channel 40, 100, 160).
constexpr QRgb kBandColours[] = {0x0072B2, 0xE69F00, 0x009E73, 0xCC79A7};
static_assert(std::size(kBandColours) == std::tuple_size_v<decltype(deve::kPadpdBands)>);

constexpr double kScaleTop = 128;  // the last sweep point
constexpr int kScaleTicks = 9;     // every 16
constexpr int kMinimumChartHeight = 140;
constexpr int kChartMargin = 4;
constexpr int kGainStretch = 10;
constexpr int kPhaseStretch = 15;
// Value ranges shown before there are curves, and always.
constexpr double kGainLow = 0.9;
constexpr double kGainHigh = 1.3;
constexpr double kPhaseLow = -10;
constexpr double kPhaseHigh = 30;
constexpr int kValueSteps = 3;
constexpr double kSmallestStep = 1e-3;
constexpr double kNextStep = 1.0001;  // just above a step: nice_ceiling gives the next one

QValueAxis *makeAxis(const QString &title, double low, double high) {
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(low, high);
    return axis;
}

QChart *makeChart(QValueAxis *x, QValueAxis *y) {
    auto *chart = new QChart;
    // Compact: no title (the axis titles say what is plotted) and narrow
    // margins, so that two charts fit the panel's height.
    chart->setMargins(QMargins(kChartMargin, kChartMargin, kChartMargin, kChartMargin));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    x->setTickCount(kScaleTicks);
    x->setLabelFormat(QStringLiteral("%d"));
    for (std::size_t b = 0; b < deve::kPadpdBands.size(); ++b) {
        auto *series = new QLineSeries;
        series->setName(QString::fromLatin1(deve::kPadpdBands[b].name));
        series->setPen(QPen(QColor::fromRgb(kBandColours[b]), 2));
        series->setPointsVisible(true);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QChartView *makeView(QChart *chart, int id, const QString &name) {
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(kMinimumChartHeight);
    tagPicture(view, id, name);
    return view;
}

// A range from at most `smallest` to at least `largest`, in kValueSteps steps
// of 1, 2 or 5 times a power of ten: few labels, so that they fit a short
// chart.
void fitAxis(QValueAxis *axis, double smallest, double largest) {
    double step = deve::nice_ceiling((largest - smallest) / kValueSteps, kSmallestStep);
    double bottom = std::floor(smallest / step) * step;
    while (bottom + kValueSteps * step < largest) {
        step = deve::nice_ceiling(step * kNextStep, kSmallestStep);
        bottom = std::floor(smallest / step) * step;
    }
    axis->setRange(bottom, bottom + kValueSteps * step);
    axis->setTickCount(kValueSteps + 1);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

}  // namespace

PadpdView::PadpdView(QWidget *parent)
    : QWidget(parent),
      gainScale_(makeAxis(QStringLiteral("TX scale (RG_TX_SCALE)"), 0, kScaleTop)),
      gainAxis_(makeAxis(QStringLiteral("AM-AM (/512)"), kGainLow, kGainHigh)),
      phaseScale_(makeAxis(QStringLiteral("TX scale (RG_TX_SCALE)"), 0, kScaleTop)),
      phaseAxis_(makeAxis(QStringLiteral("AM-PM (°)"), kPhaseLow, kPhaseHigh)),
      status_(new QLabel) {
    fitAxis(gainAxis_, kGainLow, kGainHigh);
    fitAxis(phaseAxis_, kPhaseLow, kPhaseHigh);
    gain_ = makeChart(gainScale_, gainAxis_);
    phase_ = makeChart(phaseScale_, phaseAxis_);
    // The charts share their scale axis and the bands' colours: the scale's
    // title and the legend once, below the second.
    gain_->legend()->hide();
    gainScale_->setTitleVisible(false);

    tagPicture(status_, IDC_PADPD_STATUS);
    status_->setWordWrap(true);
    status_->setText(QStringLiteral("The curves appear after a pre-distortion calibration (at OPEN, or DPD ON)."));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The second chart carries the legend: it gets the more height.
    layout->addWidget(makeView(gain_, IDC_PADPD_GAIN, QStringLiteral("AM-AM curves: gain against TX scale")),
                      kGainStretch);
    layout->addWidget(makeView(phase_, IDC_PADPD_PHASE, QStringLiteral("AM-PM curves: phase offset against TX scale")),
                      kPhaseStretch);
    layout->addWidget(status_);
}

QList<QLineSeries *> PadpdView::series(QChart *chart) const {
    QList<QLineSeries *> out;
    for (QAbstractSeries *s : chart->series()) {
        out.append(qobject_cast<QLineSeries *>(s));
    }
    return out;
}

void PadpdView::clearCurves() {
    for (QChart *chart : {gain_, phase_}) {
        for (QLineSeries *s : series(chart)) {
            s->clear();
        }
    }
}

void PadpdView::showCurves(const std::vector<deve::PadpdCurve> &curves, const QString &note) {
    clearCurves();
    const QList<QLineSeries *> gains = series(gain_);
    const QList<QLineSeries *> phases = series(phase_);
    // The axes always show the usual range, and widen to the values.
    double gainLow = kGainLow, gainHigh = kGainHigh;
    double phaseLow = kPhaseLow, phaseHigh = kPhaseHigh;
    for (std::size_t b = 0; b < curves.size() && b < static_cast<std::size_t>(gains.size()); ++b) {
        QList<QPointF> gainPoints;
        QList<QPointF> phasePoints;
        for (const deve::PadpdPoint &p : curves[b].points) {
            gainPoints.append(QPointF(p.scale, p.gain));
            phasePoints.append(QPointF(p.scale, p.phase));
            gainLow = std::min(gainLow, p.gain);
            gainHigh = std::max(gainHigh, p.gain);
            phaseLow = std::min(phaseLow, p.phase);
            phaseHigh = std::max(phaseHigh, p.phase);
        }
        const qsizetype i = static_cast<qsizetype>(b);
        gains[i]->setName(QString::fromStdString(curves[b].band));
        phases[i]->setName(QString::fromStdString(curves[b].band));
        gains[i]->replace(gainPoints);
        phases[i]->replace(phasePoints);
    }
    fitAxis(gainAxis_, gainLow, gainHigh);
    fitAxis(phaseAxis_, phaseLow, phaseHigh);
    status_->setText(note);
}

void PadpdView::showNote(const QString &note) {
    clearCurves();
    status_->setText(note);
}
