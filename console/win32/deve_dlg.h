// CDeveDlg: the console's one dialog in the Win32 skin, made from the
// IDD_DEVE_DIALOG template. It passes its controls' notifications and its
// timers to the dialog's behaviour (deve::DeveDialog), which reaches the
// controls back through the skin's control surface (Win32Surface); beside
// the groups it keeps the pictures panel (Win32Pictures); it adds the about
// entry to the system menu and sets the application icon.
#pragma once

#include "pictures_panel.h"
#include "win32_surface.h"

#include "deve/dialog.h"
#include "deve/rf_api.h"

#include <windows.h>

#include <memory>
#include <string>

class CDeveDlg {
public:
    // `api` outlives the dialog. `libraryFile` is the file the presence
    // check loads.
    CDeveDlg(HINSTANCE instance, deve::RfApi &api, std::string libraryFile);

    // Runs the dialog until a way out ends it (確定, the close box, the end of
    // the session), the radio left safe; IDOK.
    INT_PTR DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void OnCommand(int id, int code);
    void InstallAboutEntry();
    void SetIcons();

    HINSTANCE instance_;
    deve::RfApi &api_;
    std::string libraryFile_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<Win32Surface> surface_;
    std::unique_ptr<Win32Pictures> pictures_;
    std::unique_ptr<deve::DeveDialog> dialog_;
};
