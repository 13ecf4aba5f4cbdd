// The eFuse and MAC panel: item selection, reads, and confirmed writes.
#include "dlg_rig.h"

#include <QTest>

using Calls = std::vector<std::string>;

class EfuseTest : public QObject {
    Q_OBJECT

private slots:
    void itemSelectionSetsLabelsFieldsAndRange() {
        Rig rig;
        rig.open();
        struct Case {
            int position;
            const char *first, *second;
            bool firstEnabled, secondEnabled;
            const char *range;
        };
        const Case cases[] = {
            {1, "5800 PWR", "5500 PWR", true, true, "PWR range: 0~15"},
            {2, "Freq offset", "None", true, false, "offset range: 0~255"},
            {3, "B_PWR", "", true, false, ""},
            {0, "5200 PWR", "2400 PWR", true, true, "PWR range: 0~15"},
        };
        for (const Case &c : cases) {
            rig.choose(1054, c.position);
            QCOMPARE(rig.text(1059), QString::fromLatin1(c.first));
            QCOMPARE(rig.text(1060), QString::fromLatin1(c.second));
            QCOMPARE(rig.widget(1055)->isEnabled(), c.firstEnabled);
            QCOMPARE(rig.widget(1056)->isEnabled(), c.secondEnabled);
            QCOMPARE(rig.text(1062), QString::fromLatin1(c.range));
            QCOMPARE(rig.widget(1055)->accessibleName(), QString::fromLatin1(c.first));
        }
        QVERIFY(rig.calls().empty());
    }

    void readShowsValuesAndFreeBits() {
        Rig rig;
        rig.open();
        rig.api.pairs["tx_power1"] = {3, 5};
        rig.api.free_bits = 200;
        rig.click(1058);
        QCOMPARE(rig.calls(), (Calls{"rf_efuse_read_tx_power1()", "rf_get_efuse_free_bits()"}));
        QCOMPARE(rig.text(1061), QStringLiteral("3,5"));
        QCOMPARE(rig.text(1062), QStringLiteral("Empty: 200 bit"));
        rig.choose(1054, 2);
        rig.click(1058);
        QCOMPARE(rig.text(1061), QStringLiteral("0"));  // no crystal record
    }

    void writeAsksFirstAndCancelProgramsNothing() {
        Rig rig;
        rig.open();
        rig.reveal();
        QVERIFY(!rig.widget(1057)->isHidden());
        rig.choose(1054, 0);
        rig.type(1055, QStringLiteral("3"));
        rig.type(1056, QStringLiteral("5"));
        rig.prompter.answer = false;
        rig.click(1057);
        QCOMPARE(rig.calls(), Calls{"rf_get_efuse_free_bits()"});
        QCOMPARE(rig.prompter.boxes.size(), std::size_t{1});
        const QString question = rig.prompter.boxes[0].text;
        QVERIFY(question.contains(QStringLiteral("TX_PWR1 (record type 5, 12 bits): 5200 PWR = 3, 2400 PWR = 5")));
        QVERIFY(question.contains(QStringLiteral("cannot be undone")));
        QVERIFY(question.contains(QStringLiteral("224 now, 212 after this record")));
        QCOMPARE(rig.text(1061), QString());

        rig.prompter.answer = true;
        rig.click(1057);
        QCOMPARE(rig.calls(), (Calls{"rf_get_efuse_free_bits()", "rf_efuse_write_tx_power1(3, 5)"}));
        QCOMPARE(rig.text(1061), QStringLiteral("success"));
    }

    void disabledFieldsAreWrittenAsTheyRead() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.choose(1054, 0);
        rig.type(1055, QStringLiteral("4"));
        rig.type(1056, QStringLiteral("9"));
        rig.choose(1054, 3);  // TX_Rate1: the second field is disabled but keeps "9"
        QCOMPARE(rig.text(1056), QStringLiteral("9"));
        rig.click(1057);
        QCOMPARE(rig.calls().back(), std::string("rf_efuse_write_rate_gain_b_n40(4, 9)"));
        rig.choose(1054, 2);  // Freq_offset: one value only
        rig.type(1055, QStringLiteral("140"));
        rig.click(1057);
        QCOMPARE(rig.calls().back(), std::string("rf_efuse_write_xtal(140)"));
    }

    void fullFuseReportsFail() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.api.free_bits = 4;
        rig.type(1055, QStringLiteral("1"));
        rig.click(1057);
        QVERIFY(rig.prompter.boxes.back().text.contains(QStringLiteral("the write will fail")));
        QCOMPARE(rig.text(1061), QStringLiteral("fail"));
    }

    void macWriteThenRead() {
        Rig rig;
        rig.open();
        rig.click(1046);
        QCOMPARE(rig.text(1047), QStringLiteral("No mac address"));
        rig.reveal();
        const char *bytes[] = {"00", "11", "22", "33", "44", "55"};
        const int ids[] = {1041, 1048, 1049, 1050, 1051, 1052};
        for (int i = 0; i < 6; ++i) {
            rig.type(ids[i], QString::fromLatin1(bytes[i]));
        }
        rig.prompter.answer = false;
        rig.click(1053);
        QCOMPARE(rig.calls(), Calls{"rf_get_efuse_free_bits()"});
        QVERIFY(rig.prompter.boxes.back().text.contains(QStringLiteral("00:11:22:33:44:55")));
        rig.prompter.answer = true;
        rig.click(1053);
        QCOMPARE(rig.calls().back(), std::string("rf_efuse_write_mac(00:11:22:33:44:55)"));
        QCOMPARE(rig.text(1047), QStringLiteral("success"));
        rig.click(1046);
        QCOMPARE(rig.text(1047), QStringLiteral("0:11:22:33:44:55"));
        QCOMPARE(rig.text(1041), QStringLiteral("00"));  // a read leaves the byte fields alone
    }

    void macByteKeepsItsLowEightBits() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.type(1041, QStringLiteral("1FF"));
        rig.click(1053);
        QCOMPARE(rig.calls().back(), std::string("rf_efuse_write_mac(FF:00:00:00:00:00)"));
    }

    void fifthItemAfterReveal() {
        Rig rig;
        rig.open();
        rig.reveal();
        rig.choose(1054, 4);
        QCOMPARE(rig.text(1054), QStringLiteral("TX_Rate2"));
        QCOMPARE(rig.text(1059), QStringLiteral("G_PWR"));
        QCOMPARE(rig.text(1060), QStringLiteral("HT20_PWR"));
        QVERIFY(!rig.widget(1055)->isEnabled());
        QVERIFY(!rig.widget(1056)->isEnabled());
        rig.api.pairs["rate_gain_g_n20"] = {6, 2};
        rig.click(1058);
        QCOMPARE(rig.text(1061), QStringLiteral("6,2"));
        QCOMPARE(rig.calls().front(), std::string("rf_efuse_read_rate_gain_g_n20()"));
    }
};

int runEfuseTests(int argc, char **argv) {
    EfuseTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dlg_efuse_test.moc"
