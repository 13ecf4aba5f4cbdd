// "Port open" and "Reg W/R": OPEN, CLOSE, register read and write.
#include "deve/dialog.h"

#include "deve/resource.h"
#include "deve/tables.h"
#include "deve/text.h"

#include "busy_status.h"

#include <algorithm>

namespace deve {

namespace {

// The position of a label in a list, or -1 (no selection).
int position_of(const std::vector<std::string> &labels, std::string_view label) {
    const auto it = std::find(labels.begin(), labels.end(), label);
    return it == labels.end() ? -1 : static_cast<int>(it - labels.begin());
}

}  // namespace

void DeveDialog::OnOK() { leave(WayOut::Ok); }

bool DeveDialog::leave(WayOut way) {
    if (way == WayOut::Escape) {
        return false;
    }
    LeaveRadioSafe();
    surface_.end_dialog();
    return true;
}

void DeveDialog::LeaveRadioSafe() {
    surface_.stop_timer(TIMER_TX_COUNT);
    surface_.stop_timer(TIMER_RX_COUNT);
    if (!linkOpen_) {
        return;
    }
    leave_link(api_);
    linkOpen_ = false;
    if (observer_ != nullptr) {
        observer_->link_closed();
    }
}

void DeveDialog::OnBnClickedOpen() {
    UpdateData(true);
    const OpenChoices choices{Selection(IDC_PORT), Selection(IDC_SUPPLY), Selection(IDC_XTAL)};
    OpenOutcome outcome;
    {
        BusyStatus busy(surface_, IDC_PORT_STATUS, "Opening and calibrating...");
        outcome = open_link(api_, choices);
    }
    Field(IDC_PORT_STATUS) = outcome.status;
    // A failed OPEN leaves an open link as it was: the library keeps its
    // connection.
    if (outcome.opened) {
        linkOpen_ = true;
        FillOpenLists();
        SetFieldAndControl(IDC_CHIP_ID, outcome.chip_id);
        Field(IDC_PIT) = outcome.pit;
        Field(IDC_FREQ_OFFSET) = outcome.freq_offset;
        SetOpenControls(true);
    }
    UpdateData(false);
    if (!outcome.opened) {
        Tell(MessageKind::Warning, "The link did not open: " + outcome.failure + ".");
    }
    if (outcome.opened && observer_ != nullptr) {
        observer_->link_opened(outcome);
    }
}

// The lists as OPEN leaves them: 2.4 GHz channel 1, HT20-MCS7, RF gain -3,
// DAC 0 dB, 11b gain -2.5 dB.
void DeveDialog::FillOpenLists() {
    FillList(IDC_BAND, choice_labels(kBandChoices), kBandChoices.initial);
    FillList(IDC_MODE, choice_labels(kModeChoices), kModeChoices.initial);
    const std::vector<std::string> rates = sorted_rate_labels(kModeHt20);
    FillList(IDC_RATE, rates, position_of(rates, kOpenRateLabel));
    const std::vector<std::string> channels = channel_labels(kBand2G);
    FillList(IDC_CHANNEL, channels, position_of(channels, kOpenChannelLabel));
    FillList(IDC_RF_GAIN, choice_labels(kRfGainChoices), kRfGainChoices.initial);
    FillList(IDC_DAC, choice_labels(kDacChoices), kDacChoices.initial);
    FillList(IDC_BRATE_GAIN, choice_labels(kBrateGainChoices), kBrateGainChoices.initial);
}

// The controls that follow the link: enabled by OPEN, disabled by CLOSE,
// which leaves the crystal and eFuse item lists enabled. Enabling does not
// show a hidden control. The 11b gain list goes with them, so that once
// revealed it cannot reach a closed link.
void DeveDialog::SetOpenControls(bool open) {
    EnableControls({IDC_TX_ON, IDC_TX_OFF, IDC_RX_ON, IDC_RX_OFF, IDC_REG_WRITE, IDC_REG_READ, IDC_LOAD_SCRIPT,
                    IDC_DAC, IDC_BAND, IDC_RF_GAIN, IDC_CHANNEL, IDC_MODE, IDC_RATE, IDC_DPD, IDC_MAC_WRITE,
                    IDC_MAC_READ, IDC_EFUSE_WRITE, IDC_EFUSE_READ, IDC_SAR, IDC_A62C_WRITE, IDC_A630_WRITE,
                    IDC_BRATE_GAIN},
                   open);
    if (open) {
        EnableControls({IDC_XTAL, IDC_EFUSE_ITEM}, true);
    }
}

void DeveDialog::OnBnClickedClose() {
    UpdateData(true);
    surface_.stop_timer(TIMER_TX_COUNT);
    surface_.stop_timer(TIMER_RX_COUNT);
    // Transmission and reception are left as they are.
    SetOpenControls(false);
    Field(IDC_PORT_STATUS) = close_link(api_);
    linkOpen_ = false;
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->link_closed();
    }
}

void DeveDialog::OnBnClickedRegRead() {
    UpdateData(true);
    const std::uint32_t value = register_read(api_, ParseField(IDC_REG_ADDRESS, 16));
    Field(IDC_READ_DATA) = hex(value);
    UpdateData(false);
}

void DeveDialog::OnBnClickedRegWrite() {
    UpdateData(true);
    register_write(api_, ParseField(IDC_REG_ADDRESS, 16), ParseField(IDC_REG_VALUE, 16));
}

// The port takes effect at the next OPEN.
void DeveDialog::OnCbnSelchangePort() {}

}  // namespace deve
