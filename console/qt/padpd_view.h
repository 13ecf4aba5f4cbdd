// The pre-distortion curves: the AM-AM gain (entry / 512) and the AM-PM phase
// offset (degrees) of each band's tables against the transmit scale, one
// curve per band, as read back from the table registers.
#pragma once

#include "deve/padpd_tables.h"

#include <QWidget>

#include <vector>

class QChart;
class QLabel;
class QLineSeries;
class QValueAxis;

class PadpdView : public QWidget {
    Q_OBJECT

public:
    explicit PadpdView(QWidget *parent = nullptr);

    // New curves, with a note on where they come from.
    void showCurves(const std::vector<deve::PadpdCurve> &curves, const QString &note);

    QChart *gainChart() const { return gain_; }
    QChart *phaseChart() const { return phase_; }
    // The series of a chart, one per band, in calibration order.
    QList<QLineSeries *> series(QChart *chart) const;
    QLabel *status() const { return status_; }

private:
    void clearCurves();

    QChart *gain_;
    QChart *phase_;
    QValueAxis *gainScale_;
    QValueAxis *gainAxis_;
    QValueAxis *phaseScale_;
    QValueAxis *phaseAxis_;
    QLabel *status_;
};
