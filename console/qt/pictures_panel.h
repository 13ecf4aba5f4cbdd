// The pictures side panel beside the dialog's groups: the receive chart, the
// pre-distortion curves and the eFuse map, one tab each. A button of the
// dialog's bottom row opens and hides it; hidden, the dialog is as it was.
//
// What the pictures show and when the chip is read is the presenter's
// (deve::PicturesPresenter, the dialog's observer); the panel tells it when
// it opens and hides and which tab the operator chose, and draws what it
// holds.
#pragma once

#include "deve/pictures.h"
#include "deve/rf_api.h"

#include <QSize>
#include <QWidget>

#include <functional>

class FuseMapView;
class PadpdView;
class QPushButton;
class QTabWidget;
class RxChartView;

class PicturesPanel : public QWidget, public deve::PicturesView {
    Q_OBJECT

public:
    enum Tab { ReceiveTab = 0, CurvesTab = 1, FuseTab = 2 };

    // `api` outlives the panel.
    explicit PicturesPanel(deve::RfApi &api, QWidget *parent = nullptr);

    // The dialog's observer.
    deve::PicturesPresenter &presenter() { return presenter_; }

    // The button that opens and hides the panel, for the dialog's button row
    // (the dialog's layout takes ownership).
    QPushButton *toggleButton() const { return toggle_; }

    // Seconds on a steady clock; the receive chart's time base. Tests set
    // their own.
    void setClock(std::function<double()> clock) { presenter_.set_clock(std::move(clock)); }

    QTabWidget *tabs() const { return tabs_; }
    RxChartView *receiveChart() const { return receive_; }
    PadpdView *curves() const { return curves_; }
    FuseMapView *fuseMap() const { return fuses_; }
    bool curvesStale() const { return presenter_.curves_stale(); }
    bool fusesStale() const { return presenter_.fuses_stale(); }

    QSize sizeHint() const override;
    // Its wrapped texts do not make the dialog taller (see the constructor).
    bool hasHeightForWidth() const override { return false; }

    // deve::PicturesView
    void show_tab(deve::PictureTab tab) override;
    void picture_changed(deve::PictureTab tab) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setOpen(bool open);

    QPushButton *toggle_;
    QTabWidget *tabs_;
    RxChartView *receive_;
    PadpdView *curves_;
    FuseMapView *fuses_;
    QSize closedSize_;  // the dialog's size before the panel opened
    deve::PicturesPresenter presenter_;
};
