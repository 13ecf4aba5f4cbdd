// "Option": pre-distortion, register scripts, the sensor and the two raw
// transmit-path writes.
#include "busy_scope.h"
#include "deve_dlg.h"
#include "pictures_panel.h"
#include "prompter.h"
#include "resource.h"

#include "deve/operations.h"
#include "deve/padpd_tables.h"
#include "deve/script.h"
#include "deve/text.h"

#include <QLabel>

void CDeveDlg::OnBnClickedDpd() {
    auto *status = controls_.as<QLabel>(IDC_DPD_STATUS);
    std::string result;
    {
        BusyScope busy(this, status, QStringLiteral("DPD..."));
        result = deve::toggle_predistortion(api_);
    }
    status->setText(QString::fromStdString(result));
    if (deve::dpd_toggle_calibrated(result)) {
        pictures_->predistortionCalibrated();
    }
}

void CDeveDlg::OnBnClickedLoadScript() {
    const std::string path = controls_.text(IDC_SCRIPT_PATH).toStdString();
    deve::ScriptRun run;
    {
        BusyScope busy(this, controls_.as<QLabel>(IDC_DPD_STATUS), QStringLiteral("Loading script..."));
        run = deve::run_script(api_, path);
    }
    if (!run.opened) {
        prompter_.warn(this, QString::fromStdString(deve::script_open_failure(path)));
        return;
    }
    prompter_.inform(this, QString::fromUtf8(deve::kScriptDone.data(), static_cast<qsizetype>(deve::kScriptDone.size())),
                     QString::fromStdString(deve::script_done_details(run)));
}

void CDeveDlg::OnBnClickedSar() {
    UpdateData(true);
    Field(IDC_SAR_CODE) = QString::fromStdString(deve::decimal(static_cast<std::int32_t>(deve::read_sensor_code(api_))));
    UpdateData(false);
}

void CDeveDlg::OnBnClickedA62cWrite() {
    UpdateData(true);
    deve::write_a62c(api_, ParseField(IDC_A62C_VALUE, 16));
}

void CDeveDlg::OnBnClickedA630Write() {
    UpdateData(true);
    deve::write_a630(api_, ParseField(IDC_A630_VALUE, 16));
}
