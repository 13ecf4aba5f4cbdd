// DeveDialog: the message table, initialisation, data exchange, the enable
// and show rules and the engineering reveal. The handlers live in
// dialog_<group>.cpp.
#include "deve/dialog.h"

#include "deve/efuse_items.h"
#include "deve/resource.h"
#include "deve/tables.h"
#include "deve/text.h"

#include <utility>

namespace deve {

namespace {

// Controls whose texts take part in data exchange.
constexpr int kBoundControls[] = {
    IDC_REG_ADDRESS, IDC_REG_VALUE,  IDC_PORT_STATUS, IDC_READ_DATA,   IDC_CHIP_ID,      IDC_PIT,
    IDC_A62C_VALUE,  IDC_TX_PKT,     IDC_ERR_PKT,     IDC_TOTAL_PKT,   IDC_PER,          IDC_FREQ_OFFSET,
    IDC_SAR_CODE,    IDC_A630_VALUE, IDC_MAC_BYTE0,   IDC_MAC_TEXT,    IDC_MAC_BYTE1,    IDC_MAC_BYTE2,
    IDC_MAC_BYTE3,   IDC_MAC_BYTE4,  IDC_MAC_BYTE5,   IDC_EFUSE_FIRST, IDC_EFUSE_SECOND, IDC_EFUSE_RESULT,
    IDC_EFUSE_RANGE,
};

// The template's states: controls that start disabled or hidden (every other
// control starts enabled and shown).
struct TemplateState {
    int id;
    bool enabled;
    bool visible;
};
constexpr TemplateState kTemplateStates[] = {
    {IDC_REG_WRITE, false, false},  {IDC_REG_READ, false, true},     {IDC_BAND, false, true},
    {IDC_CHANNEL, false, true},     {IDC_MODE, false, true},         {IDC_RATE, false, true},
    {IDC_RF_GAIN, false, true},     {IDC_DAC, false, true},          {IDC_TX_ON, false, true},
    {IDC_TX_OFF, false, true},      {IDC_RX_ON, false, true},        {IDC_RX_OFF, false, true},
    {IDC_OPTION_GROUP, true, false}, {IDC_DPD, false, false},        {IDC_DPD_STATUS, true, false},
    {IDC_BRATE_GAIN, true, false},  {IDC_LOAD_SCRIPT, false, false}, {IDC_SCRIPT_PATH, true, false},
    {IDC_SAR, false, false},        {IDC_SAR_CODE, true, false},     {IDC_A62C_VALUE, true, false},
    {IDC_A62C_WRITE, true, false},  {IDC_A630_VALUE, true, false},   {IDC_A630_WRITE, true, false},
    {IDC_MAC_READ, false, true},    {IDC_MAC_WRITE, false, false},   {IDC_EFUSE_ITEM, false, true},
    {IDC_EFUSE_FIRST, false, true}, {IDC_EFUSE_SECOND, false, true}, {IDC_EFUSE_WRITE, false, false},
    {IDC_EFUSE_READ, false, true},
};

// What each edit takes. Register and engineering values are 32-bit
// hexadecimal words, a MAC byte two hexadecimal digits, an eFuse value at
// most a byte in decimal.
constexpr InputRule kHexWord{InputRule::Kind::Hex, 8};
constexpr InputRule kHexByte{InputRule::Kind::Hex, 2};
constexpr InputRule kDigits{InputRule::Kind::Decimal, 0};
constexpr InputRule kFuseValue{InputRule::Kind::Decimal, 3};
constexpr std::pair<int, InputRule> kInputRules[] = {
    {IDC_REG_ADDRESS, kHexWord}, {IDC_REG_VALUE, kHexWord},     {IDC_A62C_VALUE, kHexWord},
    {IDC_A630_VALUE, kHexWord},  {IDC_MAC_BYTE0, kHexByte},     {IDC_MAC_BYTE1, kHexByte},
    {IDC_MAC_BYTE2, kHexByte},   {IDC_MAC_BYTE3, kHexByte},     {IDC_MAC_BYTE4, kHexByte},
    {IDC_MAC_BYTE5, kHexByte},   {IDC_FREQ_OFFSET, kDigits},    {IDC_PIT, kDigits},
    {IDC_EFUSE_FIRST, kFuseValue}, {IDC_EFUSE_SECOND, kFuseValue},
};

}  // namespace

// clang-format off
const DeveDialog::MessageEntry DeveDialog::messageMap[] = {
    {Notify::Clicked,   ID_OK,           &DeveDialog::OnOK},
    {Notify::Clicked,   IDC_OPEN,        &DeveDialog::OnBnClickedOpen},
    {Notify::Clicked,   IDC_CLOSE,       &DeveDialog::OnBnClickedClose},
    {Notify::Clicked,   IDC_REG_READ,    &DeveDialog::OnBnClickedRegRead},
    {Notify::Clicked,   IDC_REG_WRITE,   &DeveDialog::OnBnClickedRegWrite},
    {Notify::SelChange, IDC_PORT,        &DeveDialog::OnCbnSelchangePort},
    {Notify::SelChange, IDC_XTAL,        &DeveDialog::OnCbnSelchangeXtal},
    {Notify::SelChange, IDC_BAND,        &DeveDialog::OnCbnSelchangeBand},
    {Notify::SelChange, IDC_CHANNEL,     &DeveDialog::OnCbnSelchangeChannel},
    {Notify::SelChange, IDC_MODE,        &DeveDialog::OnCbnSelchangeMode},
    {Notify::SelChange, IDC_RATE,        &DeveDialog::OnCbnSelchangeRate},
    {Notify::SelChange, IDC_RF_GAIN,     &DeveDialog::OnCbnSelchangeRfGain},
    {Notify::SelChange, IDC_DAC,         &DeveDialog::OnCbnSelchangeDac},
    {Notify::SelChange, IDC_BRATE_GAIN,  &DeveDialog::OnCbnSelchangeBrateGain},
    {Notify::Clicked,   IDC_TX_ON,       &DeveDialog::OnBnClickedTxOn},
    {Notify::Clicked,   IDC_TX_OFF,      &DeveDialog::OnBnClickedTxOff},
    {Notify::Clicked,   IDC_RX_ON,       &DeveDialog::OnBnClickedRxOn},
    {Notify::Clicked,   IDC_RX_OFF,      &DeveDialog::OnBnClickedRxOff},
    {Notify::Clicked,   IDC_DPD,         &DeveDialog::OnBnClickedDpd},
    {Notify::Clicked,   IDC_LOAD_SCRIPT, &DeveDialog::OnBnClickedLoadScript},
    {Notify::Browse,    IDC_SCRIPT_PATH, &DeveDialog::OnBrowseScript},
    {Notify::Clicked,   IDC_SAR,         &DeveDialog::OnBnClickedSar},
    {Notify::Clicked,   IDC_A62C_WRITE,  &DeveDialog::OnBnClickedA62cWrite},
    {Notify::Clicked,   IDC_A630_WRITE,  &DeveDialog::OnBnClickedA630Write},
    {Notify::Clicked,   IDC_MAC_READ,    &DeveDialog::OnBnClickedMacRead},
    {Notify::Clicked,   IDC_MAC_WRITE,   &DeveDialog::OnBnClickedMacWrite},
    {Notify::SelChange, IDC_EFUSE_ITEM,  &DeveDialog::OnCbnSelchangeEfuseItem},
    {Notify::Clicked,   IDC_EFUSE_WRITE, &DeveDialog::OnBnClickedEfuseWrite},
    {Notify::Clicked,   IDC_EFUSE_READ,  &DeveDialog::OnBnClickedEfuseRead},
};
// clang-format on

DeveDialog::DeveDialog(RfApi &api, DialogSurface &surface, std::string library_file, DialogObserver *observer)
    : api_(api), surface_(surface), libraryFile_(std::move(library_file)), observer_(observer) {}

DeveDialog::~DeveDialog() = default;

void DeveDialog::init() {
    // The initial show: every bound control starts empty.
    UpdateData(false);
    for (const TemplateState &state : kTemplateStates) {
        surface_.enable(state.id, state.enabled);
        surface_.set_visible(state.id, state.visible);
    }
    for (const auto &[id, rule] : kInputRules) {
        surface_.set_input_rule(id, rule);
    }

    presence_ = std::make_unique<LibraryPresence>(libraryFile_);
    if (!presence_->complete()) {
        Tell(MessageKind::Warning, presence_->problem());
    }

    FillList(IDC_PORT, choice_labels(kPortChoices), kPortChoices.initial);
    FillList(IDC_SUPPLY, choice_labels(kSupplyChoices), kSupplyChoices.initial);
    FillList(IDC_XTAL, choice_labels(kCrystalChoices), kCrystalChoices.initial);
    std::vector<std::string> items;
    for (std::size_t i = 0; i < kEfuseItemCount; ++i) {
        items.emplace_back(kEfuseItems[i].name);
    }
    FillList(IDC_EFUSE_ITEM, items, kInitialEfuseItem);
}

bool DeveDialog::notify(int id, Notify code) {
    for (const MessageEntry &entry : messageMap) {
        if (entry.id == id && entry.code == code) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

void DeveDialog::UpdateData(bool save) {
    for (int id : kBoundControls) {
        if (save) {
            fields_[id] = surface_.text(id);
        } else {
            surface_.set_text(id, fields_[id]);
        }
    }
}

void DeveDialog::SetFieldAndControl(int id, const std::string &text) {
    fields_[id] = text;
    surface_.set_text(id, text);
}

std::uint32_t DeveDialog::ParseField(int id, int base) { return parse_unsigned(fields_[id], base); }

void DeveDialog::EnableControls(std::initializer_list<int> ids, bool enable) {
    for (int id : ids) {
        surface_.enable(id, enable);
    }
}

void DeveDialog::FillList(int id, const std::vector<std::string> &labels, int selected) {
    surface_.clear_list(id);
    int position = 0;
    for (const std::string &label : labels) {
        surface_.insert_item(id, position++, label);
    }
    surface_.select(id, selected);
}

void DeveDialog::Tell(MessageKind kind, const std::string &text, const std::string &details) {
    surface_.message(kind, text, details);
}

void DeveDialog::RevealEngineeringControls() {
    // The Option group and its controls, in this order.
    for (int id : {IDC_DPD, IDC_LOAD_SCRIPT, IDC_SCRIPT_PATH, IDC_OPTION_GROUP, IDC_DPD_STATUS, IDC_SAR,
                   IDC_SAR_CODE, IDC_A62C_VALUE, IDC_A62C_WRITE, IDC_A630_VALUE, IDC_A630_WRITE}) {
        surface_.set_visible(id, true);
    }
    // With them: the 11b gain list, the register and fuse write buttons, and
    // the HT20 rate gain record in the eFuse item list.
    for (int id : {IDC_BRATE_GAIN, IDC_REG_WRITE, IDC_MAC_WRITE, IDC_EFUSE_WRITE}) {
        surface_.set_visible(id, true);
    }
    if (surface_.item_count(IDC_EFUSE_ITEM) == static_cast<int>(kEfuseItemCount)) {
        surface_.insert_item(IDC_EFUSE_ITEM, static_cast<int>(kEfuseItemCount),
                             kEfuseItems[kEngineeringEfuseItem].name);
    }
}

}  // namespace deve
