// The operator's hands and eyes on a running Deve.exe, from another process,
// through the messages any Windows automation tool uses: controls found by
// identifier, BM_CLICK, CB_SETCURSEL with the CBN_SELCHANGE notification,
// WM_SETTEXT and key messages, GetDlgItemTextW; the program's message boxes
// found and answered with their own buttons.
#pragma once

#include <windows.h>

#include "common/wide_text.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class DeveDriver {
public:
    using Env = std::vector<std::pair<std::wstring, std::wstring>>;

    // Starts the program with these variables added to this process's
    // environment and waits for its dialog. `ok()` says whether it came up,
    // and `problem()` why not. With an `output` file, the program's standard
    // output and error go there (a GUI program has none of its own).
    DeveDriver(const std::wstring &program, const Env &env, const std::wstring &output = {});
    // Ends the program if it is still running.
    ~DeveDriver();
    DeveDriver(const DeveDriver &) = delete;
    DeveDriver &operator=(const DeveDriver &) = delete;

    bool ok() const { return dialog_ != nullptr; }
    const std::string &problem() const { return problem_; }
    HWND dialog() const { return dialog_; }
    HWND item(int id) const { return GetDlgItem(dialog_, id); }

    // GetDlgItemTextW: an edit's or a static's text, a list's selected item.
    std::string text(int id) const;
    // WM_SETTEXT, as pasting a whole text into the edit.
    void type(int id, const std::string &text);
    // WM_CHAR, one key after another.
    void keys(int id, const std::wstring &keys);
    // BM_CLICK; returns once the dialog has handled it.
    void click(int id);
    // BM_CLICK posted: for a click whose handler opens a message box, which
    // the caller then answers.
    void post_click(int id);
    // CB_SETCURSEL, then the CBN_SELCHANGE the list sends when the operator
    // chooses an item.
    void choose(int id, int position);
    std::vector<std::string> items(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool checked(int id) const { return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // A control's place on the screen; the dialog's window with id 0.
    RECT place(int id = 0) const;
    // How many pixels of a control, as the screen shows it, are of this
    // colour (0xRRGGBB, each channel within a few steps).
    int pixels_of(int id, std::uint32_t rgb) const;
    // The text of the program's tooltip in view; empty when none shows.
    std::string tooltip() const;
    bool visible(int id) const { return IsWindowVisible(item(id)) != FALSE; }
    LONG_PTR style(int id) const { return GetWindowLongPtrW(item(id), GWL_STYLE); }
    // WM_SYSCOMMAND with a command of the system menu, posted.
    void system_command(WPARAM command);
    // A key pressed and released on a control, as the keyboard sends it
    // (through the dialog's message loop).
    void press(int id, WPARAM key);
    // Whether the program is still running.
    bool running() const;

    // A window the program opened over its dialog (a message box, the about
    // box, the file prompt): its title and the texts of its statics.
    struct Box {
        HWND window = nullptr;
        std::string title;
        std::string text;  // the statics' texts, one per line
    };
    // Waits for such a window; window is null after the time-out.
    Box wait_for_box(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Clicks a button of the box (IDOK, IDCANCEL, ...) and waits until it
    // is gone; false when it stays.
    bool answer(const Box &box, int button) const;
    // Returns once the dialog's thread takes messages again (a handler that
    // was running has returned, or opened a box).
    void sync() const;
    // Polls `condition` until it holds or `timeout` passes.
    static bool wait_until(const std::function<bool()> &condition, std::chrono::milliseconds timeout);

    // Waits for the program to end; its exit code, or -1 after the time-out.
    int wait_exit(std::chrono::milliseconds timeout);

    // Saves the dialog as the screen shows it, frame included, as a PNG
    // file; false with the reason in `problem`.
    bool save_picture(const std::wstring &file, std::string &problem) const { return save_area(file, place(), problem); }
    // The same for an area of the screen.
    bool save_area(const std::wstring &file, const RECT &area, std::string &problem) const;

private:
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
    std::string problem_;
};

// UTF-8 and UTF-16.
inline std::wstring to_wide(const std::string &text) { return wide_text::widen(text); }
inline std::string to_utf8(const std::wstring &text) { return wide_text::narrow(text); }
