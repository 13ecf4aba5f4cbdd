#include "deve_dlg.h"

#include "about_dlg.h"
#include "wide.h"
#include "win32_resource.h"

#include "deve/resource.h"

#include <iterator>
#include <utility>

namespace {

// Controls of this skin that go with a control of the dialog: shown, hidden,
// enabled and disabled together.
const std::multimap<int, int> kCompanions{
    {IDC_BRATE_GAIN, IDC_BRATE_GAIN_LABEL},
    {IDC_SCRIPT_PATH, IDC_SCRIPT_BROWSE},
};

// Enter pressed while the focus is not on 確定: the dialog manager sends
// IDOK for it, which must not end the console in the middle of a test.
bool is_enter_elsewhere(HWND dialog) {
    return (GetKeyState(VK_RETURN) & 0x8000) != 0 && GetFocus() != GetDlgItem(dialog, ID_OK);
}

}  // namespace

CDeveDlg::CDeveDlg(HINSTANCE instance, deve::RfApi &api, std::string libraryFile)
    : instance_(instance), api_(api), libraryFile_(std::move(libraryFile)) {}

INT_PTR CDeveDlg::DoModal() {
    Win32Pictures::RegisterPictureClass(instance_);
    return DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_DEVE_DIALOG), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDeveDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto *self = reinterpret_cast<CDeveDlg *>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->hwnd_ = dialog;
        return self->OnInitDialog();
    }
    auto *self = reinterpret_cast<CDeveDlg *>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

BOOL CDeveDlg::OnInitDialog() {
    surface_ = std::make_unique<Win32Surface>(hwnd_, kCompanions);
    pictures_ = std::make_unique<Win32Pictures>(hwnd_, api_);
    dialog_ = std::make_unique<deve::DeveDialog>(api_, *surface_, libraryFile_, &pictures_->presenter());
    dialog_->init();
    InstallAboutEntry();
    SetIcons();
    return TRUE;  // the focus on the first control (the port list)
}

void CDeveDlg::InstallAboutEntry() {
    wchar_t entry[64] = {};
    LoadStringW(instance_, IDS_ABOUTBOX, entry, static_cast<int>(std::size(entry)));
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, entry);
}

void CDeveDlg::SetIcons() {
    const auto icon = [this](int metric_x, int metric_y) {
        return reinterpret_cast<LPARAM>(LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                   GetSystemMetrics(metric_x), GetSystemMetrics(metric_y),
                                                   LR_DEFAULTCOLOR));
    };
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, icon(SM_CXICON, SM_CYICON));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, icon(SM_CXSMICON, SM_CYSMICON));
}

INT_PTR CDeveDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER: dialog_->on_timer(static_cast<int>(wParam)); return TRUE;
    case WM_NOTIFY: return pictures_ && pictures_->OnNotify(*reinterpret_cast<const NMHDR *>(lParam)) ? TRUE : FALSE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg::DoModal(instance_, hwnd_);
            return TRUE;
        }
        return FALSE;
    case WM_SETCURSOR:
        if (surface_ && surface_->busy()) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:  // the close box, Alt+F4
        dialog_->leave(deve::WayOut::CloseBox);
        return TRUE;
    case WM_QUERYENDSESSION:  // the session may end
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_ENDSESSION:  // it ends: the process goes once this returns
        if (wParam != FALSE) {
            dialog_->leave(deve::WayOut::SessionEnd);
        }
        return TRUE;
    default: return FALSE;
    }
}

void CDeveDlg::OnCommand(int id, int code) {
    switch (id) {
    case IDCANCEL:  // Esc
        dialog_->leave(deve::WayOut::Escape);
        return;
    case IDC_PICTURES:
        if (code == BN_CLICKED) {
            pictures_->OnToggle();
        }
        return;
    case IDC_SCRIPT_BROWSE:
        if (code == BN_CLICKED) {
            dialog_->notify(IDC_SCRIPT_PATH, deve::Notify::Browse);
        }
        return;
    case ID_OK:
        if (is_enter_elsewhere(hwnd_)) {
            return;
        }
        break;
    default: break;
    }
    switch (code) {
    case BN_CLICKED: dialog_->notify(id, deve::Notify::Clicked); break;
    case CBN_SELCHANGE: dialog_->notify(id, deve::Notify::SelChange); break;
    case EN_CHANGE: surface_->OnEditChange(id); break;
    default: break;
    }
}
