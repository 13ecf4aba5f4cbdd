#include "rx_chart_view.h"

#include "pictures_ids.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>

namespace {

QList<QPointF> pointsOf(const std::deque<deve::RxPoint> &points) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(points.size()));
    for (const deve::RxPoint &p : points) {
        out.append(QPointF(p.seconds, p.value));
    }
    return out;
}

QValueAxis *makeAxis(const QString &title, double top) {
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(0, top);
    axis->setLabelFormat(QStringLiteral("%g"));
    return axis;
}

constexpr int kMinimumChartHeight = 220;

// A top of 1, 2 or 5 times a power of ten, divided into round steps: fifths
// of 1 and 5, quarters of 2.
void setTop(QValueAxis *axis, double top) {
    const double leading = top / std::pow(10.0, std::floor(std::log10(top)));
    axis->setRange(0, top);
    axis->setTickCount(std::lround(leading) == 2 ? 5 : 6);
}

}  // namespace

RxChartView::RxChartView(QWidget *parent)
    : QWidget(parent),
      chart_(new QChart),
      per_(new QLineSeries),
      rate_(new QLineSeries),
      time_(makeAxis(QStringLiteral("seconds since RX ON"), deve::RxHistory::kMinimumSpanSeconds)),
      perAxis_(makeAxis(QStringLiteral("PER (%)"), 1)),
      rateAxis_(makeAxis(QStringLiteral("frames/s"), 10)),
      summary_(new QLabel) {
    per_->setName(QStringLiteral("PER (%)"));
    rate_->setName(QStringLiteral("frames received per second"));
    per_->setPen(QPen(QColor(0xD5, 0x5E, 0x00), 2));
    rate_->setPen(QPen(QColor(0x00, 0x72, 0xB2), 2));

    chart_->setTitle(QStringLiteral("Receive test"));
    chart_->addSeries(per_);
    chart_->addSeries(rate_);
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(perAxis_, Qt::AlignLeft);
    chart_->addAxis(rateAxis_, Qt::AlignRight);
    per_->attachAxis(time_);
    per_->attachAxis(perAxis_);
    rate_->attachAxis(time_);
    rate_->attachAxis(rateAxis_);
    perAxis_->setLinePenColor(per_->pen().color());
    rateAxis_->setLinePenColor(rate_->pen().color());
    chart_->legend()->setAlignment(Qt::AlignBottom);

    view_ = new QChartView(chart_);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumHeight(kMinimumChartHeight);
    tagPicture(view_, IDC_RX_CHART, QStringLiteral("Receive chart: packet error rate and frames per second"));

    // Its text changes: no fixed accessible name.
    tagPicture(summary_, IDC_RX_SUMMARY);
    summary_->setWordWrap(true);
    summary_->setText(QStringLiteral("RX ON starts a receive test; its counts are plotted here once a second."));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addWidget(summary_);
    redraw();
}

void RxChartView::start() {
    history_.clear();
    redraw();
    summary_->setText(QStringLiteral("Receive test started; waiting for the first count."));
}

void RxChartView::add(double seconds, const deve::RxReading &reading) {
    history_.add(seconds, reading);
    redraw();
    QString text = QStringLiteral("Since RX ON: %1 frames, %2 in error").arg(history_.frames()).arg(history_.errors());
    if (const std::optional<double> per = history_.overall_per()) {
        text += QStringLiteral(", PER %1 %").arg(*per, 0, 'f', 2);
    }
    if (history_.restarts() > 0) {
        text += QStringLiteral("; counter restarts: %1").arg(history_.restarts());
    }
    summary_->setText(text + QLatin1Char('.'));
}

void RxChartView::redraw() {
    per_->replace(pointsOf(history_.per()));
    rate_->replace(pointsOf(history_.rate()));
    const std::pair<double, double> range = history_.time_range();
    time_->setRange(range.first, range.second);
    setTop(perAxis_, history_.per_top());
    setTop(rateAxis_, history_.rate_top());
}
