// "MAC Address" and "efuse": reading records, and programming them after the
// operator has confirmed.
#include "deve_dlg.h"
#include "pictures_panel.h"
#include "prompter.h"
#include "resource.h"

#include "deve/efuse_panel.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

constexpr int kMacBytes[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2,
                             IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};

// The item at a list position, or null.
const deve::EfuseItem *itemAt(int position) {
    if (position < 0 || position >= static_cast<int>(deve::kEfuseItems.size())) {
        return nullptr;
    }
    return &deve::kEfuseItems[static_cast<std::size_t>(position)];
}

QString qs(const std::string &text) { return QString::fromStdString(text); }

}  // namespace

bool CDeveDlg::ConfirmFuseWrite(const std::string &question) {
    return prompter_.confirm(this, QStringLiteral("Program eFuse"), qs(question));
}

void CDeveDlg::OnBnClickedMacRead() {
    UpdateData(true);
    Field(IDC_MAC_TEXT) = qs(deve::read_mac(api_));
    UpdateData(false);
    pictures_->fusesTouched();
}

void CDeveDlg::OnBnClickedMacWrite() {
    UpdateData(true);
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = Field(kMacBytes[i]).toStdString();
    }
    const deve::MacAddress mac = deve::parse_mac(texts);
    if (!ConfirmFuseWrite(deve::fuse_write_question(api_, deve::describe_mac_record(mac)))) {
        return;
    }
    Field(IDC_MAC_TEXT) = qs(deve::write_mac(api_, mac));
    UpdateData(false);
    pictures_->fusesTouched();
}

void CDeveDlg::OnCbnSelchangeEfuseItem() {
    const deve::EfuseItem *item = itemAt(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const QString first = QString::fromLatin1(item->first_label);
    const QString second = QString::fromLatin1(item->second_label);
    controls_.setText(IDC_EFUSE_FIRST_LABEL, first);
    controls_.setText(IDC_EFUSE_SECOND_LABEL, second);
    // Each value field is named after its label; a disabled field keeps its
    // text.
    QWidget *firstEdit = controls_.at(IDC_EFUSE_FIRST);
    QWidget *secondEdit = controls_.at(IDC_EFUSE_SECOND);
    firstEdit->setAccessibleName(first);
    secondEdit->setAccessibleName(second.isEmpty() ? QStringLiteral("second value") : second);
    firstEdit->setEnabled(item->first_enabled);
    secondEdit->setEnabled(item->second_enabled);
    Field(IDC_EFUSE_RANGE) = QString::fromLatin1(item->range_text);
    UpdateData(false);
}

// The values are passed as parsed (also from a disabled field); the library
// keeps the low nibble or byte, which the confirmation shows.
void CDeveDlg::OnBnClickedEfuseWrite() {
    const deve::EfuseItem *item = itemAt(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const unsigned first = ParseField(IDC_EFUSE_FIRST, 10);
    const unsigned second = ParseField(IDC_EFUSE_SECOND, 10);
    if (!ConfirmFuseWrite(deve::fuse_write_question(api_, deve::describe_item_record(*item, first, second)))) {
        return;
    }
    Field(IDC_EFUSE_RESULT) = qs(deve::write_item(api_, *item, first, second));
    UpdateData(false);
    pictures_->fusesTouched();
}

void CDeveDlg::OnBnClickedEfuseRead() {
    const deve::EfuseItem *item = itemAt(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const deve::ItemReading reading = deve::read_item(api_, *item);
    Field(IDC_EFUSE_RESULT) = qs(reading.values);
    Field(IDC_EFUSE_RANGE) = qs(reading.free_bits);
    UpdateData(false);
    pictures_->fusesTouched();
}
