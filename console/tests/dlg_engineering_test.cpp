// TX/RX tests, the two timers, the engineering reveal and the Option group.
#include "dlg_rig.h"
#include "script_files.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

using fake::R;
using fake::W;
using Calls = std::vector<std::string>;
using scripts::line;
using scripts::TempFile;

namespace {

// The controls the access code reveals, besides the Option group's own.
const int kRevealed[] = {1044, 1039, 1040, 1063, 1064, 1015, 1066, 1014, 1037, 1067, 1043,
                         1065, 1005, 1053, 1057};

}  // namespace

class EngineeringTest : public QObject {
    Q_OBJECT

private slots:
    void txOnAppliesOffsetAndStartsTimerZero() {
        Rig rig;
        rig.open();
        rig.type(1042, QStringLiteral("151"));
        rig.type(1011, QStringLiteral("100"));
        rig.choose(1026, 1);
        rig.click(1016);
        QCOMPARE(rig.calls(), (Calls{"rf_freq_offset(151)", "rf_tx_stop()", "rf_tx_start(1, 100)"}));
        QVERIFY(rig.dlg->IsTimerRunning(0));
        QVERIFY(!rig.dlg->IsTimerRunning(1));
        int running = 0;
        for (const QTimer *timer : rig.dlg->findChildren<QTimer *>()) {
            if (timer->isActive()) {
                ++running;
                QCOMPARE(timer->interval(), 1000);
            }
        }
        QCOMPARE(running, 1);
        QVERIFY(rig.widget(1063)->isHidden());
        rig.click(1021);
        QCOMPARE(rig.calls(), Calls{"rf_tx_stop()"});
        QVERIFY(!rig.dlg->IsTimerRunning(0));
    }

    void accessCodeRevealsTheEngineeringControls() {
        Rig rig;
        rig.open();
        rig.type(1042, QStringLiteral("624"));
        rig.click(1016);
        QCOMPARE(rig.calls(), (Calls{"rf_tx_stop()", "rf_tx_start(0, 0)"}));
        for (int id : kRevealed) {
            QVERIFY2(!rig.widget(id)->isHidden(), QByteArray::number(id));
        }
        QCOMPARE(rig.items(1054).size(), 5);
        QCOMPARE(rig.items(1054).back(), QStringLiteral("TX_Rate2"));
        // Revealed controls keep their enabled state; revealing twice adds
        // nothing more.
        QVERIFY(rig.widget(1044)->isEnabled());
        rig.click(1016);
        QCOMPARE(rig.items(1054).size(), 5);
    }

    void rxOnUsesTheOffsetTheFieldShows() {
        Rig rig;
        rig.open();
        // OPEN showed "151"; the operator types over it and presses RX ON.
        rig.type(1042, QStringLiteral("140"));
        rig.choose(1000, 0);
        rig.api.take();
        rig.click(1017);
        QCOMPARE(rig.calls(), (Calls{"rf_freq_offset(140)", W(0xCCB0E020, 0x400), "rf_rx_start(0, 0)"}));
        QVERIFY(rig.dlg->IsTimerRunning(1));
        rig.type(1042, QStringLiteral("624"));
        rig.click(1017);
        QCOMPARE(rig.calls().front(), std::string("rf_freq_offset(624)"));
        QVERIFY(rig.widget(1063)->isHidden());  // only TX ON reveals
        rig.click(1018);
        QCOMPARE(rig.calls(), Calls{"rf_rx_stop()"});
        QVERIFY(!rig.dlg->IsTimerRunning(1));
    }

    void timerZeroShowsTheCountUnsigned() {
        Rig rig;
        rig.open();
        rig.api.tx_count = 0x80000000u;
        rig.dlg->OnTimer(0);
        QCOMPARE(rig.calls(), Calls{"tx_packet(2)"});  // mode list at HT20
        QCOMPARE(rig.text(1020), QStringLiteral("2147483648"));
        rig.click(1016);
        rig.click(1021);
        QCOMPARE(rig.text(1020), QStringLiteral("2147483648"));  // TX OFF keeps it
    }

    void timerOneShowsCountsAndRate() {
        Rig rig;
        rig.open();
        rig.choose(1000, 1);
        rig.api.take();
        struct Case {
            std::uint32_t errors, total;
            const char *per;
            bool reset;
        };
        const Case cases[] = {
            {1, 8, "12.5%", false}, {0, 500, "0.0%", false},  {1, 3, "33.3%", false},
            {9, 4, "225.0%", false}, {0, 3000, "0.0%", false}, {30, 3001, "1.0%", true},
        };
        for (const Case &c : cases) {
            rig.api.rx_errors = c.errors;
            rig.api.rx_total = c.total;
            rig.dlg->OnTimer(1);
            QCOMPARE(rig.text(1022), QString::number(c.errors));
            QCOMPARE(rig.text(1023), QString::number(c.total));
            QCOMPARE(rig.text(1031), QString::fromLatin1(c.per));
            const Calls expected = c.reset ? Calls{"rf_rxpkt(1)", "rf_rxpkt_reset(1)"} : Calls{"rf_rxpkt(1)"};
            QCOMPARE(rig.calls(), expected);
        }
        rig.api.rx_errors = 0;
        rig.api.rx_total = 0;
        rig.dlg->OnTimer(1);
        QCOMPARE(rig.text(1031), QStringLiteral("NA"));
        QCOMPARE(rig.text(1023), QStringLiteral("0"));
    }

