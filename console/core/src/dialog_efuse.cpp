// "MAC Address" and "efuse": reading records, and programming them after the
// operator has confirmed.
#include "deve/dialog.h"

#include "deve/efuse_panel.h"
#include "deve/resource.h"

#include <array>

namespace deve {

namespace {

constexpr int kMacBytes[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2,
                             IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};

// The item at a list position, or null.
const EfuseItem *item_at(int position) {
    if (position < 0 || position >= static_cast<int>(kEfuseItems.size())) {
        return nullptr;
    }
    return &kEfuseItems[static_cast<std::size_t>(position)];
}

}  // namespace

bool DeveDialog::ConfirmFuseWrite(const std::string &question) {
    return surface_.confirm("Program eFuse", question, "Program");
}

void DeveDialog::OnBnClickedMacRead() {
    UpdateData(true);
    Field(IDC_MAC_TEXT) = read_mac(api_);
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

void DeveDialog::OnBnClickedMacWrite() {
    UpdateData(true);
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = Field(kMacBytes[i]);
    }
    const MacAddress mac = parse_mac(texts);
    if (!ConfirmFuseWrite(fuse_write_question(api_, describe_mac_record(mac)))) {
        return;
    }
    Field(IDC_MAC_TEXT) = write_mac(api_, mac);
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

void DeveDialog::OnCbnSelchangeEfuseItem() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    surface_.set_text(IDC_EFUSE_FIRST_LABEL, item->first_label);
    surface_.set_text(IDC_EFUSE_SECOND_LABEL, item->second_label);
    // A disabled field keeps its text.
    surface_.enable(IDC_EFUSE_FIRST, item->first_enabled);
    surface_.enable(IDC_EFUSE_SECOND, item->second_enabled);
    Field(IDC_EFUSE_RANGE) = item->range_text;
    UpdateData(false);
}

// The values are passed as parsed (also from a disabled field); the library
// keeps the low nibble or byte, which the confirmation shows.
void DeveDialog::OnBnClickedEfuseWrite() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const std::uint32_t first = ParseField(IDC_EFUSE_FIRST, 10);
    const std::uint32_t second = ParseField(IDC_EFUSE_SECOND, 10);
    if (!ConfirmFuseWrite(fuse_write_question(api_, describe_item_record(*item, first, second)))) {
        return;
    }
    Field(IDC_EFUSE_RESULT) = write_item(api_, *item, first, second);
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

void DeveDialog::OnBnClickedEfuseRead() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const ItemReading reading = read_item(api_, *item);
    Field(IDC_EFUSE_RESULT) = reading.values;
    Field(IDC_EFUSE_RANGE) = reading.free_bits;
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

}  // namespace deve
