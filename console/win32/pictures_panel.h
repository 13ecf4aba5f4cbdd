// The pictures side panel of the Win32 skin: a tab control beside the
// dialog's groups with the receive chart, the pre-distortion curves and the
// eFuse map, each a picture window drawn with GDI+ and a text below it. The
// "Pictures" button beside 確定 opens it, widening the dialog, and hides it
// again; hidden, the dialog is as it was.
//
// What the pictures show and when the chip is read is the presenter's
// (deve::PicturesPresenter, the dialog's observer); the panel tells it when
// it opens and hides and which tab the operator chose, and draws what it
// holds. Hovering the eFuse map outlines the record under the pointer and
// names its item and value in a tooltip.
#pragma once

#include "deve/pictures.h"
#include "deve/rf_api.h"

#include <windows.h>

#include <vector>

class Win32Pictures final : public deve::PicturesView {
public:
    // The window class of the picture controls in the dialog template;
    // registered before the dialog is made.
    static constexpr const wchar_t *kPictureClass = L"DevePicture";
    static void RegisterPictureClass(HINSTANCE instance);

    // `dialog` holds the panel's controls (hidden); `api` outlives the panel.
    Win32Pictures(HWND dialog, deve::RfApi &api);
    Win32Pictures(const Win32Pictures &) = delete;
    Win32Pictures &operator=(const Win32Pictures &) = delete;

    // The dialog's observer.
    deve::PicturesPresenter &presenter() { return presenter_; }

    // The "Pictures" button was clicked: opens or hides the panel.
    void OnToggle();
    // WM_NOTIFY of the dialog: the operator chose a tab. True when handled.
    bool OnNotify(const NMHDR &header);

    // deve::PicturesView
    void show_tab(deve::PictureTab tab) override;
    void picture_changed(deve::PictureTab tab) override;

private:
    static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);
    void MouseMove(HWND window, int x, int y);
    void MouseLeave();
    // Widens or narrows the dialog to a client width in dialog units.
    void FitClientWidth(int dialog_units);
    // Shows the controls of the tab in view (when open), hides the others.
    void ShowTabControls();
    void Highlight(int record);

    HWND dialog_;
    HWND tabs_;
    HWND tip_ = nullptr;
    bool open_ = false;
    int hoverBit_ = -1;
    int highlighted_ = -1;
    deve::PicturesPresenter presenter_;
};
