// Identifiers of the pictures side panel's widgets. Like the dialog's
// controls, each carries its identifier as its accessible description and in
// its object name ("control<id>"), so tests and accessibility tools find it
// by number; they follow the dialog's own identifiers.
#pragma once

constexpr int IDC_PICTURES = 1070;          // button "Pictures >>" that opens and hides the panel
constexpr int IDC_PICTURE_TABS = 1071;      // the panel's tabs
constexpr int IDC_RX_CHART = 1072;          // receive chart
constexpr int IDC_RX_SUMMARY = 1073;        // its text: counts since RX ON
constexpr int IDC_PADPD_GAIN = 1074;        // AM-AM chart
constexpr int IDC_PADPD_PHASE = 1075;       // AM-PM chart
constexpr int IDC_PADPD_STATUS = 1076;      // where the curves come from
constexpr int IDC_FUSE_GRID = 1077;         // the 256 fuse bits
constexpr int IDC_FUSE_STATUS = 1078;       // free bits, or why there is no map

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
