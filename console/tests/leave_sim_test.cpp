// The Qt skin's ways out on the simulated board: with TX ON or RX ON
// running, Esc leaves the console as it is, and the close box and 確定 end
// it only after the board's register trace (XOLT_TRACE=1) shows the
// transmitter and the receiver stopped and the link closed; a second process
// then opens the board at once, not refused as busy.
#include "board_trace.h"
#include "deve_dlg.h"
#include "dlg_operator.h"
#include "prompter.h"
#include "script_files.h"
#include "test_support/system.h"

#include "deve/library_presence.h"
#include "deve/resource.h"
#include "deve/velmo_api.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

namespace {

class SilentPrompter final : public Prompter {
public:
    QStringList texts;
    void inform(QWidget *, const QString &text, const QString &) override { texts << text; }
    void warn(QWidget *, const QString &text) override { texts << text; }
    bool confirm(QWidget *, const QString &, const QString &, const QString &) override { return false; }
};

// This process's standard error into a file while it lives; the file's
// contents after.
class CapturedStderr {
public:
    explicit CapturedStderr(const std::filesystem::path &file) : file_(file) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~CapturedStderr() { restore(); }
    CapturedStderr(const CapturedStderr &) = delete;
    CapturedStderr &operator=(const CapturedStderr &) = delete;

    std::string take() {
        restore();
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    std::filesystem::path file_;
    int saved_ = -1;
};

}  // namespace

class LeaveSimTest : public QObject, public DlgOperator {
    Q_OBJECT

    std::filesystem::path fuses_;
    std::filesystem::path trace_;

    // A dialog on the board with `test` (TX ON or RX ON) running; `leave`
    // runs inside its modal loop. The board's trace up to when the loop
    // returned.
    std::string run(int test, const std::function<void(CDeveDlg &)> &leave) {
        deve::VelmoApi api;
        SilentPrompter prompter;
        CDeveDlg dlg(api, prompter, deve::velmo_library_file());
        operated_ = &dlg;
        CapturedStderr captured(trace_);
        click(IDC_OPEN);
        if (text(IDC_PORT_STATUS) != QStringLiteral("Open Success")) {
            return "OPEN showed " + text(IDC_PORT_STATUS).toStdString();
        }
        click(test);
        QTimer::singleShot(0, &dlg, [&] { leave(dlg); });
        dlg.exec();
        operated_ = nullptr;
        return captured.take();
    }

    // A second process presses OPEN on the same board right away.
    static void boardOpensAgain() {
        const test_support::ProgramRun probe = test_support::run_program(DIALOG_OPEN_PROBE_PATH, {});
        QVERIFY2(probe.output.find("status: Open Success\n") != std::string::npos, probe.output.c_str());
    }

private slots:
    void initTestCase() {
        QVERIFY2(std::getenv("XOLT_LIBRARY") != nullptr,
                 "XOLT_LIBRARY must name the simulated board (ctest sets it): nothing was run");
        fuses_ = scripts::temp_path("fuses.bin");
        trace_ = scripts::temp_path("trace.txt");
        qputenv("XOLT_FUSE_FILE", QByteArray::fromStdString(fuses_.string()));
        qputenv("XOLT_TRACE", "1");
    }

    void cleanupTestCase() {
        std::error_code ignored;
        std::filesystem::remove(fuses_, ignored);
        std::filesystem::remove(trace_, ignored);
    }

    // Esc first: the console goes on transmitting, the link open. Then the
    // close box.
    void escIsIgnoredAndTheCloseBoxStopsTxAndClosesTheLink() {
        bool stayed = false;
        const std::string trace = run(IDC_TX_ON, [&](CDeveDlg &dlg) {
            QTest::keyClick(&dlg, Qt::Key_Escape);
            stayed = dlg.isVisible() && dlg.linkOpen() && dlg.IsTimerRunning(TIMER_TX_COUNT);
            dlg.close();
        });
        QVERIFY(stayed);
        const board_trace::Radio radio = board_trace::radio_of(trace);
        QVERIFY2(radio.transmitted, trace.substr(0, 2000).c_str());
        QVERIFY2(board_trace::unsafe_at_close(radio).empty(), board_trace::unsafe_at_close(radio).c_str());
        boardOpensAgain();
    }

    void okStopsRxAndClosesTheLink() {
        const std::string trace = run(IDC_RX_ON, [&](CDeveDlg &) { click(ID_OK); });
        const board_trace::Radio radio = board_trace::radio_of(trace);
        QVERIFY2(radio.received, trace.substr(0, 2000).c_str());
        QVERIFY2(board_trace::unsafe_at_close(radio).empty(), board_trace::unsafe_at_close(radio).c_str());
        boardOpensAgain();
    }
};

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    LeaveSimTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "leave_sim_test.moc"
