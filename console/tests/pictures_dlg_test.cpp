// The pictures panel in the dialog, over the recording stand-in: opening and
// hiding it, the receive chart fed by the timer, the pre-distortion curves
// and the eFuse map read when (and only when) they are in view.
#include "dlg_rig.h"
#include "fuse_map_view.h"
#include "padpd_view.h"
#include "pictures_ids.h"
#include "pictures_panel.h"
#include "rx_chart_view.h"
#include "script_files.h"

#include <QAccessible>
#include <QApplication>
#include <QChart>
#include <QHelpEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>

using fake::R;
using fake::W;
using Calls = std::vector<std::string>;

namespace {

constexpr std::uint32_t kFuseStatus = 0xC200010C;

// A rig whose dialog is on screen with the pictures panel open, and whose
// receive chart runs on a clock the test moves.
struct PictureRig : Rig {
    double now = 100.0;

    PictureRig() {
        panel()->setClock([this] { return now; });
        dlg->show();
    }
    PicturesPanel *panel() const { return dlg->pictures(); }
    void openPanel() {
        if (!panel()->isVisible()) {
            panel()->toggleButton()->click();
        }
    }
    void showTab(PicturesPanel::Tab tab) { panel()->tabs()->setCurrentIndex(tab); }
    int tab() const { return panel()->tabs()->currentIndex(); }

    std::size_t reads(std::uint32_t address) {
        const std::string call = R(address);
        return static_cast<std::size_t>(std::count(api.calls.begin(), api.calls.end(), call));
    }
};

QList<QPointF> points(QLineSeries *series) { return series->points(); }

// Header 0x7C000000; TX_PWR1 3,5 then 4,6 (the first superseded); crystal
// 140; free from bit 68.
std::array<std::uint32_t, 8> knownFuses() {
    const std::uint64_t records = 0x355ull | (0x465ull << 12) | (0x8C4ull << 24);
    return {0x7C000000, static_cast<std::uint32_t>(records), static_cast<std::uint32_t>(records >> 32), 0, 0, 0, 0, 0};
}

QString accessibleName(QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); }

}  // namespace

class PicturesTest : public QObject {
    Q_OBJECT

private slots:
    void panelOpensAndHidesWithoutDisturbingTheControls() {
        PictureRig rig;
        QPushButton *toggle = rig.panel()->toggleButton();
        QVERIFY(rig.panel()->isHidden());
        QCOMPARE(toggle->text(), QStringLiteral("Pictures"));
        QVERIFY(toggle->isCheckable());
        QVERIFY(!toggle->isChecked());
        QCOMPARE(toggle->accessibleDescription(), QStringLiteral("1070"));
        QCOMPARE(accessibleName(toggle), QStringLiteral("Pictures"));
        QVERIFY(!rig.dlg->controls().at(IDC_PICTURES));  // not one of the dialog's own controls
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        QTest::qWait(20);

        std::map<int, QRect> before;
        for (const auto &[id, w] : rig.dlg->controls().all()) {
            before[id] = w->geometry();
        }
        const QSize closed = rig.dlg->size();
        toggle->click();
        QTest::qWait(20);
        QVERIFY(rig.panel()->isVisible());
        QVERIFY(toggle->isChecked());
        // Wider by the panel, beside the groups; not taller.
        QVERIFY(rig.dlg->width() > closed.width());
        QCOMPARE(rig.dlg->height(), closed.height());
        QWidget *efuseRead = rig.widget(IDC_EFUSE_READ);
        QVERIFY(rig.panel()->geometry().left() > efuseRead->mapTo(rig.dlg.get(), QPoint(efuseRead->width(), 0)).x());
        // Every control keeps its place and size.
        for (const auto &[id, w] : rig.dlg->controls().all()) {
            QVERIFY2(w->geometry() == before[id], QByteArray::number(id));
        }

        toggle->click();
        QApplication::processEvents();
        QVERIFY(rig.panel()->isHidden());
        QCOMPARE(rig.dlg->size(), closed);
        QVERIFY(rig.calls().empty());  // opening and hiding reads nothing
    }

