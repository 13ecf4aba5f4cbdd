// CDeveApp: the program. It runs CDeveDlg modally over the linked libvelmo;
// when the dialog closes the program ends, and nothing is saved.
#pragma once

#include <QApplication>

class CDeveApp : public QApplication {
    Q_OBJECT
public:
    CDeveApp(int &argc, char **argv);
    // Runs the dialog; the program's exit code.
    int InitInstance();
};
