#include "pictures_panel.h"

#include "fuse_map_view.h"
#include "padpd_view.h"
#include "pictures_ids.h"
#include "rx_chart_view.h"

#include "deve/efuse_map.h"
#include "deve/padpd_tables.h"
#include "deve/rx_history.h"

#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PicturesPanel::PicturesPanel(deve::RfApi &api, QWidget *parent)
    : QWidget(parent), api_(api), toggle_(new QPushButton(QStringLiteral("Pictures"))), tabs_(new QTabWidget),
      receive_(new RxChartView), curves_(new PadpdView), fuses_(new FuseMapView), clock_(steadySeconds) {
    // A checkable button: the accessibility tree reports whether the panel
    // is open by its checked state, under a caption that stays the same.
    toggle_->setCheckable(true);
    toggle_->setAutoDefault(false);
    toggle_->setToolTip(QStringLiteral("Open or hide the pictures: receive chart, pre-distortion curves, eFuse map"));
    tagPicture(toggle_, IDC_PICTURES, QStringLiteral("Pictures"));
    connect(toggle_, &QPushButton::toggled, this, &PicturesPanel::setOpen);

    tagPicture(tabs_, IDC_PICTURE_TABS, QStringLiteral("Pictures panel"));
    tabs_->addTab(receive_, QStringLiteral("RX chart"));
    tabs_->addTab(curves_, QStringLiteral("DPD curves"));
    tabs_->addTab(fuses_, QStringLiteral("eFuse map"));
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { refreshInView(); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
    // As tall as the dialog's groups: the panel widens the dialog but does
    // not make it taller.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    setHidden(true);
}

void PicturesPanel::setClock(std::function<double()> clock) { clock_ = std::move(clock); }

void PicturesPanel::setOpen(bool open) {
    toggle_->setChecked(open);
    QWidget *dialog = window();
    if (dialog == this) {
        setVisible(open);
        return;
    }
    // The dialog widens by the panel and returns to the size it had when
    // the panel closes.
    if (open) {
        closedSize_ = dialog->size();
    }
    setVisible(open);
    if (QLayout *layout = dialog->layout()) {
        layout->activate();
    }
    if (!dialog->isVisible()) {
        return;
    }
    if (open) {
        // Widened, but kept on the screen.
        QSize wanted = dialog->sizeHint().expandedTo(dialog->size());
        const QScreen *screen = dialog->screen();
        const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
        if (available.isValid()) {
            wanted = wanted.boundedTo(available.size());
        }
        dialog->resize(wanted.expandedTo(dialog->minimumSize()));
        if (available.isValid()) {
            // Back inside on the right and bottom, but never past the left
            // and top.
            const QRect frame = dialog->frameGeometry();
            const int dx = std::max(std::min(0, available.right() - frame.right()), available.left() - frame.left());
            const int dy = std::max(std::min(0, available.bottom() - frame.bottom()), available.top() - frame.top());
            dialog->move(dialog->pos() + QPoint(dx, dy));
        }
    } else if (closedSize_.isValid()) {
        dialog->resize(closedSize_.expandedTo(dialog->minimumSize()));
    }
}

QSize PicturesPanel::sizeHint() const {
    // As narrow as its content allows (the eFuse grid sets it), not as wide
    // as the charts would like: the dialog then fits a 1280-pixel screen
    // with the panel open, its groups at their own sizes.
    return {minimumSizeHint().width(), QWidget::sizeHint().height()};
}

void PicturesPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    refreshInView();
}

void PicturesPanel::bringForward(Tab tab) {
    if (isVisible()) {
        tabs_->setCurrentIndex(tab);
    }
}

void PicturesPanel::link_opened(const deve::OpenOutcome &outcome) {
    const bool calibrated = deve::open_calibrated_predistortion(outcome);
    linkOpen_ = true;
    fusesStale_ = true;
    curvesStale_ = calibrated;
    if (calibrated) {
        curvesSource_ = QStringLiteral("the calibration at OPEN");
    } else {
        curves_->showNote(QStringLiteral("Chip %1 skips the pre-distortion calibration at OPEN; "
                                         "the curves appear after DPD ON.")
                              .arg(QString::fromStdString(outcome.chip_id)));
    }
    refreshInView();
}

void PicturesPanel::link_closed() { linkOpen_ = false; }

void PicturesPanel::predistortion_calibrated() {
    curvesStale_ = true;
    curvesSource_ = QStringLiteral("DPD ON");
    bringForward(CurvesTab);
    refreshInView();
}

void PicturesPanel::receive_started() {
    receiveStart_ = clock_();
    receive_->start();
    bringForward(ReceiveTab);
}

void PicturesPanel::receive_reading(const deve::RxCounts &counts) {
    receive_->add(clock_() - receiveStart_, deve::reading_of(counts));
}

void PicturesPanel::fuses_touched() {
    fusesStale_ = true;
    bringForward(FuseTab);
    refreshInView();
}

void PicturesPanel::refreshInView() {
    if (!linkOpen_ || !isVisible()) {
        return;
    }
    if (tabs_->currentIndex() == CurvesTab && curvesStale_) {
        readCurves();
    } else if (tabs_->currentIndex() == FuseTab && fusesStale_) {
        readFuses();
    }
}

void PicturesPanel::readCurves() {
    curvesStale_ = false;
    const std::vector<deve::PadpdCurve> curves = deve::read_padpd_curves(api_);
    curves_->showCurves(curves, QStringLiteral("Table registers read after %1, at %2.")
                                    .arg(curvesSource_, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void PicturesPanel::readFuses() {
    fusesStale_ = false;
    const std::optional<deve::FuseWords> words = deve::read_fuse_words(api_);
    if (!words) {
        fuses_->showProblem(QStringLiteral("The eFuse controller did not finish its read cycle: no map."));
        return;
    }
    fuses_->showMap(deve::decode_fuse_map(*words));
}
