// CDeveDlg: construction, the message table, data exchange, timers and the
// engineering reveal. The handlers live in deve_dlg_<group>.cpp.
#include "deve_dlg.h"

#include "about_dlg.h"
#include "lists.h"
#include "panels.h"
#include "pictures_panel.h"
#include "prompter.h"
#include "resource.h"
#include "strings.h"

#include "deve/efuse_panel.h"
#include "deve/tables.h"
#include "deve/text.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

// Controls whose texts take part in data exchange.
constexpr int kBoundControls[] = {
    IDC_REG_ADDRESS, IDC_REG_VALUE,  IDC_PORT_STATUS, IDC_READ_DATA,   IDC_CHIP_ID,      IDC_PIT,
    IDC_A62C_VALUE,  IDC_TX_PKT,     IDC_ERR_PKT,     IDC_TOTAL_PKT,   IDC_PER,          IDC_FREQ_OFFSET,
    IDC_SAR_CODE,    IDC_A630_VALUE, IDC_MAC_BYTE0,   IDC_MAC_TEXT,    IDC_MAC_BYTE1,    IDC_MAC_BYTE2,
    IDC_MAC_BYTE3,   IDC_MAC_BYTE4,  IDC_MAC_BYTE5,   IDC_EFUSE_FIRST, IDC_EFUSE_SECOND, IDC_EFUSE_RESULT,
    IDC_EFUSE_RANGE,
};

// The dialog font: 9 points.
constexpr int kDialogFontPoints = 9;

}  // namespace

// clang-format off
const CDeveDlg::MessageEntry CDeveDlg::messageMap[] = {
    {Notify::Clicked,   ID_OK,           &CDeveDlg::OnOK},
    {Notify::Clicked,   IDC_OPEN,        &CDeveDlg::OnBnClickedOpen},
    {Notify::Clicked,   IDC_CLOSE,       &CDeveDlg::OnBnClickedClose},
    {Notify::Clicked,   IDC_REG_READ,    &CDeveDlg::OnBnClickedRegRead},
    {Notify::Clicked,   IDC_REG_WRITE,   &CDeveDlg::OnBnClickedRegWrite},
    {Notify::SelChange, IDC_PORT,        &CDeveDlg::OnCbnSelchangePort},
    {Notify::SelChange, IDC_XTAL,        &CDeveDlg::OnCbnSelchangeXtal},
    {Notify::SelChange, IDC_BAND,        &CDeveDlg::OnCbnSelchangeBand},
    {Notify::SelChange, IDC_CHANNEL,     &CDeveDlg::OnCbnSelchangeChannel},
    {Notify::SelChange, IDC_MODE,        &CDeveDlg::OnCbnSelchangeMode},
    {Notify::SelChange, IDC_RATE,        &CDeveDlg::OnCbnSelchangeRate},
    {Notify::SelChange, IDC_RF_GAIN,     &CDeveDlg::OnCbnSelchangeRfGain},
    {Notify::SelChange, IDC_DAC,         &CDeveDlg::OnCbnSelchangeDac},
    {Notify::SelChange, IDC_BRATE_GAIN,  &CDeveDlg::OnCbnSelchangeBrateGain},
    {Notify::Clicked,   IDC_TX_ON,       &CDeveDlg::OnBnClickedTxOn},
    {Notify::Clicked,   IDC_TX_OFF,      &CDeveDlg::OnBnClickedTxOff},
    {Notify::Clicked,   IDC_RX_ON,       &CDeveDlg::OnBnClickedRxOn},
    {Notify::Clicked,   IDC_RX_OFF,      &CDeveDlg::OnBnClickedRxOff},
    {Notify::Clicked,   IDC_DPD,         &CDeveDlg::OnBnClickedDpd},
    {Notify::Clicked,   IDC_LOAD_SCRIPT, &CDeveDlg::OnBnClickedLoadScript},
    {Notify::Clicked,   IDC_SAR,         &CDeveDlg::OnBnClickedSar},
    {Notify::Clicked,   IDC_A62C_WRITE,  &CDeveDlg::OnBnClickedA62cWrite},
    {Notify::Clicked,   IDC_A630_WRITE,  &CDeveDlg::OnBnClickedA630Write},
    {Notify::Clicked,   IDC_MAC_READ,    &CDeveDlg::OnBnClickedMacRead},
    {Notify::Clicked,   IDC_MAC_WRITE,   &CDeveDlg::OnBnClickedMacWrite},
    {Notify::SelChange, IDC_EFUSE_ITEM,  &CDeveDlg::OnCbnSelchangeEfuseItem},
    {Notify::Clicked,   IDC_EFUSE_WRITE, &CDeveDlg::OnBnClickedEfuseWrite},
    {Notify::Clicked,   IDC_EFUSE_READ,  &CDeveDlg::OnBnClickedEfuseRead},
};
// clang-format on

