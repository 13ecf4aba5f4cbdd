#include "win32_surface.h"

#include "wide.h"

#include <commctrl.h>
#include <commdlg.h>

#include <utility>

namespace {

constexpr const wchar_t *kTitle = L"Deve";

// The longest path the file prompt returns (the long-path limit).
constexpr DWORD kPathCapacity = 32768;

// The OK button of the next message box this thread opens gets the caption
// of the confirmation's action: a CBT hook renames it as the box activates.
thread_local HHOOK confirm_hook = nullptr;
thread_local const std::wstring *confirm_action = nullptr;

LRESULT CALLBACK RenameOkButton(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = confirm_hook;
    if (code == HCBT_ACTIVATE && confirm_action != nullptr) {
        SetDlgItemTextW(reinterpret_cast<HWND>(wParam), IDOK, confirm_action->c_str());
        UnhookWindowsHookEx(confirm_hook);
        confirm_hook = nullptr;
        confirm_action = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// A filter pattern as Windows writes it: "*" is "*.*".
std::wstring windows_pattern(const std::string &pattern) { return pattern == "*" ? L"*.*" : widen(pattern); }

}  // namespace

Win32Surface::Win32Surface(HWND dialog, std::multimap<int, int> companions)
    : dialog_(dialog), companions_(std::move(companions)) {}

HWND Win32Surface::item(int id) const { return GetDlgItem(dialog_, id); }

std::vector<HWND> Win32Surface::with_companions(int id) const {
    std::vector<HWND> controls{item(id)};
    const auto [first, last] = companions_.equal_range(id);
    for (auto it = first; it != last; ++it) {
        controls.push_back(item(it->second));
    }
    return controls;
}

void Win32Surface::release_focus(HWND control) {
    if (GetFocus() == control) {
        SendMessageW(dialog_, WM_NEXTDLGCTL, 0, FALSE);
    }
}

void Win32Surface::put_text(HWND control, const std::wstring &text) {
    changing_ = true;
    SetWindowTextW(control, text.c_str());
    changing_ = false;
}

std::string Win32Surface::text(int id) const { return narrow(window_text(item(id))); }

void Win32Surface::set_text(int id, const std::string &text) {
    const std::wstring wide = widen(text);
    const auto edit = edits_.find(id);
    if (edit != edits_.end()) {
        edit->second.accepted = wide;
    }
    put_text(item(id), wide);
}

void Win32Surface::clear_list(int id) { SendDlgItemMessageW(dialog_, id, CB_RESETCONTENT, 0, 0); }

void Win32Surface::insert_item(int id, int position, const std::string &text) {
    const std::wstring wide = widen(text);
    SendDlgItemMessageW(dialog_, id, CB_INSERTSTRING, static_cast<WPARAM>(position),
                        reinterpret_cast<LPARAM>(wide.c_str()));
}

int Win32Surface::item_count(int id) const {
    return static_cast<int>(SendDlgItemMessageW(dialog_, id, CB_GETCOUNT, 0, 0));
}

int Win32Surface::selection(int id) const {
    return static_cast<int>(SendDlgItemMessageW(dialog_, id, CB_GETCURSEL, 0, 0));  // CB_ERR is -1
}

// CB_SETCURSEL sends no CBN_SELCHANGE: no handler runs.
void Win32Surface::select(int id, int position) {
    SendDlgItemMessageW(dialog_, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

void Win32Surface::enable(int id, bool enabled) {
    for (HWND control : with_companions(id)) {
        if (!enabled) {
            release_focus(control);
        }
        EnableWindow(control, enabled ? TRUE : FALSE);
    }
}

void Win32Surface::set_visible(int id, bool visible) {
    for (HWND control : with_companions(id)) {
        if (!visible) {
            release_focus(control);
        }
        ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
    }
}

// The styles say what the keyboard may type (ES_NUMBER: digits only;
// ES_UPPERCASE: letters in upper case) and EM_LIMITTEXT how much; pasted
// text is held to the rule on EN_CHANGE.
void Win32Surface::set_input_rule(int id, const deve::InputRule &rule) {
    const HWND edit = item(id);
    LONG_PTR style = GetWindowLongPtrW(edit, GWL_STYLE) & ~static_cast<LONG_PTR>(ES_NUMBER | ES_UPPERCASE);
    if (rule.kind == deve::InputRule::Kind::Decimal) {
        style |= ES_NUMBER;
    } else if (rule.kind == deve::InputRule::Kind::Hex) {
        style |= ES_UPPERCASE;
    }
    SetWindowLongPtrW(edit, GWL_STYLE, style);
    SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(deve::max_input_length(rule)), 0);  // 0: no limit
    edits_[id] = Edit{rule, window_text(edit)};
}

void Win32Surface::OnEditChange(int id) {
    const auto found = edits_.find(id);
    if (changing_ || found == edits_.end()) {
        return;
    }
    Edit &edit = found->second;
    const HWND control = item(id);
    const std::wstring typed = window_text(control);
    const std::wstring shown = widen(deve::normalise_input(edit.rule, narrow(typed)));
    if (!deve::accepts_input(edit.rule, narrow(shown))) {
        put_text(control, edit.accepted);
        const LPARAM end = static_cast<LPARAM>(edit.accepted.size());
        SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(end), end);
        MessageBeep(MB_OK);
        return;
    }
    if (shown != typed) {
        DWORD start = 0;
        DWORD stop = 0;
        SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&stop));
        put_text(control, shown);
        SendMessageW(control, EM_SETSEL, start, static_cast<LPARAM>(stop));
    }
    edit.accepted = shown;
}

