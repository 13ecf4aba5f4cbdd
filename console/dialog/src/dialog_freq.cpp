// "Freq/Rate setting" and the 11b gain list: each selection applies itself.
#include "deve/dialog.h"

#include "deve/resource.h"
#include "deve/tables.h"

namespace deve {

// The crystal takes effect at the next OPEN.
void DeveDialog::OnCbnSelchangeXtal() {}

// A new band refills the channel list without choosing a channel: the radio
// keeps its channel until the operator picks one.
void DeveDialog::OnCbnSelchangeBand() {
    const int band = Selection(IDC_BAND);
    if (band == kBand2G || band == kBand5G) {
        FillList(IDC_CHANNEL, channel_labels(band), -1);
    }
}

void DeveDialog::OnCbnSelchangeChannel() {
    const int position = Selection(IDC_CHANNEL);
    if (position >= 0) {
        choose_channel(api_, Selection(IDC_BAND), position);
    }
}

// A new mode refills the rate list (sorted by text) without choosing a
// rate; "11n-HT20" applies HT20-MCS7 at once.
void DeveDialog::OnCbnSelchangeMode() {
    const int mode = Selection(IDC_MODE);
    const std::vector<std::string> labels = sorted_rate_labels(mode);
    if (labels.empty()) {
        return;
    }
    FillList(IDC_RATE, labels, -1);
    choose_mode(api_, mode);
}

// The rate list is sorted, so the rate is found by its text.
void DeveDialog::OnCbnSelchangeRate() {
    if (Selection(IDC_RATE) >= 0) {
        choose_rate(api_, surface_.text(IDC_RATE));
    }
}

void DeveDialog::OnCbnSelchangeRfGain() {
    const int gain = Selection(IDC_RF_GAIN);
    if (gain >= 0) {
        choose_rf_gain(api_, Selection(IDC_BAND), gain);
    }
}

void DeveDialog::OnCbnSelchangeDac() {
    const int position = Selection(IDC_DAC);
    if (position >= 0) {
        choose_dac(api_, Selection(IDC_BAND), position);
    }
}

void DeveDialog::OnCbnSelchangeBrateGain() {
    const int position = Selection(IDC_BRATE_GAIN);
    if (position >= 0) {
        choose_brate_gain(api_, position);
    }
}

}  // namespace deve
