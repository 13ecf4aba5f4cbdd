// The pictures side panel's widgets carry their identifiers (deve/resource.h)
// like the dialog's controls: as their accessible description and in their
// object name ("control<id>"), so tests and accessibility tools find them by
// number.
#pragma once

#include "deve/dialog_layout.h"
#include "deve/resource.h"

#include <QString>
#include <QWidget>

#include <string_view>

// A text of the dialog's layout table (UTF-8).
inline QString layoutText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets a picture widget's identifier (object name, "controlId" property and
// accessible description) and, for a widget whose text does not change, its
// accessible name: its caption in the dialog's layout table.
inline void tagPicture(QWidget *widget, int id) {
    widget->setObjectName(QStringLiteral("control%1").arg(id));
    widget->setProperty("controlId", id);
    widget->setAccessibleDescription(QString::number(id));
    const deve::ControlLayout *control = deve::find_control(id);
    if (control != nullptr && !control->caption.empty()) {
        widget->setAccessibleName(QString::fromStdString(deve::without_mnemonic(control->caption)));
    }
}