void Win32Surface::start_timer(int id, unsigned period_ms) {
    SetTimer(dialog_, static_cast<UINT_PTR>(id), period_ms, nullptr);  // restarts a running one
}

void Win32Surface::stop_timer(int id) { KillTimer(dialog_, static_cast<UINT_PTR>(id)); }

void Win32Surface::message(deve::MessageKind kind, const std::string &text, const std::string &details) {
    const std::wstring body = widen(details.empty() ? text : text + "\n\n" + details);
    const UINT icon = kind == deve::MessageKind::Information ? MB_ICONINFORMATION : MB_ICONWARNING;
    MessageBoxW(dialog_, body.c_str(), kTitle, MB_OK | icon);
}

bool Win32Surface::confirm(const std::string &title, const std::string &text, const std::string &action) {
    const std::wstring caption = widen(action);
    confirm_action = &caption;
    confirm_hook = SetWindowsHookExW(WH_CBT, RenameOkButton, nullptr, GetCurrentThreadId());
    const int choice = MessageBoxW(dialog_, widen(text).c_str(), widen(title).c_str(),
                                   MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    if (confirm_hook != nullptr) {  // the box never activated
        UnhookWindowsHookEx(confirm_hook);
        confirm_hook = nullptr;
    }
    confirm_action = nullptr;
    return choice == IDOK;
}

std::optional<std::string> Win32Surface::choose_file_to_open(const std::string &title, const std::string &initial,
                                                             const std::vector<deve::FileFilter> &filters) {
    // "Label (pattern)\0pattern\0 ... \0"
    std::wstring filter;
    for (const deve::FileFilter &f : filters) {
        const std::wstring pattern = windows_pattern(f.pattern);
        filter += widen(f.label) + L" (" + pattern + L")" + L'\0' + pattern + L'\0';
    }
    filter += L'\0';
    std::wstring file = widen(initial);
    file.resize(kPathCapacity, L'\0');
    const std::wstring caption = widen(title);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog_;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathCapacity;
    ofn.lpstrTitle = caption.c_str();
    // The current directory stays where it was.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) {
        return std::nullopt;
    }
    file.resize(file.find(L'\0'));
    return narrow(file);
}

void Win32Surface::set_busy(bool busy) {
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    if (busy) {
        // The status text set just before is painted now, not after the
        // operation.
        RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void Win32Surface::end_dialog() { EndDialog(dialog_, IDOK); }
