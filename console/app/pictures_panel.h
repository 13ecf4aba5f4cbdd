// The pictures side panel beside the dialog's groups: the receive chart, the
// pre-distortion curves and the eFuse map, one tab each. A button of the
// dialog's bottom row opens and hides it; hidden, the dialog is as it was.
//
// The dialog's behaviour tells the panel, as its observer, what happened (the
// link opened or closed, a calibration ran, a receive test started or was
// read, the fuses were read or written). Receive readings are plotted as they come. The
// curves and the map are read from the chip only when their tab is in view:
// an event marks them stale, and they are read at once when the panel shows
// that tab, or later when the operator opens it. Whatever the event, nothing
// is read while the link is closed.
#pragma once

#include "deve/dialog.h"
#include "deve/operations.h"
#include "deve/rf_api.h"

#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class FuseMapView;
class PadpdView;
class QPushButton;
class QTabWidget;
class RxChartView;

class PicturesPanel : public QWidget, public deve::DialogObserver {
    Q_OBJECT

public:
    enum Tab { ReceiveTab = 0, CurvesTab = 1, FuseTab = 2 };

    // `api` outlives the panel.
    explicit PicturesPanel(deve::RfApi &api, QWidget *parent = nullptr);

    // The button that opens and hides the panel, for the dialog's button row
    // (the dialog's layout takes ownership).
    QPushButton *toggleButton() const { return toggle_; }

    // ---- events from the dialog's behaviour -------------------------------
    // OPEN succeeded: the board may be another, and the open sequence may
    // have run the pre-distortion calibration.
    void link_opened(const deve::OpenOutcome &outcome) override;
    void link_closed() override;
    // "DPD ON/OFF" calibrated.
    void predistortion_calibrated() override;
    // RX ON, and each reading of the receive timer.
    void receive_started() override;
    void receive_reading(const deve::RxCounts &counts) override;
    // "Efuse read", "MAC Read" or a write of either.
    void fuses_touched() override;

    // Seconds on a steady clock; the receive chart's time base. Tests set
    // their own.
    void setClock(std::function<double()> clock);

    QTabWidget *tabs() const { return tabs_; }
    RxChartView *receiveChart() const { return receive_; }
    PadpdView *curves() const { return curves_; }
    FuseMapView *fuseMap() const { return fuses_; }
    bool curvesStale() const { return curvesStale_; }
    bool fusesStale() const { return fusesStale_; }

    QSize sizeHint() const override;
    // Its wrapped texts do not make the dialog taller (see the constructor).
    bool hasHeightForWidth() const override { return false; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setOpen(bool open);
    // Brings a tab into view when the panel is open.
    void bringForward(Tab tab);
    // Reads what the tab in view needs, if it is stale and the link is open.
    void refreshInView();
    void readCurves();
    void readFuses();

    deve::RfApi &api_;
    QPushButton *toggle_;
    QTabWidget *tabs_;
    RxChartView *receive_;
    PadpdView *curves_;
    FuseMapView *fuses_;
    std::function<double()> clock_;
    double receiveStart_ = 0;
    bool linkOpen_ = false;
    bool curvesStale_ = false;
    bool fusesStale_ = false;
    QString curvesSource_;
    QSize closedSize_;  // the dialog's size before the panel opened
};
