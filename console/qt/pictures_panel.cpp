#include "pictures_panel.h"

#include "fuse_map_view.h"
#include "padpd_view.h"
#include "pictures_ids.h"
#include "rx_chart_view.h"

#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

PicturesPanel::PicturesPanel(deve::RfApi &api, QWidget *parent)
    : QWidget(parent), toggle_(new QPushButton(layoutText(deve::find_control(IDC_PICTURES)->caption))), tabs_(new QTabWidget),
      receive_(new RxChartView), curves_(new PadpdView), fuses_(new FuseMapView), presenter_(api, *this) {
    // A checkable button: the accessibility tree reports whether the panel
    // is open by its checked state, under a caption that stays the same.
    toggle_->setCheckable(true);
    toggle_->setAutoDefault(false);
    toggle_->setToolTip(QStringLiteral("Open or hide the pictures: receive chart, pre-distortion curves, eFuse map"));
    tagPicture(toggle_, IDC_PICTURES);
    connect(toggle_, &QPushButton::toggled, this, &PicturesPanel::setOpen);

    tagPicture(tabs_, IDC_PICTURE_TABS);
    tabs_->addTab(receive_, QString::fromLatin1(deve::kPictureTabNames[ReceiveTab]));
    tabs_->addTab(curves_, QString::fromLatin1(deve::kPictureTabNames[CurvesTab]));
    tabs_->addTab(fuses_, QString::fromLatin1(deve::kPictureTabNames[FuseTab]));
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int index) { presenter_.set_tab(static_cast<deve::PictureTab>(index)); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
    // As tall as the dialog's groups: the panel widens the dialog but does
    // not make it taller.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    setHidden(true);
    for (int tab = 0; tab < deve::kPictureTabs; ++tab) {
        picture_changed(static_cast<deve::PictureTab>(tab));
    }
}

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
    presenter_.set_open(true);
}

void PicturesPanel::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    presenter_.set_open(false);
}

void PicturesPanel::show_tab(deve::PictureTab tab) { tabs_->setCurrentIndex(static_cast<int>(tab)); }

void PicturesPanel::picture_changed(deve::PictureTab tab) {
    switch (tab) {
    case deve::PictureTab::Receive:
        receive_->show(presenter_.receive(), QString::fromStdString(presenter_.receive_summary()));
        break;
    case deve::PictureTab::Curves:
        curves_->showCurves(presenter_.curves(), QString::fromStdString(presenter_.curves_note()));
        break;
    case deve::PictureTab::Fuses:
        fuses_->show(presenter_.fuses(), QString::fromStdString(presenter_.fuses_note()));
        break;
    }
}
