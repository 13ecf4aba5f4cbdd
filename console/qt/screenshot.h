// A picture of the dialog after OPEN, for the documentation: once the dialog
// is up, OPEN is pressed, and when it has finished the dialog is saved as an
// image and closed.
#pragma once

#include <QString>

class CDeveDlg;

void scheduleScreenshot(CDeveDlg &dlg, const QString &file);
