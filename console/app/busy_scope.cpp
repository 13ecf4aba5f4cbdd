#include "busy_scope.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

BusyScope::BusyScope(QWidget *dialog, QLabel *status, const QString &text)
    : status_(status), previous_(status->text()), text_(text) {
    status_->setText(text_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    dialog->repaint();
}

BusyScope::~BusyScope() {
    QApplication::restoreOverrideCursor();
    // The operation's own result replaces the busy text; if it set none, the
    // label gets its earlier text back.
    if (status_->text() == text_) {
        status_->setText(previous_);
    }
}
