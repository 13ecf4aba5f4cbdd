// CDeveDlg: the console's one dialog. Its handlers are bound to control
// identifiers through a message table; each handler turns one control into
// one operation of the console core (deve_core) and shows the result.
#pragma once

#include "controls.h"

#include "deve/library_presence.h"
#include "deve/rf_api.h"

#include <QDialog>
#include <QString>

#include <array>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

class PicturesPanel;
class Prompter;
class QComboBox;
class QTimer;

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
    const deve::LibraryPresence &presence() const { return *presence_; }
    // The pictures side panel (receive chart, pre-distortion curves, eFuse map).
    PicturesPanel *pictures() const { return pictures_; }

    // The dialog timers (identifiers 0 and 1).
    void OnTimer(int id);
    bool IsTimerRunning(int id) const;

    // The about box, as the system-menu entry opens it.
    void OnAbout();

private:
    // ---- message table -------------------------------------------------
    enum class Notify { Clicked, SelChange };
    using Handler = void (CDeveDlg::*)();
    struct MessageEntry {
        Notify code;
        int id;
        Handler handler;
    };
    static const MessageEntry messageMap[];
    void BindMessageMap();

    // ---- set-up ---------------------------------------------------------
    void BuildLayout();
    void OnInitDialog();
    void InstallAboutEntry();

    // ---- data exchange --------------------------------------------------
    // save = true collects the bound controls' texts into the text fields;
    // false shows the fields in their controls.
    void UpdateData(bool save);
    QString &Field(int id) { return fields_[id]; }
    // Sets a text field and puts it on its control, without a full show.
    void SetFieldAndControl(int id, const QString &text);
    unsigned ParseField(int id, int base);

    // ---- helpers ------------------------------------------------------------
    QComboBox *List(int id) const;
    int Selection(int id) const;
    void EnableControls(std::initializer_list<int> ids, bool enable);
    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    void RevealEngineeringControls();
    bool ConfirmFuseWrite(const std::string &question);

    void OnOK();

    // ---- "Port open" and "Reg W/R" (deve_dlg_port.cpp) ------------------
    void OnBnClickedOpen();
    void OnBnClickedClose();
    void OnBnClickedRegRead();
    void OnBnClickedRegWrite();
    void OnCbnSelchangePort();
    void FillOpenLists();

    // ---- "Freq/Rate setting" (deve_dlg_freq.cpp) -------------------------
    void OnCbnSelchangeXtal();
    void OnCbnSelchangeBand();
    void OnCbnSelchangeChannel();
    void OnCbnSelchangeMode();
    void OnCbnSelchangeRate();
    void OnCbnSelchangeRfGain();
    void OnCbnSelchangeDac();
    void OnCbnSelchangeBrateGain();

    // ---- "TX/RX control" (deve_dlg_txrx.cpp) ----------------------------
    void OnBnClickedTxOn();
    void OnBnClickedTxOff();
    void OnBnClickedRxOn();
    void OnBnClickedRxOff();

    // ---- "Option" (deve_dlg_option.cpp) ----------------------------------
    void OnBnClickedDpd();
    void OnBnClickedLoadScript();
    void OnBnClickedSar();
    void OnBnClickedA62cWrite();
    void OnBnClickedA630Write();

    // ---- "MAC Address" and "efuse" (deve_dlg_efuse.cpp) ------------------
    void OnBnClickedMacRead();
    void OnBnClickedMacWrite();
    void OnCbnSelchangeEfuseItem();
    void OnBnClickedEfuseWrite();
    void OnBnClickedEfuseRead();

    deve::RfApi &api_;
    Prompter &prompter_;
    std::string libraryFile_;
    std::unique_ptr<deve::LibraryPresence> presence_;
    Controls controls_;
    std::map<int, QString> fields_;
    std::array<QTimer *, 2> timers_{};
    PicturesPanel *pictures_ = nullptr;
};
