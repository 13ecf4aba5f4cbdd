// The pictures end to end on the simulated board: the pre-distortion curves
// of the calibration at OPEN, a receive test whose counters the console
// restarts at every reading, and the eFuse map of records programmed through
// the dialog.
#include "deve_dlg.h"
#include "dlg_operator.h"
#include "fuse_map_view.h"
#include "padpd_view.h"
#include "pictures_panel.h"
#include "prompter.h"
#include "rx_chart_view.h"
#include "script_files.h"

#include "deve/library_presence.h"
#include "deve/resource.h"
#include "deve/velmo_api.h"

#include <QAbstractButton>
#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

class YesPrompter final : public Prompter {
public:
    void inform(QWidget *, const QString &, const QString &) override {}
    void warn(QWidget *, const QString &) override {}
    bool confirm(QWidget *, const QString &, const QString &, const QString &) override { return true; }
};

// Frames a second of the board's signal source: enough that every reading
// 600 ms apart passes the console's restart threshold of 3000, and within
// what the air carries at the rate after OPEN (HT20 MCS7: 6250 a second).
constexpr int kFrameRate = 6000;
constexpr int kReadingMs = 600;
constexpr int kReadings = 6;

}  // namespace

class PicturesSimTest : public QObject, public DlgOperator {
    Q_OBJECT

    std::filesystem::path fuses_;
    deve::VelmoApi api_;
    YesPrompter prompter_;
    std::unique_ptr<CDeveDlg> dlg_;

    PicturesPanel *panel() const { return dlg_->pictures(); }

private slots:
    void initTestCase() {
        QVERIFY2(std::getenv("XOLT_LIBRARY") != nullptr,
                 "XOLT_LIBRARY must name the simulated board (ctest sets it): nothing was run");
        fuses_ = scripts::temp_path("fuses.bin");
        qputenv("XOLT_FUSE_FILE", QByteArray::fromStdString(fuses_.string()));
        qputenv("XOLT_RX_FRAME_RATE", QByteArray::number(kFrameRate));
        dlg_ = std::make_unique<CDeveDlg>(api_, prompter_, deve::velmo_library_file());
        operated_ = dlg_.get();
        dlg_->show();
        panel()->toggleButton()->click();
        click(IDC_OPEN);
        QCOMPARE(text(IDC_PORT_STATUS), QStringLiteral("Open Success"));
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

    // The board's amplifier compresses: the pre-distortion gain grows with
    // the transmit scale, and the phase offset moves away from the first
    // point's.
    void curvesOfTheCalibrationAtOpen() {
        panel()->tabs()->setCurrentIndex(PicturesPanel::CurvesTab);
        PadpdView *view = panel()->curves();
        const QList<QLineSeries *> gains = view->series(view->gainChart());
        const QList<QLineSeries *> phases = view->series(view->phaseChart());
        QCOMPARE(gains.size(), 4);
        for (int band = 0; band < 4; ++band) {
            const QByteArray which = gains[band]->name().toUtf8();
            QCOMPARE(gains[band]->count(), 26);
            QCOMPARE(phases[band]->count(), 26);
            QCOMPARE(gains[band]->at(0), QPointF(8, 1.0));
            QCOMPARE(phases[band]->at(0), QPointF(8, 0.0));
            QCOMPARE(gains[band]->at(25).x(), 128.0);
            QVERIFY2(gains[band]->at(25).y() > 1.05, which);
            QVERIFY2(gains[band]->at(25).y() < 2.0, which);
            QVERIFY2(std::abs(phases[band]->at(25).y()) > 1.0, which);
            QVERIFY2(std::abs(phases[band]->at(25).y()) < 180.0, which);
        }
        // The sub-bands have amplifiers of their own.
        QVERIFY(gains[0]->at(25).y() != gains[3]->at(25).y() || phases[0]->at(25).y() != phases[3]->at(25).y());
    }

    void receiveChartAcrossRestarts() {
        click(IDC_RX_ON);
        QCOMPARE(panel()->tabs()->currentIndex(), int(PicturesPanel::ReceiveTab));
        // The readings come from here, faster than the dialog's timer; no
        // events are processed meanwhile, so the timer adds none of its own
        // before RX OFF stops it.
        for (int i = 0; i < kReadings; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadingMs));
            dlg_->OnTimer(TIMER_RX_COUNT);
        }
        click(IDC_RX_OFF);
        const RxChartView *chart = panel()->receiveChart();
        const deve::RxHistory &history = chart->history();
        QCOMPARE(history.readings(), kReadings);
        // Every reading passed 3000 frames and restarted the counters.
        QVERIFY2(history.restarts() >= kReadings - 1, qPrintable(QString::number(history.restarts())));
        QVERIFY(history.frames() > 3000u * kReadings);
        // No interval loses its frames to a restart: each rate is the
        // source's, within what the timing of a shared machine allows.
        QCOMPARE(chart->rateSeries()->count(), kReadings);
        for (const QPointF &p : chart->rateSeries()->points()) {
            QVERIFY2(p.y() > 0.6 * kFrameRate && p.y() < 1.4 * kFrameRate, qPrintable(QString::number(p.y())));
        }
        QCOMPARE(chart->perSeries()->count(), kReadings);
        for (const QPointF &p : chart->perSeries()->points()) {
            QVERIFY(p.y() >= 0.0 && p.y() < 100.0);
        }
    }

    void fuseMapOfProgrammedRecords() {
        type(IDC_FREQ_OFFSET, "624");
        click(IDC_TX_ON);
        click(IDC_TX_OFF);
        choose(IDC_EFUSE_ITEM, 0);
        type(IDC_EFUSE_FIRST, "3");
        type(IDC_EFUSE_SECOND, "5");
        click(IDC_EFUSE_WRITE);
        type(IDC_EFUSE_FIRST, "4");
        type(IDC_EFUSE_SECOND, "6");
        click(IDC_EFUSE_WRITE);  // a second TX_PWR1 record supersedes the first
        choose(IDC_EFUSE_ITEM, 2);
        type(IDC_EFUSE_FIRST, "140");
        click(IDC_EFUSE_WRITE);
        QCOMPARE(text(IDC_EFUSE_RESULT), QStringLiteral("success"));
        QCOMPARE(panel()->tabs()->currentIndex(), int(PicturesPanel::FuseTab));

        FuseMapView *view = panel()->fuseMap();
        QVERIFY(view->grid()->map().has_value());
        const deve::FuseMap &map = *view->grid()->map();
        QCOMPARE(map.records.size(), std::size_t{3});
        QCOMPARE(map.records[0].state, deve::RecordState::Superseded);
        QCOMPARE(map.records[1].state, deve::RecordState::Current);
        QCOMPARE(deve::record_value_text(map.records[2].type, map.records[2].data), std::string("140"));
        // The free bits agree with what "Efuse read" reports.
        click(IDC_EFUSE_READ);
        QCOMPARE(text(IDC_EFUSE_RANGE), QStringLiteral("Empty: 188 bit"));
        QVERIFY(view->status()->text().startsWith(QStringLiteral("Free: 188 bits")));
        QCOMPARE(view->legendTexts(),
                 (QStringList{"Header", "TX_PWR1", "Freq_offset", "Superseded or unread (paler)", "Free"}));
    }
};

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    PicturesSimTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pictures_sim_test.moc"
