// "Freq/Rate setting" and the 11b gain list: each selection applies itself.
#include "deve_dlg.h"
#include "lists.h"
#include "resource.h"

#include "deve/operations.h"
#include "deve/tables.h"

#include <QComboBox>

// The crystal takes effect at the next OPEN.
void CDeveDlg::OnCbnSelchangeXtal() {}

// A new band refills the channel list without choosing a channel: the radio
// keeps its channel until the operator picks one.
void CDeveDlg::OnCbnSelchangeBand() {
    const int band = Selection(IDC_BAND);
    if (band == deve::kBand2G || band == deve::kBand5G) {
        fillList(List(IDC_CHANNEL), deve::channel_labels(band), -1);
    }
}

void CDeveDlg::OnCbnSelchangeChannel() {
    const int position = Selection(IDC_CHANNEL);
    if (position >= 0) {
        deve::choose_channel(api_, Selection(IDC_BAND), position);
    }
}

// A new mode refills the rate list (sorted by text) without choosing a
// rate; "11n-HT20" applies HT20-MCS7 at once.
void CDeveDlg::OnCbnSelchangeMode() {
    const int mode = Selection(IDC_MODE);
    const std::vector<std::string> labels = sortedRateLabels(mode);
    if (labels.empty()) {
        return;
    }
    fillList(List(IDC_RATE), labels, -1);
    deve::choose_mode(api_, mode);
}

// The rate list is sorted, so the rate is found by its text.
void CDeveDlg::OnCbnSelchangeRate() {
    if (Selection(IDC_RATE) >= 0) {
        deve::choose_rate(api_, List(IDC_RATE)->currentText().toStdString());
    }
}

void CDeveDlg::OnCbnSelchangeRfGain() {
    const int gain = Selection(IDC_RF_GAIN);
    if (gain >= 0) {
        deve::choose_rf_gain(api_, Selection(IDC_BAND), gain);
    }
}

void CDeveDlg::OnCbnSelchangeDac() {
    const int position = Selection(IDC_DAC);
    if (position >= 0) {
        deve::choose_dac(api_, Selection(IDC_BAND), position);
    }
}

void CDeveDlg::OnCbnSelchangeBrateGain() {
    const int position = Selection(IDC_BRATE_GAIN);
    if (position >= 0) {
        deve::choose_brate_gain(api_, position);
    }
}
