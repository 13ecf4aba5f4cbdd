#include "deve_app.h"

#include "deve_dlg.h"
#include "prompter.h"
#include "screenshot.h"

#include "deve/library_presence.h"
#include "deve/velmo_api.h"

#include <QCommandLineParser>

CDeveApp::CDeveApp(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Deve"));
    setApplicationVersion(QStringLiteral(DEVE_VERSION));
}

int CDeveApp::InitInstance() {
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("RF test console for the Varimon dual-band Wi-Fi SoC"));
    options.addHelpOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Press OPEN, save a picture of the dialog to <file> and exit."), QStringLiteral("file"));
    options.addOption(screenshot);
    options.process(*this);

    deve::VelmoApi api;
    MessageBoxPrompter prompter;
    CDeveDlg dlg(api, prompter, deve::velmo_library_file());
    if (!options.isSet(screenshot)) {
        dlg.exec();
        return 0;
    }
    scheduleScreenshot(dlg, options.value(screenshot));
    return dlg.exec() == QDialog::Accepted ? 0 : 1;
}
