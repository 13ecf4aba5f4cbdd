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
#include <QFontMetrics>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

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
    // The groups where the layout table places them; the pictures panel
    // lays out its own (tabs over the pictures) and opens right of them.
    using deve::ControlGroup;
    constexpr ControlGroup kGroups[] = {ControlGroup::Port,   ControlGroup::Register, ControlGroup::Mac,
                                        ControlGroup::FreqRate, ControlGroup::TxRx,   ControlGroup::Efuse,
                                        ControlGroup::Option, ControlGroup::Buttons};
    std::vector<deve::DialogPlace> places;
    for (ControlGroup group : kGroups) {
        places.push_back(deve::group_place(group));
    }
    const std::vector<deve::GridCell> cells = deve::grid_cells(places);
    const std::map<int, QWidget *> provided{{IDC_PICTURES, pictures_->toggleButton()}};
    const QFontMetrics metrics(font());
    auto *grid = new QGridLayout(this);
    int rows = 0;  // of the groups with a frame
    int columns = 0;
    for (std::size_t i = 0; i < std::size(kGroups); ++i) {
        QWidget *group = buildGroup(controls_, kGroups[i], metrics, provided);
        // A row without a frame (the bottom buttons) keeps to the right.
        const bool framed = qobject_cast<QGroupBox *>(group) != nullptr;
        const deve::GridCell &cell = cells[i];
        grid->addWidget(group, cell.row, cell.column, 1, cell.column_span, framed ? Qt::Alignment() : Qt::AlignRight);
        rows = framed ? std::max(rows, cell.row + 1) : rows;
        columns = std::max(columns, cell.column + cell.column_span);
    }
    // Beside the groups: the buttons' row stays as it is when it opens.
    grid->addWidget(pictures_, 0, columns, rows, 1);
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
