// The dialog's frame, port and register panel, and the selection lists.
#include "dlg_rig.h"

#include <algorithm>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using fake::R;
using fake::W;
using Calls = std::vector<std::string>;

namespace {

enum class Kind { Button, Edit, Static, List, Group, File };

struct ControlTemplate {
    int id;
    Kind kind;
    const char *name;  // caption or label; empty for a changing static
    bool enabled;
    bool hidden;
};

// Every control with its template state.
const ControlTemplate kControls[] = {
    {1, Kind::Button, "確定", true, false},
    {1030, Kind::List, "Port", true, false},
    {1069, Kind::List, "Supply", true, false},
    {1001, Kind::Button, "OPEN", true, false},
    {1002, Kind::Button, "CLOSE", true, false},
    {1007, Kind::Static, "", true, false},
    {1003, Kind::Edit, "Address", true, false},
    {1004, Kind::Edit, "Value", true, false},
    {1005, Kind::Button, "REG Write", false, true},
    {1006, Kind::Button, "REG Read", false, false},
    {1008, Kind::Static, "", true, false},
    {1038, Kind::Static, "", true, false},
    {1027, Kind::List, "Xtal", true, false},
    {1026, Kind::List, "2G/5G", false, false},
    {1025, Kind::List, "Channel", false, false},
    {1000, Kind::List, "Mode", false, false},
    {1019, Kind::List, "Rate", false, false},
    {1029, Kind::List, "RF Gain", false, false},
    {1036, Kind::List, "DAC", false, false},
    {1016, Kind::Button, "TX ON", false, false},
    {1021, Kind::Button, "TX OFF", false, false},
    {1017, Kind::Button, "RX ON", false, false},
    {1018, Kind::Button, "RX OFF", false, false},
    {1020, Kind::Static, "", true, false},
    {1022, Kind::Static, "", true, false},
    {1023, Kind::Static, "", true, false},
    {1031, Kind::Static, "", true, false},
    {1042, Kind::Edit, "Freq offset", true, false},
    {1011, Kind::Edit, "PIT(us)", true, false},
    {1063, Kind::Group, "Option", true, true},
    {1044, Kind::Button, "DPD ON/OFF", false, true},
    {1064, Kind::Static, "", true, true},
    {1065, Kind::List, "11b gain", true, true},
    {1039, Kind::Button, "Load script", false, true},
    {1040, Kind::File, "", true, true},
    {1015, Kind::Button, "SAR", false, true},
    {1066, Kind::Static, "", true, true},
    {1014, Kind::Edit, "A62C value", true, true},
    {1037, Kind::Button, "A62C_W", true, true},
    {1067, Kind::Edit, "A630 value", true, true},
    {1043, Kind::Button, "A630_W", true, true},
    {1041, Kind::Edit, "MAC byte 0", true, false},
    {1048, Kind::Edit, "MAC byte 1", true, false},
    {1049, Kind::Edit, "MAC byte 2", true, false},
    {1050, Kind::Edit, "MAC byte 3", true, false},
    {1051, Kind::Edit, "MAC byte 4", true, false},
    {1052, Kind::Edit, "MAC byte 5", true, false},
    {1047, Kind::Static, "", true, false},
    {1046, Kind::Button, "MAC Read", false, false},
    {1053, Kind::Button, "MAC Write", false, true},
    {1054, Kind::List, "Item", false, false},
    {1059, Kind::Static, "", true, false},
    {1060, Kind::Static, "", true, false},
    {1055, Kind::Edit, "5200 PWR", false, false},
    {1056, Kind::Edit, "2400 PWR", false, false},
    {1061, Kind::Static, "", true, false},
    {1062, Kind::Static, "", true, false},
    {1057, Kind::Button, "Efuse write", false, true},
    {1058, Kind::Button, "Efuse read", false, false},
};

// The 23 controls OPEN enables.
const int kOpenEnabled[] = {1016, 1021, 1017, 1018, 1005, 1006, 1039, 1036, 1027, 1026, 1029, 1025,
                            1000, 1019, 1044, 1053, 1046, 1057, 1058, 1054, 1015, 1037, 1043};

bool isKind(QWidget *w, Kind kind) {
    switch (kind) {
    case Kind::Button: return qobject_cast<QPushButton *>(w) != nullptr;
    case Kind::Edit: return qobject_cast<QLineEdit *>(w) != nullptr;
    case Kind::Static: return qobject_cast<QLabel *>(w) != nullptr;
    case Kind::List: return qobject_cast<QComboBox *>(w) != nullptr;
    case Kind::Group: return qobject_cast<QGroupBox *>(w) != nullptr;
    case Kind::File: return qobject_cast<FileBrowseEdit *>(w) != nullptr;
    }
    return false;
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT

private slots:
    void everyControlHasItsIdentifierNameAndTemplateState() {
        Rig rig;
        QCOMPARE(rig.dlg->windowTitle(), QStringLiteral("Deve"));
        QCOMPARE(rig.dlg->font().pointSize(), 9);
        QCOMPARE(rig.dlg->controls().all().size(), std::size(kControls));
        for (const ControlTemplate &tmpl : kControls) {
            QWidget *w = rig.widget(tmpl.id);
            const QByteArray where = QByteArray::number(tmpl.id);
            QVERIFY2(w != nullptr, where);
            QVERIFY2(isKind(w, tmpl.kind), where);
            QCOMPARE(w->accessibleDescription(), QString::number(tmpl.id));
            QCOMPARE(w->isEnabled(), tmpl.enabled);
            QCOMPARE(w->isHidden(), tmpl.hidden);
            if (tmpl.kind == Kind::Button) {
                QCOMPARE(rig.button(tmpl.id)->text(), QString::fromUtf8(tmpl.name));
            }
            // Changing statics carry no fixed name, so the tree reports their text.
            QCOMPARE(w->accessibleName(), QString::fromUtf8(tmpl.name));
        }
        auto *file = qobject_cast<FileBrowseEdit *>(rig.widget(1040));
        QCOMPARE(file->edit()->accessibleName(), QStringLiteral("Script file"));
        QCOMPARE(file->edit()->accessibleDescription(), QStringLiteral("1040"));
    }

    // What the accessibility layer reports: names and identifiers, and a
    // changing static's current text.
    void accessibilityInterfacesReportNamesAndIdentifiers() {
        Rig rig;
        auto name = [&](int id) {
            return QAccessible::queryAccessibleInterface(rig.widget(id))->text(QAccessible::Name);
        };
        auto description = [&](int id) {
            return QAccessible::queryAccessibleInterface(rig.widget(id))->text(QAccessible::Description);
        };
        QCOMPARE(name(1001), QStringLiteral("OPEN"));
        QCOMPARE(description(1001), QStringLiteral("1001"));
        QCOMPARE(name(1042), QStringLiteral("Freq offset"));
        QCOMPARE(description(1027), QStringLiteral("1027"));
        QCOMPARE(name(1), QStringLiteral("確定"));
        rig.open();
        QCOMPARE(name(1007), QStringLiteral("Open Success"));
        QCOMPARE(description(1007), QStringLiteral("1007"));
        rig.choose(1054, 2);
        QCOMPARE(name(1055), QStringLiteral("Freq offset"));
        QCOMPARE(name(1059), QStringLiteral("Freq offset"));
    }

    void boundStaticsStartEmptyAndListsAreFilled() {
        Rig rig;
        for (int id : {1007, 1008, 1038, 1020, 1022, 1023, 1031, 1047, 1061, 1062, 1064, 1066}) {
            QVERIFY2(rig.text(id).isEmpty(), QByteArray::number(id));
        }
        QCOMPARE(rig.text(1059), QStringLiteral("5200 PWR"));
        QCOMPARE(rig.text(1060), QStringLiteral("2400 PWR"));
        QCOMPARE(rig.items(1030), (QStringList{"USB", "SDIO"}));
        QCOMPARE(rig.list(1030)->currentIndex(), 0);
        QCOMPARE(rig.items(1069), (QStringList{"LDO", "DCDC"}));
        QCOMPARE(rig.list(1069)->currentIndex(), 1);
        QCOMPARE(rig.items(1027), (QStringList{"20MHz", "24MHz", "25MHz", "26MHz", "40MHz"}));
        QCOMPARE(rig.list(1027)->currentIndex(), 2);
        QCOMPARE(rig.items(1054), (QStringList{"TX_PWR1", "TX_PWR2", "Freq_offset", "TX_Rate1"}));
        QCOMPARE(rig.list(1054)->currentIndex(), 0);
        for (int id : {1026, 1025, 1000, 1019, 1029, 1036, 1065}) {
            QCOMPARE(rig.list(id)->count(), 0);
        }
        QVERIFY(rig.api.calls.empty());  // creating the dialog calls nothing
        QVERIFY(rig.prompter.boxes.empty());
        QVERIFY(!rig.dlg->windowIcon().isNull());
    }

    void editsTakeOnlyTheirCharacters() {
        Rig rig;
        QTest::keyClicks(rig.edit(1042), QStringLiteral("1a5-1"));
        QCOMPARE(rig.text(1042), QStringLiteral("151"));
        QTest::keyClicks(rig.edit(1011), QStringLiteral("x20"));
        QCOMPARE(rig.text(1011), QStringLiteral("20"));
        QTest::keyClicks(rig.edit(1003), QStringLiteral("0xccb0a40g0"));
        QCOMPARE(rig.text(1003), QStringLiteral("0XCCB0A400"));
        QTest::keyClicks(rig.edit(1004), QStringLiteral("beef"));
        QCOMPARE(rig.text(1004), QStringLiteral("BEEF"));
    }

    void openRunsTheSequenceAndFillsTheLists() {
        Rig rig;
        rig.type(1042, QStringLiteral("77"));
        rig.type(1011, QStringLiteral("9"));
        rig.click(1001);
        const Calls calls = rig.calls();
        QVERIFY(!calls.empty());
        QCOMPARE(calls.front(), std::string("rf_init(4)"));
        QCOMPARE(calls[1], std::string("rf_xtal_set(2)"));
        QCOMPARE(calls[2], std::string("rf_dcdc_onoff(1)"));
        QCOMPARE(calls.back(), W(0xCCB0E134, 0x00100010));
        // Filling the lists runs none of their handlers.
        QCOMPARE(std::count(calls.begin(), calls.end(), std::string("rf_rate(22)")), 1);
        QCOMPARE(std::count(calls.begin(), calls.end(), std::string("rf_set_ch(1)")), 1);

        QCOMPARE(rig.text(1007), QStringLiteral("Open Success"));
        QCOMPARE(rig.text(1038), QStringLiteral("0"));
        QCOMPARE(rig.text(1011), QStringLiteral("0"));
        QCOMPARE(rig.text(1042), QStringLiteral("151"));
        QCOMPARE(rig.items(1026), (QStringList{"2G", "5G"}));
        QCOMPARE(rig.text(1026), QStringLiteral("2G"));
        QCOMPARE(rig.list(1025)->count(), 13);
        QCOMPARE(rig.text(1025), QStringLiteral("CH1_2412MHz"));
        QCOMPARE(rig.items(1000), (QStringList{"11b-CCK", "11g-OFDM", "11n-HT20", "11n-HT40"}));
        QCOMPARE(rig.text(1000), QStringLiteral("11n-HT20"));
        QCOMPARE(rig.list(1019)->count(), 8);
        QCOMPARE(rig.text(1019), QStringLiteral("HT20-MCS7"));
        QCOMPARE(rig.text(1029), QStringLiteral("-3"));
        QCOMPARE(rig.list(1036)->count(), 16);
        QCOMPARE(rig.text(1036), QStringLiteral("0"));
        QCOMPARE(rig.list(1065)->count(), 16);
        QCOMPARE(rig.text(1065), QStringLiteral("-2.5"));

        for (int id : kOpenEnabled) {
            QVERIFY2(rig.widget(id)->isEnabled(), QByteArray::number(id));
        }
        // Enabling shows nothing that was hidden, and leaves the value edits.
        for (int id : {1005, 1053, 1057, 1044, 1063, 1065}) {
            QVERIFY2(rig.widget(id)->isHidden(), QByteArray::number(id));
        }
        QVERIFY(!rig.widget(1055)->isEnabled());
        QVERIFY(!rig.widget(1056)->isEnabled());
    }

    void openUsesPortSupplyAndCrystalAndShowsTheChipId() {
        Rig rig;
        rig.api.chip_id = 0x7C000000;
        rig.choose(1030, 1);  // SDIO: no call of its own
        rig.choose(1069, 0);  // LDO
        rig.choose(1027, 0);  // 20MHz: takes effect at OPEN only
        QVERIFY(rig.api.calls.empty());
        rig.click(1001);
        const Calls calls = rig.calls();
        QCOMPARE(calls[0], std::string("rf_init(3)"));
        QCOMPARE(calls[1], std::string("rf_xtal_set(0)"));
        QCOMPARE(calls[2], std::string("rf_dcdc_onoff(0)"));
        QVERIFY(std::find(calls.begin(), calls.end(), "rf_2g_5g_padpd_cali(1)") == calls.end());
        QCOMPARE(rig.text(1038), QStringLiteral("7c000000"));
    }

    void openShowsBusyStateWhileTheLibraryWorks() {
        Rig rig;
        rig.dlg->show();
        QString statusDuring;
        bool waitCursor = false;
        rig.api.on_call = [&](const std::string &call) {
            if (call == "rf_calibration()") {
                statusDuring = rig.text(1007);
                waitCursor = QApplication::overrideCursor() != nullptr &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            }
        };
        rig.click(1001);
        QCOMPARE(statusDuring, QStringLiteral("Opening and calibrating..."));
        QVERIFY(waitCursor);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(rig.text(1007), QStringLiteral("Open Success"));
    }

    void failedOpenChangesNothingButTheStatus() {
        Rig rig;
        rig.api.results["rf_init"] = -1;
        rig.click(1001);
        QCOMPARE(rig.calls(), Calls{"rf_init(4)"});
        QCOMPARE(rig.text(1007), QStringLiteral("Open Fail"));
        QCOMPARE(rig.list(1026)->count(), 0);
        QVERIFY(!rig.widget(1016)->isEnabled());
        QVERIFY(!rig.widget(1006)->isEnabled());
        QCOMPARE(rig.text(1038), QString());
    }

    void closeStopsTimersDisablesAndDeinits() {
        Rig rig;
        rig.open();
        rig.click(1016);  // TX ON
        rig.click(1017);  // RX ON
        QVERIFY(rig.dlg->IsTimerRunning(0));
        QVERIFY(rig.dlg->IsTimerRunning(1));
        rig.api.take();
        rig.click(1002);
        QCOMPARE(rig.calls(), Calls{"rf_deinit()"});  // no stop calls
        QVERIFY(!rig.dlg->IsTimerRunning(0));
        QVERIFY(!rig.dlg->IsTimerRunning(1));
        QCOMPARE(rig.text(1007), QStringLiteral("Close Success"));
        for (int id : kOpenEnabled) {
            const bool staysEnabled = id == 1027 || id == 1054;
            QCOMPARE(rig.widget(id)->isEnabled(), staysEnabled);
        }
        // CLOSE is always possible.
        rig.click(1002);
        QCOMPARE(rig.calls(), Calls{"rf_deinit()"});
    }

    void registerReadAndWrite() {
        Rig rig;
        rig.open();
        rig.api.registers[0xCCB0A400] = 0x06000004;
        rig.type(1003, QStringLiteral("ccb0a400"));
        rig.click(1006);
        QCOMPARE(rig.calls(), Calls{R(0xCCB0A400)});
        QCOMPARE(rig.text(1008), QStringLiteral("6000004"));
        rig.type(1003, QString());
        rig.click(1006);
        QCOMPARE(rig.calls(), Calls{R(0)});
        QCOMPARE(rig.text(1008), QStringLiteral("0"));

        rig.type(1003, QStringLiteral("CCB0ADAC"));
        rig.type(1004, QStringLiteral("0X100098"));
        rig.click(1005);  // hidden but enabled: its handler works
        QCOMPARE(rig.calls(), Calls{W(0xCCB0ADAC, 0x00100098)});
    }

    void bandAndChannel() {
        Rig rig;
        rig.open();
        rig.choose(1025, 12);
        QCOMPARE(rig.calls(), Calls{"rf_set_ch(13)"});
        rig.choose(1026, 1);
        QVERIFY(rig.calls().empty());
        QCOMPARE(rig.list(1025)->count(), 104);
        QCOMPARE(rig.list(1025)->currentIndex(), -1);
        rig.choose(1025, 32);
        rig.choose(1025, 33);
        rig.choose(1025, 103);
        QCOMPARE(rig.calls(), (Calls{"rf_set_ch(64)", "rf_set_ch(100)", "rf_set_ch(170)"}));
        QCOMPARE(rig.text(1025), QStringLiteral("CH170_5850MHz"));
    }

    void modeAndRate() {
        Rig rig;
        rig.open();
        rig.choose(1000, 1);  // 11g-OFDM
        QVERIFY(rig.calls().empty());
        QCOMPARE(rig.items(1019), (QStringList{"0-OFDM-6M", "1-OFDM-9M", "2-OFDM-12M", "3-OFDM-18M", "4-OFDM-24M",
                                               "5-OFDM-36M", "6-OFDM-48M", "7-OFDM-54M"}));
        QCOMPARE(rig.list(1019)->currentIndex(), -1);
        rig.chooseText(1019, QStringLiteral("7-OFDM-54M"));
        QCOMPARE(rig.calls(), Calls{"rf_rate(14)"});
        rig.choose(1000, 3);
        rig.chooseText(1019, QStringLiteral("HT40-MCS0"));
        QCOMPARE(rig.calls(), Calls{"rf_rate(31)"});
        rig.choose(1000, 2);  // HT20 applies MCS7 at once, with nothing selected
        QCOMPARE(rig.calls(), Calls{"rf_rate(22)"});
        QCOMPARE(rig.list(1019)->currentIndex(), -1);
        rig.choose(1000, 0);
        QVERIFY(rig.calls().empty());
        QCOMPARE(rig.items(1019), (QStringList{"0-CCK-1M", "1-CCK-2M", "2-CCK-5.5M", "3-CCK-11M"}));
    }

    void gainsAndDac() {
        Rig rig;
        rig.open();
        rig.chooseText(1036, QStringLiteral("+1"));
        QCOMPARE(rig.calls(), Calls{W(0xCCB0ADAC, 0x00100090)});
        rig.choose(1026, 1);
        rig.chooseText(1036, QStringLiteral("+1"));
        QCOMPARE(rig.calls(), Calls{W(0xCCB0ADA8, 0x90909090)});
        rig.chooseText(1029, QStringLiteral("-15"));
        QCOMPARE(rig.calls(), Calls{"rf_gain(1, 15)"});
        rig.chooseText(1065, QStringLiteral("+1.5"));
        QCOMPARE(rig.calls(), Calls{"rf_brate_gain(0)"});
    }

    void presenceFailureIsShownAndPrinted() {
        Rig rig("libvelmo-not-here.so.0");
        QVERIFY(!rig.dlg->presence().loaded());
        QCOMPARE(rig.prompter.boxes.size(), std::size_t{1});
        QCOMPARE(rig.prompter.boxes[0].kind, QStringLiteral("warn"));
        QVERIFY(rig.prompter.boxes[0].text.contains(QStringLiteral("libvelmo-not-here.so.0")));
        // The dialog works as usual.
        rig.open();
        QCOMPARE(rig.text(1007), QStringLiteral("Open Success"));
    }

    void presenceCheckFindsTheLinkedLibrary() {
        Rig rig;
        QVERIFY(rig.dlg->presence().complete());
    }

    void aboutEntryOpensTheAboutBox() {
        Rig rig;
        QAction *about = rig.dlg->findChild<QAction *>(QStringLiteral("string101"));
        QVERIFY(about != nullptr);
        QCOMPARE(about->text(), QStringLiteral("關於 Deve(&A)..."));
        QVERIFY(rig.dlg->actions().size() == 2 && rig.dlg->actions().front()->isSeparator());
        QString title;
        QTimer::singleShot(0, [&title] {
            QWidget *box = QApplication::activeModalWidget();
            if (box != nullptr) {
                title = box->windowTitle();
                qobject_cast<QDialog *>(box)->accept();
            }
        });
        about->trigger();
        QCOMPARE(title, QStringLiteral("關於 Deve"));
    }

    void okButtonClosesTheDialog() {
        Rig rig;
        QSignalSpy accepted(rig.dlg.get(), &QDialog::accepted);
        rig.click(1);
        QCOMPARE(accepted.count(), 1);
    }
};

int runDialogTests(int argc, char **argv) {
    DialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dlg_test.moc"
