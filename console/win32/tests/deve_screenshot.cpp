// The picture of Deve.exe after OPEN for the documentation
// (scripts/screenshot-windows.sh): starts Deve.exe from its own folder,
// presses OPEN, saves the dialog as the screen shows it, and closes it.
//
//   deve_screenshot OUTPUT.png
#include "deve_driver.h"

#include "deve/resource.h"

#include <cstdio>
#include <string>

namespace {

std::wstring own_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    using namespace std::chrono_literals;
    if (argc != 2) {
        std::fprintf(stderr, "usage: deve_screenshot OUTPUT.png\n");
        return 2;
    }
    DeveDriver deve(own_folder() + L"Deve.exe", {});
    if (!deve.ok()) {
        std::fprintf(stderr, "deve_screenshot: %s\n", deve.problem().c_str());
        return 1;
    }
    deve.click(IDC_OPEN);
    if (deve.text(IDC_PORT_STATUS) != "Open Success") {
        std::fprintf(stderr, "deve_screenshot: OPEN showed \"%s\"\n", deve.text(IDC_PORT_STATUS).c_str());
        return 1;
    }
    deve.sync();
    Sleep(500);  // the last repaints reach the screen
    std::string problem;
    if (!deve.save_picture(argv[1], problem)) {
        std::fprintf(stderr, "deve_screenshot: %s\n", problem.c_str());
        return 1;
    }
    deve.click(IDC_CLOSE);
    deve.click(ID_OK);
    return deve.wait_exit(20s) == 0 ? 0 : 1;
}
