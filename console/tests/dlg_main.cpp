// The dialog tests on the offscreen platform.
#include "dlg_rig.h"

#include <QApplication>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int failed = 0;
    failed += runDialogTests(argc, argv);
    failed += runEngineeringTests(argc, argv);
    failed += runEfuseTests(argc, argv);
    return failed;
}
