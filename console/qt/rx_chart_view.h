// The live receive chart: packet error rate and frames received per second of
// each timer interval since RX ON, over the last five minutes, with a line of
// text that sums the test up.
#pragma once

#include "deve/rx_history.h"

#include <QWidget>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QValueAxis;

class RxChartView : public QWidget {
    Q_OBJECT

public:
    explicit RxChartView(QWidget *parent = nullptr);

    // The receive test's history, and the line that sums it up.
    void show(const deve::RxHistory &history, const QString &summary);

    const deve::RxHistory &history() const { return history_; }
    QLineSeries *perSeries() const { return per_; }
    QLineSeries *rateSeries() const { return rate_; }
    QValueAxis *timeAxis() const { return time_; }
    QLabel *summary() const { return summary_; }

private:
    deve::RxHistory history_;
    QChart *chart_;
    QChartView *view_;
    QLineSeries *per_;
    QLineSeries *rate_;
    QValueAxis *time_;
    QValueAxis *perAxis_;
    QValueAxis *rateAxis_;
    QLabel *summary_;
};
