// Texts between the dialog's behaviour (UTF-8) and Win32 (UTF-16).
#pragma once

#include <windows.h>

#include <string>

#include "common/wide_text.h"

using wide_text::narrow;
using wide_text::widen;

// The text of a window (a control, a message box's static), however long.
std::wstring window_text(HWND window);