    void openingKeepsTheDialogOnTheScreen() {
        PictureRig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        const QRect screen = rig.dlg->screen()->availableGeometry();
        rig.dlg->move(screen.right() - rig.dlg->frameGeometry().width(), 50);
        rig.openPanel();
        QTest::qWait(20);
        QVERIFY(rig.dlg->frameGeometry().right() <= screen.right());
        QVERIFY(rig.dlg->frameGeometry().left() >= screen.left());
        QCOMPARE(rig.dlg->frameGeometry().top(), 50);
    }

    void viewsCarryIdentifiersAndNames() {
        PictureRig rig;
        rig.openPanel();
        const std::pair<int, const char *> named[] = {
            {IDC_PICTURE_TABS, "Pictures panel"},
            {IDC_RX_CHART, "Receive chart: packet error rate and frames per second"},
            {IDC_PADPD_GAIN, "AM-AM curves: gain against TX scale"},
            {IDC_PADPD_PHASE, "AM-PM curves: phase offset against TX scale"},
            {IDC_FUSE_GRID, "eFuse map: 256 fuse bits coloured by record"},
        };
        for (const auto &[id, name] : named) {
            auto *w = rig.dlg->findChild<QWidget *>(QStringLiteral("control%1").arg(id));
            QVERIFY2(w != nullptr, QByteArray::number(id));
            QCOMPARE(w->accessibleDescription(), QString::number(id));
            QCOMPARE(accessibleName(w), QString::fromLatin1(name));
        }
        // Texts that change report their current text.
        for (int id : {IDC_RX_SUMMARY, IDC_PADPD_STATUS, IDC_FUSE_STATUS}) {
            auto *label = rig.dlg->findChild<QLabel *>(QStringLiteral("control%1").arg(id));
            QVERIFY2(label != nullptr, QByteArray::number(id));
            QVERIFY(label->accessibleName().isEmpty());
            QCOMPARE(accessibleName(label), label->text());
        }
        QStringList tabs;
        for (int i = 0; i < rig.panel()->tabs()->count(); ++i) {
            tabs << rig.panel()->tabs()->tabText(i);
        }
        QCOMPARE(tabs, (QStringList{"RX chart", "DPD curves", "eFuse map"}));
    }

    // A receive test at 1000 frames a second with 1 % errors; the console
    // restarts the counters once the total passes 3000.
    void receiveChartCarriesTheCountsAcrossTheRestart() {
        PictureRig rig;
        rig.open();
        rig.openPanel();
        rig.showTab(PicturesPanel::FuseTab);
        rig.click(IDC_RX_ON);
        QCOMPARE(rig.tab(), int(PicturesPanel::ReceiveTab));
        RxChartView *chart = rig.panel()->receiveChart();
        std::uint32_t errors = 0;
        std::uint32_t total = 0;
        for (int second = 1; second <= 6; ++second) {
            errors += 10;
            total += 1000;
            rig.api.rx_errors = errors;
            rig.api.rx_total = total;
            rig.now += 1.0;
            rig.dlg->OnTimer(TIMER_RX_COUNT);
            if (!rig.api.named("rf_rxpkt_reset").empty() && total > 3000) {
                errors = 0;  // the stand-in's counters restart with the reset
                total = 0;
            }
        }
        QCOMPARE(rig.api.named("rf_rxpkt_reset").size(), std::size_t{1});
        const QList<QPointF> per = points(chart->perSeries());
        const QList<QPointF> rate = points(chart->rateSeries());
        QCOMPARE(per.size(), 6);
        QCOMPARE(rate.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(per[i].x(), double(i + 1));
            QCOMPARE(per[i].y(), 1.0);
            QCOMPARE(rate[i].y(), 1000.0);
        }
        QCOMPARE(chart->timeAxis()->min(), 0.0);
        QCOMPARE(chart->timeAxis()->max(), 60.0);
        QCOMPARE(chart->summary()->text(),
                 QStringLiteral("Since RX ON: 6000 frames, 60 in error, PER 1.00 %; counter restarts: 1. Last "
                                "reading: Err 20, Total 2000, PER 1.0%; plotted 1.00 %, 1000 frames/s."));
        // The dialog's own texts are those of the last reading.
        QCOMPARE(rig.text(IDC_TOTAL_PKT), QStringLiteral("2000"));

        // A new receive test starts an empty chart.
        rig.click(IDC_RX_ON);
        QCOMPARE(chart->perSeries()->count(), 0);
        QCOMPARE(chart->rateSeries()->count(), 0);
        rig.now += 2.0;
        rig.api.rx_total = 500;
        rig.api.rx_errors = 0;
        rig.dlg->OnTimer(TIMER_RX_COUNT);
        QCOMPARE(points(chart->rateSeries()), (QList<QPointF>{{2.0, 250.0}}));
    }

