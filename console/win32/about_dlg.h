// CAboutDlg: the about box that the system menu's about entry opens.
#pragma once

#include <windows.h>

class CAboutDlg {
public:
    // Runs the box modally over `owner`.
    static void DoModal(HINSTANCE instance, HWND owner);
};
