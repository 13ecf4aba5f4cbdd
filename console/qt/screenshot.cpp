#include "screenshot.h"

#include "deve_dlg.h"

#include "deve/resource.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

namespace {

// Time for the window system to map and paint the dialog.
constexpr int kSettleMs = 500;

void capture(CDeveDlg &dlg, const QString &file) {
    // The window system's own pixels where it has them (an X server); the
    // dialog's rendering of itself otherwise.
    QPixmap picture;
    if (QScreen *screen = dlg.screen()) {
        const QRect frame = dlg.frameGeometry();
        picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (picture.isNull()) {
        picture = dlg.grab();
    }
    QTextStream err(stderr);
    if (!picture.save(file)) {
        err << "Deve: cannot save the screenshot to " << file << "\n";
        dlg.done(1);
        return;
    }
    err << "Deve: screenshot saved to " << file << "\n";
    dlg.accept();
}

}  // namespace

void scheduleScreenshot(CDeveDlg &dlg, const QString &file) {
    QTimer::singleShot(kSettleMs, &dlg, [&dlg, file] {
        if (auto *open = qobject_cast<QAbstractButton *>(dlg.control(IDC_OPEN))) {
            open->click();
        }
        QTimer::singleShot(kSettleMs, &dlg, [&dlg, file] { capture(dlg, file); });
    });
}
