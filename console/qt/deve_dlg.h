// CDeveDlg: the console's one dialog in the Qt skin. It lays out the
// controls, passes their notifications and its timers to the dialog's
// behaviour (deve::DeveDialog), which reaches the controls back through the
// skin's control surface (QtSurface); beside the groups it keeps the pictures
// panel and, in the window's menu, the about box.
#pragma once

#include "controls.h"

#include "deve/dialog.h"
#include "deve/library_presence.h"
#include "deve/rf_api.h"

#include <QDialog>

#include <memory>
#include <string>

class PicturesPanel;
class Prompter;
class QtSurface;

class CDeveDlg : public QDialog {
    Q_OBJECT

public:
    // `api` and `prompter` outlive the dialog. `libraryFile` is the file the
    // presence check loads.
    CDeveDlg(deve::RfApi &api, Prompter &prompter, const std::string &libraryFile, QWidget *parent = nullptr);
    ~CDeveDlg() override;

    // A control by identifier (null for an unknown one).
    QWidget *control(int id) const { return controls_.at(id); }
    const Controls &controls() const { return controls_; }
    const deve::LibraryPresence &presence() const { return *dialog_->presence(); }
    // The pictures side panel (receive chart, pre-distortion curves, eFuse map).
    PicturesPanel *pictures() const { return pictures_; }

    // The dialog timers (identifiers 0 and 1).
    void OnTimer(int id) { dialog_->on_timer(id); }
    bool IsTimerRunning(int id) const;

    // The about box, as the window's menu entry opens it.
    void OnAbout();

    // Whether OPEN left the link open.
    bool linkOpen() const { return dialog_->link_open(); }

public slots:
    // Esc: the console goes on (確定 is the way out).
    void reject() override;

protected:
    // The close box: the radio is left safe, then the dialog ends.
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildLayout();
    // Every button's click, list's choice and file field's browse button
    // goes to the dialog's message table.
    void BindControls();
    void InstallAboutEntry();

    Controls controls_;
    PicturesPanel *pictures_ = nullptr;
    QtSurface *surface_ = nullptr;
    std::unique_ptr<deve::DeveDialog> dialog_;
};
