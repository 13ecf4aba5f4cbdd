#include "prompter.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace {
const QString kTitle = QStringLiteral("Deve");
}

void MessageBoxPrompter::inform(QWidget *parent, const QString &text, const QString &details) {
    QMessageBox box(QMessageBox::Information, kTitle, text, QMessageBox::Ok, parent);
    box.setInformativeText(details);
    box.exec();
}

void MessageBoxPrompter::warn(QWidget *parent, const QString &text) {
    QMessageBox::warning(parent, kTitle, text);
}

bool MessageBoxPrompter::confirm(QWidget *parent, const QString &title, const QString &text, const QString &action) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Yes)->setText(action);
    return box.exec() == QMessageBox::Yes;
}
