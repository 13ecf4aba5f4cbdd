#include "padpd_view.h"

#include "pictures_ids.h"

#include "deve/pictures.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <QVBoxLayout>


namespace {

constexpr int kMinimumChartHeight = 140;
constexpr int kChartMargin = 4;
constexpr int kGainStretch = 10;
constexpr int kPhaseStretch = 15;

QValueAxis *makeAxis(const QString &title) {
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
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
    for (std::size_t b = 0; b < deve::kPadpdBands.size(); ++b) {
        auto *series = new QLineSeries;
        series->setName(QString::fromLatin1(deve::kPadpdBands[b].name));
        series->setPen(QPen(QColor::fromRgb(deve::kBandCurveRgb[b]), 2));
        series->setPointsVisible(true);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QChartView *makeView(QChart *chart, int id) {
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(kMinimumChartHeight);
    tagPicture(view, id);
    return view;
}

void setScale(QValueAxis *axis, const deve::AxisScale &scale) {
    axis->setRange(scale.low, scale.high);
    axis->setTickCount(scale.ticks);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(scale.decimals));
}

}  // namespace

PadpdView::PadpdView(QWidget *parent)
    : QWidget(parent),
      gainScale_(makeAxis(QStringLiteral("TX scale (RG_TX_SCALE)"))),
      gainAxis_(makeAxis(QStringLiteral("AM-AM (/512)"))),
      phaseScale_(makeAxis(QStringLiteral("TX scale (RG_TX_SCALE)"))),
      phaseAxis_(makeAxis(QStringLiteral("AM-PM (°)"))),
      status_(new QLabel) {
    setScale(gainScale_, deve::curve_scale_axis());
    setScale(phaseScale_, deve::curve_scale_axis());
    setScale(gainAxis_, deve::curve_gain_axis({}));
    setScale(phaseAxis_, deve::curve_phase_axis({}));
    gain_ = makeChart(gainScale_, gainAxis_);
    phase_ = makeChart(phaseScale_, phaseAxis_);
    // The charts share their scale axis and the bands' colours: the scale's
    // title and the legend once, below the second.
    gain_->legend()->hide();
    gainScale_->setTitleVisible(false);

    tagPicture(status_, IDC_PADPD_STATUS);
    status_->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The second chart carries the legend: it gets the more height.
    layout->addWidget(makeView(gain_, IDC_PADPD_GAIN), kGainStretch);
    layout->addWidget(makeView(phase_, IDC_PADPD_PHASE), kPhaseStretch);
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
    for (std::size_t b = 0; b < curves.size() && b < static_cast<std::size_t>(gains.size()); ++b) {
        QList<QPointF> gainPoints;
        QList<QPointF> phasePoints;
        for (const deve::PadpdPoint &p : curves[b].points) {
            gainPoints.append(QPointF(p.scale, p.gain));
            phasePoints.append(QPointF(p.scale, p.phase));
        }
        const qsizetype i = static_cast<qsizetype>(b);
        gains[i]->setName(QString::fromStdString(curves[b].band));
        phases[i]->setName(QString::fromStdString(curves[b].band));
        gains[i]->replace(gainPoints);
        phases[i]->replace(phasePoints);
    }
    setScale(gainAxis_, deve::curve_gain_axis(curves));
    setScale(phaseAxis_, deve::curve_phase_axis(curves));
    status_->setText(note);
}
