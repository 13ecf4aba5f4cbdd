// "TX/RX control": the two tests and their one-second counters.
#include "deve/dialog.h"

#include "deve/resource.h"
#include "deve/text.h"

namespace deve {

std::string offset_refusal(std::uint32_t offset, const char *test) {
    return "Freq offset " + unsigned_decimal(offset) + " is out of range: the frequency offset is 0 to " +
           unsigned_decimal(kFreqOffsetMax) + ". Nothing was written to the chip and " + test +
           " did not start.";
}

// The trim register holds 8 bits: a larger offset would spill into the
// neighbouring bits. The access code on TX ON is not an offset.
bool DeveDialog::RefuseOffset(std::uint32_t offset, const char *test) {
    if (offset <= kFreqOffsetMax) {
        return false;
    }
    Tell(MessageKind::Warning, offset_refusal(offset, test));
    return true;
}

std::string pit_refusal(std::uint32_t pit) {
    return "PIT " + unsigned_decimal(pit) + " is out of range: the packet interval is 0 to " +
           unsigned_decimal(kPitMax) + ". Nothing was written to the chip and the TX test did not start.";
}

// The generator keeps the low 14 bits of the interval: a larger one would
// come out as some other interval, or as none.
bool DeveDialog::RefusePit(std::uint32_t pit) {
    if (pit <= kPitMax) {
        return false;
    }
    Tell(MessageKind::Warning, pit_refusal(pit));
    return true;
}

// The interval goes to the generator with the access code too.
void DeveDialog::OnBnClickedTxOn() {
    UpdateData(true);
    const std::uint32_t pit = ParseField(IDC_PIT, 10);
    const std::uint32_t offset = ParseField(IDC_FREQ_OFFSET, 10);
    if (RefusePit(pit)) {
        return;
    }
    if (offset != kEngineeringAccessCode && RefuseOffset(offset, "the TX test")) {
        return;
    }
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
    const std::uint32_t offset = ParseField(IDC_FREQ_OFFSET, 10);
    if (RefuseOffset(offset, "the RX test")) {
        return;
    }
    rx_on(api_, Selection(IDC_BAND), Selection(IDC_MODE), offset);
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
