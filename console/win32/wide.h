// Texts between the dialog's behaviour (UTF-8) and Win32 (UTF-16).
#pragma once

#include <windows.h>

#include <string>

std::wstring widen(const std::string &text);
std::string narrow(const std::wstring &text);

// The text of a window (a control, a message box's static), however long.
std::wstring window_text(HWND window);
