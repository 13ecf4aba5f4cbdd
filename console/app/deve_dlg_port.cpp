// "Port open" and "Reg W/R": OPEN, CLOSE, register read and write.
#include "busy_scope.h"
#include "deve_dlg.h"
#include "lists.h"
#include "pictures_panel.h"
#include "resource.h"

#include "deve/open_sequence.h"
#include "deve/operations.h"
#include "deve/padpd_tables.h"
#include "deve/tables.h"
#include "deve/text.h"

#include <QComboBox>
#include <QLabel>

void CDeveDlg::OnBnClickedOpen() {
    UpdateData(true);
    const deve::OpenChoices choices{Selection(IDC_PORT), Selection(IDC_SUPPLY), Selection(IDC_XTAL)};
    deve::OpenOutcome outcome;
    {
        BusyScope busy(this, controls_.as<QLabel>(IDC_PORT_STATUS), QStringLiteral("Opening and calibrating..."));
        outcome = deve::open_link(api_, choices);
    }
    Field(IDC_PORT_STATUS) = QString::fromStdString(outcome.status);
    if (outcome.opened) {
        FillOpenLists();
        SetFieldAndControl(IDC_CHIP_ID, QString::fromStdString(outcome.chip_id));
        Field(IDC_PIT) = QString::fromStdString(outcome.pit);
        Field(IDC_FREQ_OFFSET) = QString::fromStdString(outcome.freq_offset);
        // Enabling does not show a hidden control.
        EnableControls({IDC_TX_ON, IDC_TX_OFF, IDC_RX_ON, IDC_RX_OFF, IDC_REG_WRITE, IDC_REG_READ, IDC_LOAD_SCRIPT,
                        IDC_DAC, IDC_XTAL, IDC_BAND, IDC_RF_GAIN, IDC_CHANNEL, IDC_MODE, IDC_RATE, IDC_DPD,
                        IDC_MAC_WRITE, IDC_MAC_READ, IDC_EFUSE_WRITE, IDC_EFUSE_READ, IDC_EFUSE_ITEM, IDC_SAR,
                        IDC_A62C_WRITE, IDC_A630_WRITE},
                       true);
    }
    UpdateData(false);
    if (outcome.opened) {
        pictures_->linkOpened(deve::open_calibrated_predistortion(outcome), QString::fromStdString(outcome.chip_id));
    }
}

// The lists as OPEN leaves them: 2.4 GHz channel 1, HT20-MCS7, RF gain -3,
// DAC 0 dB, 11b gain -2.5 dB.
void CDeveDlg::FillOpenLists() {
    fillList(List(IDC_BAND), deve::kBandChoices);
    fillList(List(IDC_MODE), deve::kModeChoices);
    fillList(List(IDC_RATE), sortedRateLabels(deve::kModeHt20), -1);
    selectText(List(IDC_RATE), std::string(deve::kOpenRateLabel));
    fillList(List(IDC_CHANNEL), deve::channel_labels(deve::kBand2G), -1);
    selectText(List(IDC_CHANNEL), std::string(deve::kOpenChannelLabel));
    fillList(List(IDC_RF_GAIN), deve::kRfGainChoices);
    fillList(List(IDC_DAC), deve::kDacChoices);
    fillList(List(IDC_BRATE_GAIN), deve::kBrateGainChoices);
}

void CDeveDlg::OnBnClickedClose() {
    UpdateData(true);
    KillTimer(TIMER_TX_COUNT);
    KillTimer(TIMER_RX_COUNT);
    // The crystal and eFuse item lists stay enabled; transmission and
    // reception are left as they are.
    EnableControls({IDC_TX_ON, IDC_TX_OFF, IDC_RX_ON, IDC_RX_OFF, IDC_REG_WRITE, IDC_REG_READ, IDC_LOAD_SCRIPT,
                    IDC_DAC, IDC_BAND, IDC_RF_GAIN, IDC_CHANNEL, IDC_MODE, IDC_RATE, IDC_DPD, IDC_MAC_WRITE,
                    IDC_MAC_READ, IDC_EFUSE_WRITE, IDC_EFUSE_READ, IDC_SAR, IDC_A62C_WRITE, IDC_A630_WRITE},
                   false);
    Field(IDC_PORT_STATUS) = QString::fromStdString(deve::close_link(api_));
    UpdateData(false);
    pictures_->linkClosed();
}

void CDeveDlg::OnBnClickedRegRead() {
    UpdateData(true);
    const std::uint32_t value = deve::register_read(api_, ParseField(IDC_REG_ADDRESS, 16));
    Field(IDC_READ_DATA) = QString::fromStdString(deve::hex(value));
    UpdateData(false);
}

void CDeveDlg::OnBnClickedRegWrite() {
    UpdateData(true);
    deve::register_write(api_, ParseField(IDC_REG_ADDRESS, 16), ParseField(IDC_REG_VALUE, 16));
}

// The port takes effect at the next OPEN.
void CDeveDlg::OnCbnSelchangePort() {}
