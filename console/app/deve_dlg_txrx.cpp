// "TX/RX control": the two tests and their one-second counters.
#include "deve_dlg.h"
#include "pictures_panel.h"
#include "resource.h"

#include "deve/operations.h"

#include <QString>

void CDeveDlg::OnBnClickedTxOn() {
    UpdateData(true);
    const unsigned pit = ParseField(IDC_PIT, 10);
    const unsigned offset = ParseField(IDC_FREQ_OFFSET, 10);
    if (deve::tx_on(api_, Selection(IDC_BAND), pit, offset)) {
        RevealEngineeringControls();
    }
    SetTimer(TIMER_TX_COUNT, kTimerPeriodMs);
}

void CDeveDlg::OnBnClickedTxOff() {
    deve::tx_off(api_);
    KillTimer(TIMER_TX_COUNT);
}

// The offset applied is the one the field shows now.
void CDeveDlg::OnBnClickedRxOn() {
    UpdateData(true);
    deve::rx_on(api_, Selection(IDC_BAND), Selection(IDC_MODE), ParseField(IDC_FREQ_OFFSET, 10));
    SetTimer(TIMER_RX_COUNT, kTimerPeriodMs);
    pictures_->receiveStarted();
}

void CDeveDlg::OnBnClickedRxOff() {
    deve::rx_off(api_);
    KillTimer(TIMER_RX_COUNT);
}

// Timer 0 refreshes the transmit count, any other the receive counts. Each
// count goes to its field and straight onto its control, so what the operator
// is typing elsewhere is left alone.
void CDeveDlg::OnTimer(int id) {
    const int mode = Selection(IDC_MODE);
    if (id == TIMER_TX_COUNT) {
        SetFieldAndControl(IDC_TX_PKT, QString::fromStdString(deve::read_tx_count(api_, mode)));
        return;
    }
    const deve::RxCounts counts = deve::read_rx_counts(api_, mode);
    SetFieldAndControl(IDC_ERR_PKT, QString::fromStdString(counts.errors));
    SetFieldAndControl(IDC_TOTAL_PKT, QString::fromStdString(counts.total));
    if (counts.per) {
        SetFieldAndControl(IDC_PER, QString::fromStdString(*counts.per));
    } else {
        controls_.setText(IDC_PER, QStringLiteral("NA"));
    }
    pictures_->receiveReading(counts);
}
