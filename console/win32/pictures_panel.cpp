#include "pictures_panel.h"

#include "pictures_gdiplus.h"
#include "wide.h"
#include "win32_resource.h"

#include "deve/fuse_picture.h"
#include "deve/resource.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>

namespace {

// The controls of each tab, in tab order.
constexpr std::array<std::initializer_list<int>, deve::kPictureTabs> kTabControls{{
    {IDC_RX_CHART, IDC_RX_SUMMARY},
    {IDC_PADPD_GAIN, IDC_PADPD_PHASE, IDC_PADPD_STATUS},
    {IDC_FUSE_GRID, IDC_FUSE_STATUS},
}};

// The tooltip beside the pointer, in pixels at 96 DPI.
constexpr int kTipOffset = 16;
constexpr int kTipWidth = 420;

double scale_of(HWND window) { return GetDpiForWindow(window) / 96.0; }

}  // namespace

void Win32Pictures::RegisterPictureClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PictureProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kPictureClass;
    RegisterClassExW(&wc);
}

Win32Pictures::Win32Pictures(HWND dialog, deve::RfApi &api)
    : dialog_(dialog), tabs_(GetDlgItem(dialog, IDC_PICTURE_TABS)), presenter_(api, *this) {
    for (int tab = 0; tab < deve::kPictureTabs; ++tab) {
        std::wstring name = widen(deve::kPictureTabNames[static_cast<std::size_t>(tab)]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = name.data();
        SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
    }
    for (int id : {IDC_RX_CHART, IDC_PADPD_GAIN, IDC_PADPD_PHASE, IDC_FUSE_GRID}) {
        SetWindowLongPtrW(GetDlgItem(dialog_, id), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    // The eFuse map's tooltip: placed and filled by the map as the pointer
    // moves over it.
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr,
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog_, GWLP_HINSTANCE)), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = GetDlgItem(dialog_, IDC_FUSE_GRID);
    tool.uId = IDC_FUSE_GRID;
    tool.lpszText = const_cast<wchar_t *>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, static_cast<LPARAM>(kTipWidth * scale_of(dialog_)));

    for (int tab = 0; tab < deve::kPictureTabs; ++tab) {
        picture_changed(static_cast<deve::PictureTab>(tab));
    }
}

