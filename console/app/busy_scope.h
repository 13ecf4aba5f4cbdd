// A long operation: a status text and a busy cursor for its duration, with
// the dialog repainted before the operation starts so the text is seen.
#pragma once

#include <QString>

class QLabel;
class QWidget;

class BusyScope {
public:
    BusyScope(QWidget *dialog, QLabel *status, const QString &text);
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    QLabel *status_;
    QString previous_;
    QString text_;
};