CDeveDlg::CDeveDlg(deve::RfApi &api, Prompter &prompter, const std::string &libraryFile, QWidget *parent)
    : QDialog(parent), api_(api), prompter_(prompter), libraryFile_(libraryFile) {
    setWindowTitle(QStringLiteral("Deve"));
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);

    BuildLayout();
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        timers_[i] = new QTimer(this);
        const int id = static_cast<int>(i);
        connect(timers_[i], &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    BindMessageMap();
    // The initial show: every bound control starts empty.
    UpdateData(false);
    OnInitDialog();
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
    pictures_ = new PicturesPanel(api_);
    grid->addWidget(pictures_, 0, 3, 3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pictures_->toggleButton());
    buttons->addStretch(1);
    buttons->addWidget(makeButton(controls_, ID_OK, QString::fromUtf8(strings::kOk)));
    grid->addLayout(buttons, 3, 0, 1, 3);
}

void CDeveDlg::BindMessageMap() {
    for (const MessageEntry &entry : messageMap) {
        const Handler handler = entry.handler;
        QWidget *target = controls_.at(entry.id);
        Q_ASSERT_X(target != nullptr, "CDeveDlg", "message table names an unknown control");
        switch (entry.code) {
        case Notify::Clicked:
            connect(qobject_cast<QAbstractButton *>(target), &QAbstractButton::clicked, this,
                    [this, handler] { (this->*handler)(); });
            break;
        case Notify::SelChange:
            // Only the operator's choice notifies; selections made by the
            // program do not.
            connect(qobject_cast<QComboBox *>(target), &QComboBox::activated, this,
                    [this, handler] { (this->*handler)(); });
            break;
        }
    }
}

void CDeveDlg::OnInitDialog() {
    presence_ = std::make_unique<deve::LibraryPresence>(libraryFile_);
    if (!presence_->complete()) {
        prompter_.warn(this, QString::fromStdString(presence_->problem()));
    }

    fillList(List(IDC_PORT), deve::kPortChoices);
    fillList(List(IDC_SUPPLY), deve::kSupplyChoices);
    fillList(List(IDC_XTAL), deve::kCrystalChoices);
    QComboBox *items = List(IDC_EFUSE_ITEM);
    for (std::size_t i = 0; i < deve::kEfuseItemCount; ++i) {
        items->insertItem(static_cast<int>(i), QString::fromLatin1(deve::kEfuseItems[i].name));
    }
    items->setCurrentIndex(deve::kInitialEfuseItem);

    InstallAboutEntry();
    setWindowIcon(QIcon(QStringLiteral(":/deve/deve.png")));
}

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

void CDeveDlg::OnOK() { accept(); }

void CDeveDlg::UpdateData(bool save) {
    for (int id : kBoundControls) {
        if (save) {
            fields_[id] = controls_.text(id);
        } else {
            controls_.setText(id, fields_[id]);
        }
    }
}

void CDeveDlg::SetFieldAndControl(int id, const QString &text) {
    fields_[id] = text;
    controls_.setText(id, text);
}

unsigned CDeveDlg::ParseField(int id, int base) {
    return deve::parse_unsigned(fields_[id].toStdString(), base);
}

QComboBox *CDeveDlg::List(int id) const { return controls_.as<QComboBox>(id); }

int CDeveDlg::Selection(int id) const { return List(id)->currentIndex(); }

void CDeveDlg::EnableControls(std::initializer_list<int> ids, bool enable) {
    for (int id : ids) {
        controls_.at(id)->setEnabled(enable);
    }
}

void CDeveDlg::SetTimer(int id, int periodMs) {
    timers_.at(static_cast<std::size_t>(id))->start(periodMs);
}

void CDeveDlg::KillTimer(int id) { timers_.at(static_cast<std::size_t>(id))->stop(); }

bool CDeveDlg::IsTimerRunning(int id) const { return timers_.at(static_cast<std::size_t>(id))->isActive(); }

void CDeveDlg::RevealEngineeringControls() {
    // The Option group and its controls, in this order.
    for (int id : {IDC_DPD, IDC_LOAD_SCRIPT, IDC_SCRIPT_PATH, IDC_OPTION_GROUP, IDC_DPD_STATUS, IDC_SAR,
                   IDC_SAR_CODE, IDC_A62C_VALUE, IDC_A62C_WRITE, IDC_A630_VALUE, IDC_A630_WRITE}) {
        controls_.at(id)->show();
    }
    // With them: the 11b gain list, the register and fuse write buttons, and
    // the HT20 rate gain record in the eFuse item list.
    controls_.at(IDC_BRATE_GAIN)->show();
    if (auto *label = findChild<QLabel *>(QStringLiteral("label%1").arg(IDC_BRATE_GAIN))) {
        label->show();
    }
    for (int id : {IDC_REG_WRITE, IDC_MAC_WRITE, IDC_EFUSE_WRITE}) {
        controls_.at(id)->show();
    }
    QComboBox *items = List(IDC_EFUSE_ITEM);
    if (items->count() == static_cast<int>(deve::kEfuseItemCount)) {
        items->addItem(QString::fromLatin1(deve::kEfuseItems[deve::kEngineeringEfuseItem].name));
    }
}
