// deve_pictures_screenshots: the pictures of the documentation. Runs the Deve
// dialog on the board the library finds (the simulated board, under Xvfb, in
// scripts/screenshot.sh), goes through what an operator does, and saves:
//
//   deve-pictures.png     the dialog with the pictures panel open
//   deve-rx-chart.png     the receive chart after a receive test
//   deve-dpd-curves.png   the pre-distortion curves of the calibration at OPEN
//   deve-efuse-map.png    the eFuse map, with a record hovered
//
// The sequence: OPEN (which calibrates pre-distortion), program a few eFuse
// records (the crystal trim, two transmit-power pairs of which the second
// supersedes the first, and a MAC address) and press "MAC Read"; open the
// panel; RX ON for a while, moving the crystal trim away from the board's
// ideal and back halfway through so that the error rate shows a step.
#include "deve_dlg.h"
#include "fuse_map_view.h"
#include "pictures_panel.h"
#include "prompter.h"

#include "deve/library_presence.h"
#include "deve/resource.h"
#include "deve/velmo_api.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Answers every question with yes and says nothing.
class QuietPrompter final : public Prompter {
public:
    void inform(QWidget *, const QString &, const QString &) override {}
    void warn(QWidget *, const QString &text) override { QTextStream(stderr) << "warning: " << text << "\n"; }
    bool confirm(QWidget *, const QString &, const QString &, const QString &) override { return true; }
};

constexpr int kSettleMs = 600;
// Crystal trims of the receive test: the board's ideal, then off by nine
// steps for the middle third of the run.
constexpr std::int32_t kTrimIdeal = 151;
constexpr std::int32_t kTrimOff = 160;

class Shots {
public:
    Shots(CDeveDlg &dlg, deve::RfApi &api, QDir out, int seconds)
        : dlg_(dlg), api_(api), out_(std::move(out)), seconds_(seconds) {}

    void run() {
        then(kSettleMs, [this] { openAndProgram(); });
        then(kSettleMs, [this] { startReceiving(); });
        then(seconds_ * 1000 / 3, [this] { api_.rf_freq_offset(kTrimOff); });
        then(seconds_ * 1000 / 3, [this] { api_.rf_freq_offset(kTrimIdeal); });
        then(seconds_ * 1000 / 3, [this] { receiveShots(); });
        then(kSettleMs, [this] { curveShot(); });
        then(kSettleMs, [this] { fuseShot(); });
        then(3 * kSettleMs, [this] { dlg_.done(failed_ ? 1 : 0); });
        next();
    }

private:
    void then(int delayMs, std::function<void()> step) { steps_.push_back({delayMs, std::move(step)}); }
    void next() {
        if (index_ >= steps_.size()) {
            return;
        }
        const auto &[delay, step] = steps_[index_++];
        QTimer::singleShot(delay, &dlg_, [this, step] {
            step();
            next();
        });
    }
    void click(int id) {
        if (auto *button = qobject_cast<QAbstractButton *>(dlg_.control(id))) {
            button->click();
        }
    }
    void save(const QPixmap &picture, const QString &name) {
        const QString file = out_.filePath(name);
        if (picture.isNull() || !picture.save(file)) {
            QTextStream(stderr) << "cannot save " << file << "\n";
            failed_ = true;
            return;
        }
        QTextStream(stderr) << "saved " << file << "\n";
    }
    // The screen's pixels where there is a screen (tooltips included), else
    // the widget's rendering of itself.
    QPixmap grabArea(QWidget *widget, const QRect &area) {
        QPixmap picture;
        if (QScreen *screen = widget->screen()) {
            const QPoint origin = widget->mapToGlobal(area.topLeft());
            picture = screen->grabWindow(0, origin.x(), origin.y(), area.width(), area.height());
        }
        return picture.isNull() ? widget->grab(area) : picture;
    }

    void openAndProgram() {
        click(IDC_OPEN);
        std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
        api_.rf_efuse_write_xtal(kTrimIdeal);
        api_.rf_efuse_write_tx_power1(3, 5);
        api_.rf_efuse_write_tx_power1(4, 6);
        api_.rf_efuse_write_mac(mac);
        click(IDC_MAC_READ);
        dlg_.pictures()->toggleButton()->click();
    }
    void startReceiving() { click(IDC_RX_ON); }
    void receiveShots() {
        click(IDC_RX_OFF);
        PicturesPanel *panel = dlg_.pictures();
        panel->tabs()->setCurrentIndex(PicturesPanel::ReceiveTab);
        QApplication::processEvents();
        save(dlg_.grab(), QStringLiteral("deve-pictures.png"));
        save(panel->grab(), QStringLiteral("deve-rx-chart.png"));
    }
    void curveShot() {
        PicturesPanel *panel = dlg_.pictures();
        panel->tabs()->setCurrentIndex(PicturesPanel::CurvesTab);
        QApplication::processEvents();
        save(panel->grab(), QStringLiteral("deve-dpd-curves.png"));
    }
    void fuseShot() {
        PicturesPanel *panel = dlg_.pictures();
        panel->tabs()->setCurrentIndex(PicturesPanel::FuseTab);
        QApplication::processEvents();
        // Hover the MAC record: outlined, with its tooltip.
        FuseGrid *grid = panel->fuseMap()->grid();
        const std::optional<deve::FuseMap> &map = grid->map();
        int mac = -1;
        for (std::size_t i = 0; map && i < map->records.size(); ++i) {
            if (map->records[i].type == 11 && map->records[i].state == deve::RecordState::Current) {
                mac = static_cast<int>(i);
            }
        }
        if (mac >= 0) {
            const unsigned bit = map->records[static_cast<std::size_t>(mac)].position + 8;
            grid->setHighlighted(mac);
            const QRect first = grid->cellRect(map->records[static_cast<std::size_t>(mac)].position);
            // Below the legend, where the view is empty.
            FuseMapView *view = panel->fuseMap();
            QToolTip::showText(view->mapToGlobal(QPoint(grid->mapTo(view, first.topLeft()).x(), view->height() - 60)),
                               QString::fromStdString(deve::fuse_cell_tip(*map, bit)), grid);
        }
        QTimer::singleShot(kSettleMs, &dlg_, [this, panel] {
            save(grabArea(panel, panel->rect()), QStringLiteral("deve-efuse-map.png"));
            QToolTip::hideText();
        });
    }

    CDeveDlg &dlg_;
    deve::RfApi &api_;
    QDir out_;
    int seconds_;
    std::vector<std::pair<int, std::function<void()>>> steps_;
    std::size_t index_ = 0;
    bool failed_ = false;
};

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Saves the Deve pictures panel's screenshots"));
    options.addHelpOption();
    const QCommandLineOption outDir(QStringLiteral("out"), QStringLiteral("Directory for the pictures."),
                                    QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of the receive test."),
                                     QStringLiteral("n"), QStringLiteral("45"));
    options.addOption(outDir);
    options.addOption(seconds);
    options.process(app);

    deve::VelmoApi api;
    QuietPrompter prompter;
    CDeveDlg dlg(api, prompter, deve::velmo_library_file());
    dlg.move(0, 0);
    dlg.show();
    Shots shots(dlg, api, QDir(options.value(outDir)), std::max(3, options.value(seconds).toInt()));
    shots.run();
    return dlg.exec();
}
