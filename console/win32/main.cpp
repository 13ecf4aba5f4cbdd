// Deve for Windows: registers the common controls, binds the library and
// runs the dialog; the program ends when the dialog closes.
#include "deve_dlg.h"
#include "pictures_gdiplus.h"

#include "deve/library_presence.h"
#include "deve/velmo_api.h"

#include <commctrl.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // No DLL is ever looked for in the current directory.
    SetDllDirectoryW(L"");

    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);

    // The pictures are drawn with GDI+.
    const pictures::GdiplusSession gdiplus;

    deve::VelmoApi api;
    CDeveDlg dlg(instance, api, deve::velmo_library_file());
    dlg.DoModal();
    return 0;
}
