// The Qt skin: every control's kind, identifier, name and template state,
// what the accessibility layer reports, the edits' input rules as typed,
// the wait cursor, the timers, the about box and the OK button, end to end
// through the dialog's behaviour.
#include "dlg_rig.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

enum class Kind { Button, Edit, Static, List, Group, File };

struct ControlTemplate {
    int id;
    Kind kind;
    // A button's caption (with its mnemonic's `&`), or the accessible name;
    // empty for a changing static.
    const char *name;
    bool enabled;
    bool hidden;
};

// Every control with its template state.
const ControlTemplate kControls[] = {
    {1, Kind::Button, "確定", true, false},
    {1030, Kind::List, "Port", true, false},
    {1069, Kind::List, "Supply", true, false},
    {1001, Kind::Button, "&OPEN", true, false},
    {1002, Kind::Button, "&CLOSE", true, false},
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
    {1016, Kind::Button, "&TX ON", false, false},
    {1021, Kind::Button, "TX O&FF", false, false},
    {1017, Kind::Button, "&RX ON", false, false},
    {1018, Kind::Button, "R&X OFF", false, false},
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
            // Changing statics carry no fixed name, so the tree reports their
            // text; a button's name is its caption without the `&`.
            QCOMPARE(w->accessibleName(), QString::fromUtf8(tmpl.name).remove(QLatin1Char('&')));
        }
        auto *file = qobject_cast<FileBrowseEdit *>(rig.widget(1040));
        QCOMPARE(file->edit()->accessibleName(), QStringLiteral("Script file"));
        QCOMPARE(file->edit()->accessibleDescription(), QStringLiteral("1040"));
        // The controls that go with another: the browse button with the
        // script field, the 11b gain label with its list (hidden with it).
        QCOMPARE(file->browseButton()->accessibleDescription(), QStringLiteral("1102"));
        QCOMPARE(file->browseButton()->text(), QStringLiteral("..."));
        auto *brateLabel = rig.dlg->findChild<QLabel *>(QStringLiteral("control1101"));
        QVERIFY(brateLabel != nullptr);
        QCOMPARE(brateLabel->text(), QStringLiteral("11b gain"));
        QCOMPARE(brateLabel->buddy(), rig.widget(1065));
        QVERIFY(brateLabel->isHidden());
        QVERIFY(!rig.dlg->windowIcon().isNull());
        QVERIFY(rig.api.calls.empty());
    }

    // The Win32 dialog's mnemonics: Alt with a label's letter moves to the
    // control it names, Alt with a button's letter presses it.
    void mnemonicsMoveToTheirControls() {
        Rig rig;
        rig.dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.dlg.get()));
        rig.open();
        const struct {
            const char *label;
            Qt::Key key;
            int id;
        } labels[] = {
            {"&Port", Qt::Key_P, 1030},    {"S&upply", Qt::Key_U, 1069},  {"&Address", Qt::Key_A, 1003},
            {"&Value", Qt::Key_V, 1004},   {"Xta&l", Qt::Key_L, 1027},    {"&2G/5G", Qt::Key_2, 1026},
            {"C&hannel", Qt::Key_H, 1025}, {"&Mode", Qt::Key_M, 1000},    {"Rat&e", Qt::Key_E, 1019},
            {"RF &Gain", Qt::Key_G, 1029}, {"Freq off&set", Qt::Key_S, 1042}, {"P&IT(us)", Qt::Key_I, 1011},
            {"&DAC", Qt::Key_D, 1036},
        };
        for (const auto &l : labels) {
            QLabel *label = nullptr;
            for (QLabel *candidate : rig.dlg->findChildren<QLabel *>()) {
                if (candidate->text() == QString::fromUtf8(l.label)) {
                    label = candidate;
                }
            }
            QVERIFY2(label != nullptr, l.label);
            QCOMPARE(label->buddy(), rig.widget(l.id));
            QTest::keyClick(rig.dlg.get(), l.key, Qt::AltModifier);
            QVERIFY2(rig.widget(l.id)->hasFocus(), l.label);
        }
        // Alt+T: TX ON, Alt+F: TX OFF (a button pressed by its mnemonic
        // clicks once its press has shown).
        QTest::keyClick(rig.dlg.get(), Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(rig.dlg->IsTimerRunning(0));
        QTest::keyClick(rig.dlg.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(!rig.dlg->IsTimerRunning(0));
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
        rig.choose(1054, 3);  // TX_Rate1: no label for the second value
        QCOMPARE(name(1056), QStringLiteral("second value"));
    }

    // The dialog's input rules, held by the edits as the operator types.
    void editsTakeOnlyTheirCharacters() {
        Rig rig;
        QTest::keyClicks(rig.edit(1042), QStringLiteral("1a5-1"));
        QCOMPARE(rig.text(1042), QStringLiteral("151"));
        QTest::keyClicks(rig.edit(1011), QStringLiteral("x20"));
        QCOMPARE(rig.text(1011), QStringLiteral("20"));
        QTest::keyClicks(rig.edit(1003), QStringLiteral("0xccb0a40g0"));
        QCOMPARE(rig.text(1003), QStringLiteral("0XCCB0A400"));
        QTest::keyClicks(rig.edit(1004), QStringLiteral("beef123456"));
        QCOMPARE(rig.text(1004), QStringLiteral("BEEF1234"));
        QTest::keyClicks(rig.edit(1041), QStringLiteral("1ff"));
        QCOMPARE(rig.text(1041), QStringLiteral("1F"));
    }

    void openShowsTheWaitCursorWhileTheLibraryWorks() {
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
        QCOMPARE(rig.text(1025), QStringLiteral("CH1_2412MHz"));
        QVERIFY(rig.widget(1016)->isEnabled());
    }

    void timersFireOnTheirOwn() {
        Rig rig;
        rig.open();
        rig.api.tx_count = 7;
        rig.click(1016);
        QVERIFY(rig.dlg->IsTimerRunning(0));
        QVERIFY(!rig.dlg->IsTimerRunning(1));
        rig.api.take();
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(1020), QStringLiteral("7"), 3000);
        QCOMPARE(rig.api.calls.front(), std::string("tx_packet(2)"));
        rig.click(1021);
        QVERIFY(!rig.dlg->IsTimerRunning(0));
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

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    DialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dlg_test.moc"
