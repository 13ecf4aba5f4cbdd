// The Win32 skin's control surface: the dialog's behaviour (deve::DeveDialog)
// reaches the dialog's controls through it, by control identifier, each call
// one Win32 call (deve/dialog_surface.h lists them).
#pragma once

#include "deve/dialog_surface.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class Win32Surface final : public deve::DialogSurface {
public:
    // `companions`: controls of this skin that show, hide, enable and disable
    // with a control of the dialog (a list's label, the browse button of the
    // script field).
    Win32Surface(HWND dialog, std::multimap<int, int> companions);

    // EN_CHANGE of an edit: a text its input rule does not take is put back
    // to the last one it took; hexadecimal letters are shown in upper case.
    void OnEditChange(int id);
    // While a long operation runs, WM_SETCURSOR keeps the wait cursor.
    bool busy() const { return busy_; }

    std::string text(int id) const override;
    void set_text(int id, const std::string &text) override;
    void clear_list(int id) override;
    void insert_item(int id, int position, const std::string &text) override;
    int item_count(int id) const override;
    int selection(int id) const override;
    void select(int id, int position) override;
    void enable(int id, bool enabled) override;
    void set_visible(int id, bool visible) override;
    void set_input_rule(int id, const deve::InputRule &rule) override;
    void start_timer(int id, unsigned period_ms) override;
    void stop_timer(int id) override;
    void message(deve::MessageKind kind, const std::string &text, const std::string &details) override;
    bool confirm(const std::string &title, const std::string &text, const std::string &action) override;
    std::optional<std::string> choose_file_to_open(const std::string &title, const std::string &initial,
                                                   const std::vector<deve::FileFilter> &filters) override;
    void set_busy(bool busy) override;
    void end_dialog() override;

private:
    struct Edit {
        deve::InputRule rule;
        std::wstring accepted;  // the last text the rule took
    };

    HWND item(int id) const;
    // The control and its companions.
    std::vector<HWND> with_companions(int id) const;
    // Moves the keyboard focus on before a control that has it is disabled or
    // hidden, so the keyboard never ends up on a control that cannot take it.
    void release_focus(HWND control);
    void put_text(HWND control, const std::wstring &text);

    HWND dialog_;
    std::multimap<int, int> companions_;
    std::map<int, Edit> edits_;
    bool changing_ = false;  // the surface itself is setting an edit's text
    bool busy_ = false;
};