    void receiveChartFillsWhileThePanelIsHidden() {
        PictureRig rig;
        rig.open();
        rig.click(IDC_RX_ON);
        rig.api.rx_total = 800;
        rig.now += 1.0;
        rig.dlg->OnTimer(TIMER_RX_COUNT);
        QCOMPARE(rig.panel()->receiveChart()->rateSeries()->count(), 1);
        QCOMPARE(rig.tab(), int(PicturesPanel::ReceiveTab));
    }

    void curvesAreReadWhenInViewAfterTheCalibrationAtOpen() {
        PictureRig rig;
        rig.api.registers[0xCCB0AD20] = (520u << 16) | 512u;
        rig.api.registers[0xCCB0AD70] = (8000u << 16) | 0u;
        rig.api.registers[0xCCB0AAB0] = (700u << 16) | 690u;
        rig.click(IDC_OPEN);
        QVERIFY(rig.panel()->curvesStale());
        // Hidden: OPEN reads no table.
        QCOMPARE(rig.reads(0xCCB0AD20), std::size_t{0});
        rig.api.take();

        rig.openPanel();
        QCOMPARE(rig.calls().size(), std::size_t{0});  // the chart tab is in view
        rig.showTab(PicturesPanel::CurvesTab);
        const Calls calls = rig.calls();
        QCOMPARE(calls.size(), std::size_t{104});
        QCOMPARE(calls.front(), R(0xCCB0AD20));
        QVERIFY(!rig.panel()->curvesStale());

        PadpdView *view = rig.panel()->curves();
        const QList<QLineSeries *> gains = view->series(view->gainChart());
        const QList<QLineSeries *> phases = view->series(view->phaseChart());
        QCOMPARE(gains.size(), 4);
        QCOMPARE(gains[0]->name(), QStringLiteral("2.4 GHz"));
        QCOMPARE(gains[3]->name(), QStringLiteral("5 GHz ch 160"));
        for (QLineSeries *s : gains) {
            QCOMPARE(s->count(), 26);
        }
        QCOMPARE(gains[0]->at(0), QPointF(8, 1.0));
        QCOMPARE(gains[0]->at(1), QPointF(16, 520.0 / 512));
        QCOMPARE(phases[0]->at(1), QPointF(16, -192 * 360.0 / 8192));
        QCOMPARE(gains[3]->at(25), QPointF(128, 700.0 / 512));
        QVERIFY(view->status()->text().startsWith(
            QStringLiteral("Table registers read after the calibration at OPEN")));

        // Coming back to the tab reads nothing new.
        rig.showTab(PicturesPanel::ReceiveTab);
        rig.showTab(PicturesPanel::CurvesTab);
        QVERIFY(rig.calls().empty());
    }

