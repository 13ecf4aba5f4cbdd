// DeveDialog: the Deve dialog's behaviour, written once for every skin. It
// keeps the dialog's text fields and exchanges them with the controls
// (collect and show), binds each control's notification to its handler
// through a message table, applies the enable and show rules, runs the two
// one-second test timers and the engineering reveal, and asks and tells the
// operator through message boxes. It reaches the screen only through a
// DialogSurface and the chip only through an RfApi.
#pragma once

#include "deve/dialog_surface.h"
#include "deve/efuse_burn.h"
#include "deve/library_presence.h"
#include "deve/open_sequence.h"
#include "deve/operations.h"
#include "deve/rf_api.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace deve {

// A control's notification: BN_CLICKED, CBN_SELCHANGE (the operator's choice
// only; selections made by the dialog do not notify), and the browse button
// of the script-path field.
enum class Notify { Clicked, SelChange, Browse };

// The ways out of the console.
enum class WayOut {
    Ok,          // 確定, the dialog's one button for leaving
    CloseBox,    // the window's close box (Alt+F4)
    Escape,      // the Esc key
    SessionEnd,  // the operator logs off, or the system shuts down
};

// What the dialog's handlers did, for views beside the dialog (the Qt skin's
// pictures panel).
class DialogObserver {
public:
    virtual ~DialogObserver() = default;
    virtual void link_opened(const OpenOutcome &outcome) = 0;
    virtual void link_closed() = 0;
    virtual void predistortion_calibrated() = 0;  // "DPD ON/OFF" calibrated
    virtual void receive_started() = 0;
    virtual void receive_reading(const RxCounts &counts) = 0;
    virtual void fuses_touched() = 0;  // read, or programmed
};

class DeveDialog {
public:
    // `api`, `surface` and `observer` (which may be null) outlive the dialog.
    // `library_file` is the file the presence check loads.
    DeveDialog(RfApi &api, DialogSurface &surface, std::string library_file, DialogObserver *observer = nullptr);
    ~DeveDialog();
    DeveDialog(const DeveDialog &) = delete;
    DeveDialog &operator=(const DeveDialog &) = delete;

    // When the dialog is created: the initial show (every bound control
    // empty), the controls' template states and input rules, the
    // library-presence check and the lists filled at start.
    void init();
    // A notification of a control: runs its handler from the message table.
    // False when the table binds none.
    bool notify(int id, Notify code);
    // A tick of dialog timer 0 (transmit count) or any other (receive counts).
    void on_timer(int id);
    // A way out: whether it ends the console. Esc does not: a stray key must
    // not end a test, and 確定 is there for leaving. Every other way out
    // first leaves the radio safe, as deve-cli does: with the link open,
    // transmission and reception are stopped and the link is closed, and
    // nothing else is written; then the dialog ends. Leaving twice does
    // nothing more.
    bool leave(WayOut way);
    // Whether OPEN left the link open (and CLOSE or a way out has not yet
    // closed it).
    bool link_open() const { return linkOpen_; }

    // The presence check of init (null before it).
    const LibraryPresence *presence() const { return presence_.get(); }

private:
    using Handler = void (DeveDialog::*)();
    struct MessageEntry {
        Notify code;
        int id;
        Handler handler;
    };
    static const MessageEntry messageMap[];

    // ---- data exchange --------------------------------------------------
    // save = true collects the bound controls' texts into the text fields;
    // false shows the fields in their controls.
    void UpdateData(bool save);
    std::string &Field(int id) { return fields_[id]; }
    // Sets a text field and puts it on its control, without a full show.
    void SetFieldAndControl(int id, const std::string &text);
    std::uint32_t ParseField(int id, int base);

    // ---- helpers --------------------------------------------------------
    int Selection(int id) const { return surface_.selection(id); }
    void EnableControls(std::initializer_list<int> ids, bool enable);
    // Empties a list, inserts the labels at positions 0, 1, ... and selects
    // `selected` (-1 for none).
    void FillList(int id, const std::vector<std::string> &labels, int selected);
    void RevealEngineeringControls();
    void Tell(MessageKind kind, const std::string &text, const std::string &details = {});

    // ---- "Port open" and "Reg W/R" (dialog_port.cpp) ----------------------
    void OnOK();
    // Stops both timers; with the link open, stops transmission and
    // reception and closes the link.
    void LeaveRadioSafe();
    void OnBnClickedOpen();
    void OnBnClickedClose();
    void OnBnClickedRegRead();
    void OnBnClickedRegWrite();
    void OnCbnSelchangePort();
    void FillOpenLists();
    void SetOpenControls(bool open);

    // ---- "Freq/Rate setting" (dialog_freq.cpp) ----------------------------
    void OnCbnSelchangeXtal();
    void OnCbnSelchangeBand();
    void OnCbnSelchangeChannel();
    void OnCbnSelchangeMode();
    void OnCbnSelchangeRate();
    void OnCbnSelchangeRfGain();
    void OnCbnSelchangeDac();
    void OnCbnSelchangeBrateGain();

    // ---- "TX/RX control" (dialog_txrx.cpp) --------------------------------
    void OnBnClickedTxOn();
    void OnBnClickedTxOff();
    void OnBnClickedRxOn();
    void OnBnClickedRxOff();
    // Refuses an offset the trim register cannot hold; true when refused.
    bool RefuseOffset(std::uint32_t offset, const char *test);
    // Refuses a packet interval the generator cannot hold; true when refused.
    bool RefusePit(std::uint32_t pit);

    // ---- "Option" (dialog_option.cpp) -------------------------------------
    void OnBnClickedDpd();
    void OnBnClickedLoadScript();
    void OnBrowseScript();
    void OnBnClickedSar();
    void OnBnClickedA62cWrite();
    void OnBnClickedA630Write();

    // ---- "MAC Address" and "efuse" (dialog_efuse.cpp) ---------------------
    void OnBnClickedMacRead();
    void OnBnClickedMacWrite();
    void OnCbnSelchangeEfuseItem();
    void OnBnClickedEfuseWrite();
    void OnBnClickedEfuseRead();
    // A staged burn: refused, previewed and confirmed, programmed, verified;
    // the library's "success"/"fail" in the result field `result_id`.
    void Burn(const Staging &staging, const FuseMap &now, int result_id);
    void RefuseBurn(const std::string &reason, int result_id);

    RfApi &api_;
    DialogSurface &surface_;
    std::string libraryFile_;
    DialogObserver *observer_;
    std::unique_ptr<LibraryPresence> presence_;
    std::map<int, std::string> fields_;
    bool linkOpen_ = false;
};

// The confirmation of a planned burn: the record and where it goes, what
// readers return now and after, the free bits, and that it cannot be undone.
std::string burn_preview(const BurnPlan &plan);
// After programming: whether readers now see the new value, or why not.
std::string burn_result(const BurnPlan &plan, const BurnOutcome &outcome);

// The message when an offset outside 0-255 is refused.
std::string offset_refusal(std::uint32_t offset, const char *test);
// The message when a PIT outside 0-16383 is refused.
std::string pit_refusal(std::uint32_t pit);

}  // namespace deve
