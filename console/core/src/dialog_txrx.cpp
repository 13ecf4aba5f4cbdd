// "TX/RX control": the two tests and their one-second counters.
#include "deve/dialog.h"

#include "deve/resource.h"

namespace deve {

void DeveDialog::OnBnClickedTxOn() {
    UpdateData(true);
    const std::uint32_t pit = ParseField(IDC_PIT, 10);
    const std::uint32_t offset = ParseField(IDC_FREQ_OFFSET, 10);
    if (tx_on(api_, Selection(IDC_BAND), pit, offset)) {
        RevealEngineeringControls();
    }
    surface_.start_timer(TIMER_TX_COUNT, TIMER_PERIOD_MS);
}

void DeveDialog::OnBnClickedTxOff() {
    tx_off(api_);
    surface_.stop_timer(TIMER_TX_COUNT);
}

// The offset applied is the one the field shows now.
void DeveDialog::OnBnClickedRxOn() {
    UpdateData(true);
    rx_on(api_, Selection(IDC_BAND), Selection(IDC_MODE), ParseField(IDC_FREQ_OFFSET, 10));
    surface_.start_timer(TIMER_RX_COUNT, TIMER_PERIOD_MS);
    if (observer_ != nullptr) {
        observer_->receive_started();
    }
}

void DeveDialog::OnBnClickedRxOff() {
    rx_off(api_);
    surface_.stop_timer(TIMER_RX_COUNT);
}

// Timer 0 refreshes the transmit count, any other the receive counts. Each
// count goes to its field and straight onto its control, so what the operator
// is typing elsewhere is left alone.
void DeveDialog::on_timer(int id) {
    const int mode = Selection(IDC_MODE);
    if (id == TIMER_TX_COUNT) {
        SetFieldAndControl(IDC_TX_PKT, read_tx_count(api_, mode));
        return;
    }
    const RxCounts counts = read_rx_counts(api_, mode);
    SetFieldAndControl(IDC_ERR_PKT, counts.errors);
    SetFieldAndControl(IDC_TOTAL_PKT, counts.total);
    if (counts.per) {
        SetFieldAndControl(IDC_PER, *counts.per);
    } else {
        surface_.set_text(IDC_PER, "NA");
    }
    if (observer_ != nullptr) {
        observer_->receive_reading(counts);
    }
}

}  // namespace deve