    void dpdOnRereadsTheCurvesAndDpdOffDoesNot() {
        PictureRig rig;
        rig.open();
        rig.reveal();
        rig.openPanel();
        rig.showTab(PicturesPanel::CurvesTab);
        rig.api.take();
        rig.api.registers[0xCCB0AD20] = 600;
        rig.api.registers[0xCCB0AD1C] = 0;  // off: DPD ON/OFF calibrates
        rig.showTab(PicturesPanel::FuseTab);
        rig.click(IDC_DPD);
        QCOMPARE(rig.text(IDC_DPD_STATUS), QStringLiteral("DPD ON"));
        QCOMPARE(rig.tab(), int(PicturesPanel::CurvesTab));
        const Calls calls = rig.calls();
        const auto cali = std::find(calls.begin(), calls.end(), "rf_2g_5g_padpd_cali(1)");
        const auto table = std::find(calls.begin(), calls.end(), R(0xCCB0AD20));
        QVERIFY(cali != calls.end());
        QVERIFY(table != calls.end() && table > cali);
        PadpdView *view = rig.panel()->curves();
        QCOMPARE(view->series(view->gainChart())[0]->at(0), QPointF(8, 600.0 / 512));
        QVERIFY(view->status()->text().contains(QStringLiteral("after DPD ON")));

        rig.api.registers[0xCCB0AD1C] = 1;  // on: DPD ON/OFF switches it off
        rig.click(IDC_DPD);
        QCOMPARE(rig.text(IDC_DPD_STATUS), QStringLiteral("DPD OFF"));
        QCOMPARE(rig.reads(0xCCB0AD20), std::size_t{0});
    }

    void aChipThatSkipsTheCalibrationShowsNoCurves() {
        PictureRig rig;
        rig.api.chip_id = 0x7C000000;
        rig.openPanel();
        rig.showTab(PicturesPanel::CurvesTab);
        rig.click(IDC_OPEN);
        QVERIFY(!rig.panel()->curvesStale());
        QCOMPARE(rig.reads(0xCCB0AD20), std::size_t{0});
        PadpdView *view = rig.panel()->curves();
        QCOMPARE(view->series(view->gainChart())[0]->count(), 0);
        QCOMPARE(view->status()->text(), QStringLiteral("Chip 7c000000 skips the pre-distortion calibration at OPEN; "
                                                        "the curves appear after DPD ON."));
    }

    void fuseMapFollowsReadsAndWrites() {
        PictureRig rig;
        rig.api.set_fuses(knownFuses());
        rig.open();
        // Hidden: "Efuse read" makes only its own calls.
        rig.click(IDC_EFUSE_READ);
        QCOMPARE(rig.calls(), (Calls{"rf_efuse_read_tx_power1()", "rf_get_efuse_free_bits()"}));
        QVERIFY(rig.panel()->fusesStale());

        rig.openPanel();
        rig.click(IDC_EFUSE_READ);
        QCOMPARE(rig.tab(), int(PicturesPanel::FuseTab));
        const Calls calls = rig.calls();
        QCOMPARE(calls[2], W(0xC2000114, 1));
        QCOMPARE(calls.back(), R(0xC200013C));
        FuseMapView *view = rig.panel()->fuseMap();
        QVERIFY(view->grid()->map().has_value());
        QCOMPARE(view->grid()->map()->records.size(), std::size_t{3});
        QCOMPARE(view->status()->text(), QStringLiteral("Free: 188 bits. Hover a record for its item and value."));
        QCOMPARE(view->legendTexts(),
                 (QStringList{"Header", "TX_PWR1", "Freq_offset", "Superseded or unread (paler)", "Free"}));

        // A write appends a record (the stand-in's fuses take it as the
        // library writes): the burn reads the map before and after, and the
        // panel shows the new one.
        std::array<std::uint32_t, 8> more = knownFuses();
        more[2] |= 0x30Cu << 4;  // an 11b gain record (type 12, data 0x30) at bit 68
        rig.api.on_call = [&](const std::string &call) {
            if (call == "rf_efuse_write_rate_gain_b_n40(3, 0)") {
                rig.api.set_fuses(more);
            }
        };
        rig.reveal();
        rig.choose(IDC_EFUSE_ITEM, 3);
        rig.type(IDC_EFUSE_FIRST, QStringLiteral("3"));
        rig.click(IDC_EFUSE_WRITE);
        QCOMPARE(rig.text(IDC_EFUSE_RESULT), QStringLiteral("success"));
        QCOMPARE(rig.reads(0xC2000120), std::size_t{3});
        QVERIFY(view->legendTexts().contains(QStringLiteral("TX_Rate1")));
        rig.api.take();

        // A cancelled write reads the map only to plan; "MAC Read" reads it
        // for the panel.
        rig.prompter.answer = false;
        rig.type(IDC_MAC_BYTE5, QStringLiteral("01"));
        rig.click(IDC_MAC_WRITE);
        QCOMPARE(rig.prompter.boxes.back().kind, QStringLiteral("confirm"));
        QCOMPARE(rig.reads(0xC2000120), std::size_t{1});
        rig.api.take();
        rig.click(IDC_MAC_READ);
        QCOMPARE(rig.reads(0xC2000120), std::size_t{1});
    }

