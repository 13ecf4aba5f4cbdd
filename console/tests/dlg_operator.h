// The operator's hands on a Deve dialog: controls found by identifier,
// clicked, chosen, typed into and read, as a person would. Shared by the
// dialog tests over the recording stand-in and those on the simulated board.
#pragma once

#include "deve_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QString>

class DlgOperator {
public:
    QWidget *widget(int id) const { return operated_->control(id); }
    QAbstractButton *button(int id) const { return qobject_cast<QAbstractButton *>(widget(id)); }
    QComboBox *list(int id) const { return qobject_cast<QComboBox *>(widget(id)); }
    QLineEdit *edit(int id) const { return qobject_cast<QLineEdit *>(widget(id)); }
    QString text(int id) const { return operated_->controls().text(id); }

    // A click as the operator makes it: nothing happens on a disabled button.
    void click(int id) { button(id)->click(); }
    // The operator picks an item: the list's selection notification runs.
    void choose(int id, int position) {
        QComboBox *l = list(id);
        l->setCurrentIndex(position);
        emit l->activated(position);
    }
    void chooseText(int id, const QString &text) { choose(id, list(id)->findText(text)); }
    void type(int id, const QString &text) { edit(id)->setText(text); }

protected:
    // The dialog operated on; set by the owner once it has made the dialog.
    CDeveDlg *operated_ = nullptr;
};
