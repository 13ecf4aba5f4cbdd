// The console end to end on the simulated board: OPEN through libvelmo and
// the board, then the eFuse and MAC panel on a fresh fuse file.
#include "deve_dlg.h"
#include "dlg_operator.h"
#include "prompter.h"
#include "resource.h"
#include "script_files.h"

#include "deve/library_presence.h"
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
    bool confirm(QWidget *, const QString &, const QString &text) override {
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
        QVERIFY2(std::getenv("XOLT_LIBRARY") != nullptr, "XOLT_LIBRARY must name the simulated board");
        fuses_ = scripts::temp_path("fuses.bin");
        qputenv("XOLT_FUSE_FILE", QByteArray::fromStdString(fuses_.string()));
        dlg_ = std::make_unique<CDeveDlg>(api_, prompter_, deve::velmo_library_file());
        operated_ = dlg_.get();
        QVERIFY(dlg_->presence().complete());
    }

    void cleanupTestCase() {
        click(IDC_CLOSE);
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
        // OPEN leaves the mode register in manual standby with gain index 3.
        type(IDC_REG_ADDRESS, "CCB0A400");
        click(IDC_REG_READ);
        QCOMPARE(text(IDC_READ_DATA), QStringLiteral("6000004"));
        type(IDC_REG_ADDRESS, "CCB0AD1C");
        click(IDC_REG_READ);
        QVERIFY2(text(IDC_READ_DATA) == QStringLiteral("0") || text(IDC_READ_DATA) == QStringLiteral("1"),
                 qPrintable(text(IDC_READ_DATA)));
    }

    void freshFuseReads() {
        click(IDC_MAC_READ);
        QCOMPARE(text(IDC_MAC_TEXT), QStringLiteral("No mac address"));
        click(IDC_EFUSE_READ);
        QCOMPARE(text(IDC_EFUSE_RESULT), QStringLiteral("0,0"));
        QCOMPARE(text(IDC_EFUSE_RANGE), QStringLiteral("Empty: 224 bit"));
    }

    void programRecordsAndReadThemBack() {
        type(IDC_FREQ_OFFSET, "624");
        click(IDC_TX_ON);
        click(IDC_TX_OFF);
        QVERIFY(!dlg_->control(IDC_EFUSE_WRITE)->isHidden());

        choose(IDC_EFUSE_ITEM, 0);
        type(IDC_EFUSE_FIRST, "3");
        type(IDC_EFUSE_SECOND, "5");
        click(IDC_EFUSE_WRITE);
        QCOMPARE(text(IDC_EFUSE_RESULT), QStringLiteral("success"));
        click(IDC_EFUSE_READ);
        QCOMPARE(text(IDC_EFUSE_RESULT), QStringLiteral("3,5"));
        QCOMPARE(text(IDC_EFUSE_RANGE), QStringLiteral("Empty: 212 bit"));

        choose(IDC_EFUSE_ITEM, 2);
        type(IDC_EFUSE_FIRST, "140");
        click(IDC_EFUSE_WRITE);
        QCOMPARE(text(IDC_EFUSE_RESULT), QStringLiteral("success"));

        const int macIds[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2, IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};
        const char *bytes[] = {"00", "11", "22", "33", "44", "55"};
        for (int i = 0; i < 6; ++i) {
            type(macIds[i], bytes[i]);
        }
        click(IDC_MAC_WRITE);
        QCOMPARE(text(IDC_MAC_TEXT), QStringLiteral("success"));
        click(IDC_MAC_READ);
        QCOMPARE(text(IDC_MAC_TEXT), QStringLiteral("0:11:22:33:44:55"));
        QVERIFY(prompter_.texts.last().contains(QStringLiteral("MAC address (record type 11, 52 bits)")));
    }

    void reopenAppliesTheStoredCrystalTrim() {
        click(IDC_CLOSE);
        QCOMPARE(text(IDC_PORT_STATUS), QStringLiteral("Close Success"));
        click(IDC_OPEN);
        QCOMPARE(text(IDC_PORT_STATUS), QStringLiteral("Open Success"));
        QCOMPARE(text(IDC_FREQ_OFFSET), QStringLiteral("140"));
        type(IDC_REG_ADDRESS, "CCB0B000");
        click(IDC_REG_READ);
        const unsigned value = text(IDC_READ_DATA).toUInt(nullptr, 16);
        QCOMPARE((value >> 8) & 0xFFu, 140u);
        QCOMPARE((value >> 17) & 0xFFu, 140u);
        // TX_PWR1 3 (5200 MHz) and 5 (2.4 GHz): DAC codes of -3.5 and -2.5 dB.
        type(IDC_REG_ADDRESS, "CCB0ADAC");
        click(IDC_REG_READ);
        QCOMPARE(text(IDC_READ_DATA), QStringLiteral("60"));
        type(IDC_REG_ADDRESS, "CCB0ADA8");
        click(IDC_REG_READ);
        QCOMPARE((text(IDC_READ_DATA).toUInt(nullptr, 16) >> 16) & 0xFFu, 0x56u);
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
