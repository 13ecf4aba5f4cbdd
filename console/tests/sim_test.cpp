// The Qt skin end to end on the simulated board: OPEN through libvelmo and
// the board on a fresh fuse file, and registers read back through the dialog.
#include "deve_dlg.h"
#include "dlg_operator.h"
#include "prompter.h"
#include "script_files.h"

#include "deve/library_presence.h"
#include "deve/resource.h"
#include "deve/velmo_api.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// Answers every question with yes and keeps the texts.
class YesPrompter final : public Prompter {
public:
    QStringList texts;
    void inform(QWidget *, const QString &text, const QString &details) override { texts << text + details; }
    void warn(QWidget *, const QString &text) override { texts << text; }
    bool confirm(QWidget *, const QString &, const QString &text, const QString &) override {
        texts << text;
        return true;
    }
};

}  // namespace

class SimTest : public QObject, public DlgOperator {
    Q_OBJECT

    std::filesystem::path fuses_;
    deve::VelmoApi api_;
    YesPrompter prompter_;
    std::unique_ptr<CDeveDlg> dlg_;

private slots:
    void initTestCase() {
        QVERIFY2(std::getenv("XOLT_LIBRARY") != nullptr,
                 "XOLT_LIBRARY must name the simulated board (ctest sets it): nothing was run");
        fuses_ = scripts::temp_path("fuses.bin");
        qputenv("XOLT_FUSE_FILE", QByteArray::fromStdString(fuses_.string()));
        dlg_ = std::make_unique<CDeveDlg>(api_, prompter_, deve::velmo_library_file());
        operated_ = dlg_.get();
        QVERIFY(dlg_->presence().complete());
    }

    // Also runs when initTestCase failed, before there is a dialog.
    void cleanupTestCase() {
        if (dlg_) {
            click(IDC_CLOSE);
        }
        dlg_.reset();
        std::error_code ignored;
        std::filesystem::remove(fuses_, ignored);
    }

    void openOnTheSimulatedBoard() {
        click(IDC_OPEN);
        QCOMPARE(text(IDC_PORT_STATUS), QStringLiteral("Open Success"));
        QCOMPARE(text(IDC_CHIP_ID), QStringLiteral("0"));  // fresh board, header 0
        QCOMPARE(text(IDC_FREQ_OFFSET), QStringLiteral("151"));
        QCOMPARE(text(IDC_PIT), QStringLiteral("0"));
        QVERIFY(dlg_->control(IDC_TX_ON)->isEnabled());
        QVERIFY2(prompter_.texts.isEmpty(), qPrintable(prompter_.texts.join('\n')));
        // OPEN leaves the mode register in manual standby with gain index 3.
        type(IDC_REG_ADDRESS, "CCB0A400");
        click(IDC_REG_READ);
        QCOMPARE(text(IDC_READ_DATA), QStringLiteral("6000004"));
        type(IDC_REG_ADDRESS, "CCB0AD1C");
        click(IDC_REG_READ);
        QVERIFY2(text(IDC_READ_DATA) == QStringLiteral("0") || text(IDC_READ_DATA) == QStringLiteral("1"),
                 qPrintable(text(IDC_READ_DATA)));
    }
};

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    SimTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sim_test.moc"