    void fuseMapTellsWhenTheControllerDoesNotAnswer() {
        PictureRig rig;
        rig.open();
        rig.openPanel();
        rig.api.registers[kFuseStatus] = 0;
        rig.click(IDC_MAC_READ);
        FuseMapView *view = rig.panel()->fuseMap();
        QVERIFY(!view->grid()->map().has_value());
        QCOMPARE(view->status()->text(), QStringLiteral("The eFuse controller did not finish its read cycle: no map."));
        QVERIFY(view->legendTexts().isEmpty());
    }

    void nothingIsReadWhileTheLinkIsClosed() {
        PictureRig rig;
        rig.api.set_fuses(knownFuses());
        rig.open();
        rig.click(IDC_EFUSE_READ);  // panel hidden: the map is stale
        rig.click(IDC_CLOSE);
        rig.api.take();
        rig.openPanel();
        rig.showTab(PicturesPanel::FuseTab);
        rig.showTab(PicturesPanel::CurvesTab);
        QVERIFY(rig.calls().empty());
        // Opened again: read when in view.
        rig.click(IDC_OPEN);
        rig.api.take();
        rig.showTab(PicturesPanel::FuseTab);
        QCOMPARE(rig.reads(0xC2000120), std::size_t{1});
    }

    void hoveringARecordOutlinesItAndNamesIt() {
        PictureRig rig;
        rig.api.set_fuses(knownFuses());
        rig.open();
        rig.openPanel();
        rig.click(IDC_EFUSE_READ);
        FuseGrid *grid = rig.panel()->fuseMap()->grid();
        const QPoint inSecondPower = grid->cellRect(50).center();
        QCOMPARE(grid->bitAt(inSecondPower), 50);
        QCOMPARE(grid->bitAt(QPoint(0, 0)), -1);

        QMouseEvent move(QEvent::MouseMove, inSecondPower, grid->mapToGlobal(inSecondPower), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(grid, &move);
        QCOMPARE(grid->highlighted(), 1);

        QHelpEvent help(QEvent::ToolTip, inSecondPower, grid->mapToGlobal(inSecondPower));
        QApplication::sendEvent(grid, &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("TX_PWR1 = 4,6 (record type 5, bits 44-55)"));
        const QPoint header = grid->cellRect(5).center();
        QHelpEvent helpHeader(QEvent::ToolTip, header, grid->mapToGlobal(header));
        QApplication::sendEvent(grid, &helpHeader);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Header: chip ID 7c000000 (bits 0-31)"));
        QToolTip::hideText();

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(grid, &leave);
        QCOMPARE(grid->highlighted(), -1);
    }
};

int main(int argc, char **argv) {
    // The offscreen platform on a 1920 x 1080 screen (its own is 800 x 800),
    // so that the dialog opens the panel at full size.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const scripts::TempFile config("offscreen.json", R"({"screens": [{"name": "screen", "x": 0, "y": 0,
        "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QByteArray::fromStdString(config.path()));
    }
    QApplication app(argc, argv);
    PicturesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pictures_dlg_test.moc"
