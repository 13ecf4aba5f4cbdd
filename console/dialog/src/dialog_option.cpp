// "Option": pre-distortion, register scripts, the sensor and the two raw
// transmit-path writes.
#include "deve/dialog.h"

#include "deve/padpd_tables.h"
#include "deve/resource.h"
#include "deve/script.h"
#include "deve/text.h"

#include "busy_status.h"

namespace deve {

void DeveDialog::OnBnClickedDpd() {
    std::string result;
    {
        BusyStatus busy(surface_, IDC_DPD_STATUS, "DPD...");
        result = toggle_predistortion(api_);
    }
    surface_.set_text(IDC_DPD_STATUS, result);
    if (dpd_toggle_calibrated(result) && observer_ != nullptr) {
        observer_->predistortion_calibrated();
    }
}

void DeveDialog::OnBnClickedLoadScript() {
    const std::string path = surface_.text(IDC_SCRIPT_PATH);
    ScriptRun run;
    {
        BusyStatus busy(surface_, IDC_DPD_STATUS, "Loading script...");
        run = run_script(api_, path);
    }
    if (!run.opened) {
        Tell(MessageKind::Warning, script_open_failure(path));
        return;
    }
    if (run.read_failed()) {
        // A read error is not the file's end: say how far it got.
        Tell(MessageKind::Warning, script_read_failure(path, run));
        return;
    }
    if (run.writes_refused()) {
        // Not done: some lines never reached the chip.
        Tell(MessageKind::Warning, script_done_details(run));
        return;
    }
    Tell(MessageKind::Information, std::string(kScriptDone), script_done_details(run));
}

void DeveDialog::OnBrowseScript() {
    const std::optional<std::string> file = surface_.choose_file_to_open(
        "Register script", surface_.text(IDC_SCRIPT_PATH),
        {{"Register scripts", "*.txt"}, {"All files", "*"}});
    if (file && !file->empty()) {
        surface_.set_text(IDC_SCRIPT_PATH, *file);
    }
}

void DeveDialog::OnBnClickedSar() {
    UpdateData(true);
    Field(IDC_SAR_CODE) = decimal(static_cast<std::int32_t>(read_sensor_code(api_)));
    UpdateData(false);
}

void DeveDialog::OnBnClickedA62cWrite() {
    UpdateData(true);
    write_a62c(api_, ParseField(IDC_A62C_VALUE, 16));
}

void DeveDialog::OnBnClickedA630Write() {
    UpdateData(true);
    write_a630(api_, ParseField(IDC_A630_VALUE, 16));
}

}  // namespace deve