    void timersLeaveTypedTextAlone() {
        Rig rig;
        rig.open();
        rig.type(1003, QStringLiteral("CCB0"));
        rig.type(1041, QStringLiteral("AA"));
        rig.dlg->OnTimer(0);
        rig.dlg->OnTimer(1);
        QCOMPARE(rig.text(1003), QStringLiteral("CCB0"));
        QCOMPARE(rig.text(1041), QStringLiteral("AA"));
    }

    void timersFireOnTheirOwn() {
        Rig rig;
        rig.open();
        rig.api.tx_count = 7;
        rig.click(1016);
        rig.api.take();
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(1020), QStringLiteral("7"), 3000);
        QCOMPARE(rig.api.calls.front(), std::string("tx_packet(2)"));
    }

    void predistortionToggle() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.click(1044);
        QCOMPARE(rig.calls(), (Calls{R(0xCCB0AD1C), "rf_tx_stop()", "rf_calibration()", "rf_tx_stop()",
                                     "rf_2g_5g_padpd_cali(1)", "rf_tx_stop()"}));
        QCOMPARE(rig.text(1064), QStringLiteral("DPD ON"));
        rig.api.registers[0xCCB0AD1C] = 1;
        rig.click(1044);
        QCOMPARE(rig.calls(), (Calls{R(0xCCB0AD1C), W(0xCCB0AD1C, 0), "rf_tx_stop()"}));
        QCOMPARE(rig.text(1064), QStringLiteral("DPD OFF"));
        rig.api.results["rf_2g_5g_padpd_cali"] = -1;
        QString during;
        rig.api.on_call = [&](const std::string &call) {
            if (call == "rf_calibration()") {
                during = rig.text(1064);
            }
        };
        rig.click(1044);
        QCOMPARE(during, QStringLiteral("DPD..."));
        QCOMPARE(rig.text(1064), QStringLiteral("DPD Fail"));
    }

    void loadScriptWritesAndReports() {
        Rig rig;
        rig.open();
        rig.reveal();
        TempFile good("good.txt", line(0xCCB0A62C, 0x11111111) + "\n" + line(0xCCB0A630, 0x22222222) +
                                      "\n//end\n" + line(0xCCB0A400, 0) + "\n");
        qobject_cast<FileBrowseEdit *>(rig.widget(1040))->setText(QString::fromStdString(good.path()));
        rig.click(1039);
        QCOMPARE(rig.calls(), (Calls{W(0xCCB0A62C, 0x11111111), W(0xCCB0A630, 0x22222222)}));
        QCOMPARE(rig.prompter.boxes.size(), std::size_t{1});
        QCOMPARE(rig.prompter.boxes[0].kind, QStringLiteral("inform"));
        QCOMPARE(rig.prompter.boxes[0].text, QStringLiteral("Done"));
        QVERIFY(rig.prompter.boxes[0].details.startsWith(QStringLiteral("2 registers written, 0 DIList lines")));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void loadScriptMalformedAndWithoutEnd() {
        Rig rig;
        rig.open();
        rig.reveal();
        TempFile bad("bad.txt", "DIList short\n" + line(0xCCB0A62C, 0x33333333));
        qobject_cast<FileBrowseEdit *>(rig.widget(1040))->setText(QString::fromStdString(bad.path()));
        rig.click(1039);
        QCOMPARE(rig.calls(), Calls{W(0xCCB0A62C, 0x33333333)});
        QVERIFY(rig.prompter.boxes.at(0).details.contains(QStringLiteral("1 register written, 1 DIList line skipped")));
        QVERIFY(rig.prompter.boxes.at(0).details.contains(QStringLiteral("no \"//end\" line")));
    }

    void loadScriptMissingFileNamesIt() {
        Rig rig;
        rig.open();
        rig.reveal();
        const QString missing = QString::fromStdString(scripts::temp_path("absent.txt").string());
        qobject_cast<FileBrowseEdit *>(rig.widget(1040))->setText(missing);
        rig.click(1039);
        QVERIFY(rig.calls().empty());
        QCOMPARE(rig.prompter.boxes.size(), std::size_t{1});
        QCOMPARE(rig.prompter.boxes[0].kind, QStringLiteral("warn"));
        QVERIFY(rig.prompter.boxes[0].text.contains(missing));
    }

    void sensorAndRawWrites() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.api.registers[0xCCB0A544] = 0x2A000000;
        rig.click(1015);
        QCOMPARE(rig.text(1066), QStringLiteral("42"));
        QCOMPARE(rig.calls().size(), std::size_t{7});
        rig.type(1014, QStringLiteral("0x1234abcd"));
        rig.click(1037);
        rig.type(1067, QStringLiteral("FFFF"));
        rig.click(1043);
        QCOMPARE(rig.calls(), (Calls{W(0xCCB0A62C, 0x1234ABCD), W(0xCCB0A630, 0x0000FFFF)}));
        // CLOSE disables the two raw writes.
        rig.click(1002);
        rig.api.take();
        rig.click(1037);
        QVERIFY(rig.calls().empty());
    }

    void rawWritesWorkBeforeOpen() {
        Rig rig;
        rig.type(1067, QStringLiteral("5"));
        rig.click(1043);  // enabled in the template
        QCOMPARE(rig.calls(), Calls{W(0xCCB0A630, 5)});
    }
};

int runEngineeringTests(int argc, char **argv) {
    EngineeringTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dlg_engineering_test.moc"
