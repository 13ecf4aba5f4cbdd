// The pictures side panel's widgets carry their identifiers (deve/resource.h)
// like the dialog's controls: as their accessible description and in their
// object name ("control<id>"), so tests and accessibility tools find them by
// number.
#pragma once

#include "deve/resource.h"

#include <QString>
#include <QWidget>

// Sets a picture widget's identifier (object name, "controlId" property and
// accessible description) and, for a widget whose text does not change, its
// accessible name.
inline void tagPicture(QWidget *widget, int id, const QString &name = QString()) {
    widget->setObjectName(QStringLiteral("control%1").arg(id));
    widget->setProperty("controlId", id);
    widget->setAccessibleDescription(QString::number(id));
    if (!name.isEmpty()) {
        widget->setAccessibleName(name);
    }
}
