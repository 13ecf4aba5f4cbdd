// The control surface: everything the dialog's behaviour (DeveDialog) does to
// the screen, keyed by control identifier (deve/resource.h). Each skin
// implements it for its toolkit; each call maps to one toolkit call of a
// dialog built from a template:
//
//   text / set_text            GetDlgItemTextW / SetDlgItemTextW
//   clear_list, insert_item,   CB_RESETCONTENT, CB_INSERTSTRING,
//   item_count, selection,     CB_GETCOUNT, CB_GETCURSEL,
//   select                     CB_SETCURSEL (no CBN_SELCHANGE follows)
//   enable, set_visible        EnableWindow, ShowWindow
//   set_input_rule             ES_NUMBER / ES_UPPERCASE, EM_LIMITTEXT and a
//                              check of every change against accepts_input
//   start_timer, stop_timer    SetTimer, KillTimer
//   message, confirm           MessageBoxW (confirm: OK captioned with the
//                              action, Cancel the default: MB_DEFBUTTON2)
//   choose_file_to_open        GetOpenFileNameW
//   set_busy                   SetCursor(IDC_WAIT) and RedrawWindow
//   end_dialog                 EndDialog(IDOK)
//
// Texts are UTF-8. The skin passes the operator's actions back to the dialog
// as notifications (DeveDialog::notify) and timer ticks (DeveDialog::on_timer).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deve {

// What an edit takes as the operator types. Every change of the edit's text
// is held against accepts_input and refused when it breaks the rule, so a
// text the rule does not take cannot be typed. Hexadecimal edits show their
// letters in upper case.
struct InputRule {
    enum class Kind {
        Any,      // any text
        Decimal,  // decimal digits
        Hex,      // hexadecimal digits after an optional "0X"
    };
    Kind kind = Kind::Any;
    int digits = 0;  // most digits (not counting a "0X" prefix); 0 = no limit
};

// The text as the edit shows it: hexadecimal letters in upper case.
std::string normalise_input(const InputRule &rule, std::string_view text);
// Whether the rule takes this (normalised) text. An empty text and a bare
// "0X" are taken: they are on the way to a number.
bool accepts_input(const InputRule &rule, std::string_view text);
// The longest text the rule takes (EM_LIMITTEXT); 0 = no limit.
int max_input_length(const InputRule &rule);

enum class MessageKind { Information, Warning };

// A choice of the file-open prompt: "Register scripts", "*.txt".
struct FileFilter {
    std::string label;
    std::string pattern;
};

class DialogSurface {
public:
    virtual ~DialogSurface() = default;

    // The text of an edit, a static or a button, or a drop-down list's
    // selected item (empty when none is selected).
    virtual std::string text(int id) const = 0;
    virtual void set_text(int id, const std::string &text) = 0;

    // Drop-down lists. Positions count from 0; a selection of -1 is none.
    // Selecting from here does not notify the dialog.
    virtual void clear_list(int id) = 0;
    virtual void insert_item(int id, int position, const std::string &text) = 0;
    virtual int item_count(int id) const = 0;
    virtual int selection(int id) const = 0;
    virtual void select(int id, int position) = 0;

    // Enabling a control does not show it, nor showing it enable it.
    virtual void enable(int id, bool enabled) = 0;
    virtual void set_visible(int id, bool visible) = 0;

    virtual void set_input_rule(int id, const InputRule &rule) = 0;

    // A periodic timer of the dialog; starting a running timer restarts it.
    virtual void start_timer(int id, unsigned period_ms) = 0;
    virtual void stop_timer(int id) = 0;

    // A message box with an OK button; `details` go below the text.
    virtual void message(MessageKind kind, const std::string &text, const std::string &details) = 0;
    // A question with a button captioned `action` and Cancel, Cancel the
    // default; true when the operator chose `action`.
    virtual bool confirm(const std::string &title, const std::string &text, const std::string &action) = 0;
    // The file-open prompt, starting at `initial`; nothing when cancelled.
    virtual std::optional<std::string> choose_file_to_open(const std::string &title, const std::string &initial,
                                                           const std::vector<FileFilter> &filters) = 0;

    // The wait cursor while a long operation blocks the dialog; turning it on
    // also repaints the dialog at once, so a status text set just before is
    // seen while the operation runs.
    virtual void set_busy(bool busy) = 0;

    // Closes the dialog (its OK button).
    virtual void end_dialog() = 0;
};

}  // namespace deve
