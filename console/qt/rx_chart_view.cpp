#include "rx_chart_view.h"

#include "pictures_ids.h"

#include "deve/pictures.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QValueAxis>
#include <QVBoxLayout>


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

void setScale(QValueAxis *axis, const deve::AxisScale &scale) {
    axis->setRange(scale.low, scale.high);
    axis->setTickCount(scale.ticks);
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
    per_->setPen(QPen(QColor::fromRgb(deve::kPerCurveRgb), 2));
    rate_->setPen(QPen(QColor::fromRgb(deve::kRateCurveRgb), 2));

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
    tagPicture(view_, IDC_RX_CHART);

    // Its text changes: no fixed accessible name.
    tagPicture(summary_, IDC_RX_SUMMARY);
    summary_->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addWidget(summary_);
}

void RxChartView::show(const deve::RxHistory &history, const QString &summary) {
    history_ = history;
    per_->replace(pointsOf(history_.per()));
    rate_->replace(pointsOf(history_.rate()));
    setScale(time_, deve::receive_time_scale(history_));
    setScale(perAxis_, deve::receive_per_scale(history_));
    setScale(rateAxis_, deve::receive_rate_scale(history_));
    summary_->setText(summary);
}