void Win32Pictures::OnToggle() {
    open_ = SendMessageW(GetDlgItem(dialog_, IDC_PICTURES), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (open_) {
        FitClientWidth(DEVE_DIALOG_WIDTH_OPEN);
        ShowWindow(tabs_, SW_SHOW);
        ShowTabControls();
        presenter_.set_open(true);
    } else {
        presenter_.set_open(false);
        ShowTabControls();
        ShowWindow(tabs_, SW_HIDE);
        MouseLeave();
        FitClientWidth(DEVE_DIALOG_WIDTH);
    }
}

void Win32Pictures::FitClientWidth(int dialog_units) {
    // In pixels at the dialog's DPI now (which may have changed since the
    // panel opened), as the dialog manager sizes the dialog.
    RECT wanted{0, 0, dialog_units, 0};
    MapDialogRect(dialog_, &wanted);
    RECT client{};
    GetClientRect(dialog_, &client);
    RECT window{};
    GetWindowRect(dialog_, &window);
    const LONG width = window.right - window.left - client.right + wanted.right;

    // Kept on the screen, but never moved past its left.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog_, MONITOR_DEFAULTTONEAREST), &monitor);
    LONG left = window.left;
    if (left + width > monitor.rcWork.right) {
        left = std::max(monitor.rcWork.left, monitor.rcWork.right - width);
    }
    SetWindowPos(dialog_, nullptr, left, window.top, width, window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Pictures::OnNotify(const NMHDR &header) {
    if (header.hwndFrom != tabs_ || header.code != TCN_SELCHANGE) {
        return false;
    }
    const auto tab = static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0));
    if (tab >= 0 && tab < deve::kPictureTabs) {
        MouseLeave();
        presenter_.set_tab(static_cast<deve::PictureTab>(tab));
        ShowTabControls();
    }
    return true;
}

void Win32Pictures::show_tab(deve::PictureTab tab) {
    SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    MouseLeave();
    ShowTabControls();
}

void Win32Pictures::ShowTabControls() {
    const int current = static_cast<int>(presenter_.tab());
    for (int tab = 0; tab < deve::kPictureTabs; ++tab) {
        for (int id : kTabControls[static_cast<std::size_t>(tab)]) {
            ShowWindow(GetDlgItem(dialog_, id), open_ && tab == current ? SW_SHOW : SW_HIDE);
        }
    }
}

void Win32Pictures::picture_changed(deve::PictureTab tab) {
    switch (tab) {
    case deve::PictureTab::Receive:
        SetDlgItemTextW(dialog_, IDC_RX_SUMMARY, widen(presenter_.receive_summary()).c_str());
        InvalidateRect(GetDlgItem(dialog_, IDC_RX_CHART), nullptr, FALSE);
        break;
    case deve::PictureTab::Curves:
        SetDlgItemTextW(dialog_, IDC_PADPD_STATUS, widen(presenter_.curves_note()).c_str());
        InvalidateRect(GetDlgItem(dialog_, IDC_PADPD_GAIN), nullptr, FALSE);
        InvalidateRect(GetDlgItem(dialog_, IDC_PADPD_PHASE), nullptr, FALSE);
        break;
    case deve::PictureTab::Fuses:
        SetDlgItemTextW(dialog_, IDC_FUSE_STATUS, widen(presenter_.fuses_note()).c_str());
        highlighted_ = -1;
        hoverBit_ = -1;
        InvalidateRect(GetDlgItem(dialog_, IDC_FUSE_GRID), nullptr, FALSE);
        break;
    }
}

LRESULT CALLBACK Win32Pictures::PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<Win32Pictures *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
        if (self != nullptr) {
            self->Paint(window);
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (self != nullptr) {
            self->MouseMove(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        break;
    case WM_MOUSELEAVE:
        if (self != nullptr) {
            self->MouseLeave();
            return 0;
        }
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Pictures::Paint(HWND window) {
    PAINTSTRUCT paint{};
    HDC screen = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    const int width = std::max<LONG>(1, client.right);
    const int height = std::max<LONG>(1, client.bottom);
    // Drawn off screen, then copied at once: no flicker at each reading.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    {
        Gdiplus::Graphics graphics(memory);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        const auto font_handle = reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
        const Gdiplus::Font font(memory, font_handle);
        const pictures::Canvas canvas{graphics,
                                      Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(width),
                                                     static_cast<Gdiplus::REAL>(height)),
                                      font, scale_of(window)};
        switch (GetDlgCtrlID(window)) {
        case IDC_RX_CHART: pictures::draw_receive(canvas, presenter_.receive()); break;
        case IDC_PADPD_GAIN: pictures::draw_curves(canvas, presenter_.curves(), pictures::Curves::Gain); break;
        case IDC_PADPD_PHASE: pictures::draw_curves(canvas, presenter_.curves(), pictures::Curves::Phase); break;
        case IDC_FUSE_GRID: pictures::draw_fuses(canvas, presenter_.fuses(), highlighted_); break;
        default: break;
        }
    }
    BitBlt(screen, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

void Win32Pictures::MouseMove(HWND window, int x, int y) {
    if (GetDlgCtrlID(window) != IDC_FUSE_GRID) {
        return;
    }
    const std::optional<deve::FuseMap> &map = presenter_.fuses();
    const double scale = scale_of(window);
    const int origin = pictures::fuse_grid_origin(scale);
    const int bit = map ? deve::fuse_grid_bit_at(x - origin, y - origin, pictures::fuse_metrics(scale)) : -1;
    if (bit < 0) {
        MouseLeave();
        return;
    }
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, window, 0};
    TrackMouseEvent(&leave);
    if (bit == hoverBit_) {
        return;
    }
    hoverBit_ = bit;
    Highlight(deve::fuse_cells(*map)[static_cast<unsigned>(bit)].record);

    // The tip is hidden while its text changes, and shown again beside the
    // pointer (a shown tip keeps the text it was shown with).
    std::wstring tip = widen(deve::fuse_cell_tip(*map, static_cast<unsigned>(bit)));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uId = IDC_FUSE_GRID;
    tool.lpszText = tip.data();
    SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    POINT at{x, y};
    ClientToScreen(window, &at);
    const int offset = static_cast<int>(kTipOffset * scale);
    SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x + offset, at.y + offset));
    SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void Win32Pictures::MouseLeave() {
    if (hoverBit_ < 0 && highlighted_ < 0) {
        return;
    }
    hoverBit_ = -1;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetDlgItem(dialog_, IDC_FUSE_GRID);
    tool.uId = IDC_FUSE_GRID;
    SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    Highlight(-1);
}

void Win32Pictures::Highlight(int record) {
    if (record != highlighted_) {
        highlighted_ = record;
        InvalidateRect(GetDlgItem(dialog_, IDC_FUSE_GRID), nullptr, FALSE);
    }
}
