// CDeveDlg: layout, the binding of controls to the dialog's behaviour, and the
// window's menu.
#include "deve_dlg.h"

#include "about_dlg.h"
#include "panels.h"
#include "pictures_panel.h"
#include "qt_surface.h"
#include "strings.h"

#include "deve/resource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

namespace {

// The dialog font: 9 points.
constexpr int kDialogFontPoints = 9;

}  // namespace

CDeveDlg::CDeveDlg(deve::RfApi &api, Prompter &prompter, const std::string &libraryFile, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Deve"));
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);

    pictures_ = new PicturesPanel(api);
    BuildLayout();
    surface_ = new QtSurface(*this, controls_, prompter, [this](int id) { dialog_->on_timer(id); });
    dialog_ = std::make_unique<deve::DeveDialog>(api, *surface_, libraryFile, &pictures_->presenter());
    BindControls();
    dialog_->init();
    InstallAboutEntry();
    setWindowIcon(QIcon(QStringLiteral(":/deve/deve.png")));
#ifndef QT_NO_SESSIONMANAGER
    // Logoff or shutdown: the radio is left safe before the session ends.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { dialog_->leave(deve::WayOut::SessionEnd); });
#endif
}

CDeveDlg::~CDeveDlg() = default;

void CDeveDlg::BuildLayout() {
    auto *grid = new QGridLayout(this);
    grid->addWidget(buildPortPanel(controls_), 0, 0);
    grid->addWidget(buildRegisterPanel(controls_), 0, 1);
    grid->addWidget(buildMacPanel(controls_), 0, 2);
    grid->addWidget(buildFreqRatePanel(controls_), 1, 0);
    grid->addWidget(buildTxRxPanel(controls_), 1, 1);
    grid->addWidget(buildEfusePanel(controls_), 1, 2);
    grid->addWidget(buildOptionPanel(controls_), 2, 0, 1, 3);
    // The pictures open beside the groups, hidden until the operator asks.
    grid->addWidget(pictures_, 0, 3, 3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pictures_->toggleButton());
    buttons->addStretch(1);
    buttons->addWidget(makeButton(controls_, ID_OK, QString::fromUtf8(strings::kOk)));
    grid->addLayout(buttons, 3, 0, 1, 3);
}

void CDeveDlg::BindControls() {
    for (const auto &[id, widget] : controls_.all()) {
        const int control = id;
        if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, control] { dialog_->notify(control, deve::Notify::Clicked); });
        } else if (auto *list = qobject_cast<QComboBox *>(widget)) {
            // Only the operator's choice notifies; selections made by the
            // program do not.
            connect(list, &QComboBox::activated, this,
                    [this, control] { dialog_->notify(control, deve::Notify::SelChange); });
        } else if (auto *file = qobject_cast<FileBrowseEdit *>(widget)) {
            connect(file, &FileBrowseEdit::browseRequested, this,
                    [this, control] { dialog_->notify(control, deve::Notify::Browse); });
        }
    }
}

void CDeveDlg::reject() { dialog_->leave(deve::WayOut::Escape); }

void CDeveDlg::closeEvent(QCloseEvent *event) {
    if (dialog_->leave(deve::WayOut::CloseBox)) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool CDeveDlg::IsTimerRunning(int id) const { return surface_->isTimerRunning(id); }

void CDeveDlg::InstallAboutEntry() {
    // The window's menu: a separator and the about entry, on the dialog's
    // context menu (right click, or the menu key).
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    auto *about = new QAction(QString::fromUtf8(strings::kAboutEntry), this);
    about->setObjectName(QStringLiteral("string%1").arg(IDS_ABOUTBOX));
    connect(about, &QAction::triggered, this, &CDeveDlg::OnAbout);
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CDeveDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
