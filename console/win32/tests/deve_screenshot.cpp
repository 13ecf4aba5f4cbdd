// The pictures of Deve.exe for the documentation (scripts/screenshot-windows.sh):
// starts Deve.exe from its own folder, presses OPEN and saves the dialog as
// the screen shows it; with --pictures, goes on as an operator would and
// saves the pictures panel:
//
//   deve_screenshot OUTPUT.png
//   deve_screenshot --pictures FOLDER   (on a fresh board)
//     deve-windows-pictures.png    the dialog with the panel open
//     deve-windows-rx-chart.png    the receive chart after a receive test
//     deve-windows-dpd-curves.png  the pre-distortion curves of the calibration at OPEN
//     deve-windows-efuse-map.png   the eFuse map, with a record hovered
//
// The sequence for the pictures: OPEN (which calibrates pre-distortion);
// program the crystal trim, two transmit-power pairs (the second supersedes
// the first) and a MAC address through the dialog, each confirmed; open the
// panel; RX ON for half a minute, moving the crystal trim nine steps away
// from the board's ideal for the middle third (a register write), so that
// the error rate shows a step.
#include "deve_driver.h"
#include "pictures_layout.h"

#include "deve/registers.h"
#include "deve/resource.h"
#include "deve/text.h"

#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr unsigned kTrimIdeal = 151;
constexpr unsigned kTrimOff = 160;
constexpr auto kReceiveThird = 10s;

std::wstring own_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

int fail(const std::string &problem) {
    std::fprintf(stderr, "deve_screenshot: %s\n", problem.c_str());
    return 1;
}

// Clicks a button whose handler asks and then tells: answers both with OK.
bool confirmed(DeveDriver &deve, int id) {
    deve.post_click(id);
    for (int box = 0; box < 2; ++box) {
        const DeveDriver::Box shown = deve.wait_for_box();
        if (shown.window == nullptr || !deve.answer(shown, IDOK)) {
            return false;
        }
    }
    deve.sync();
    return true;
}

bool burn_item(DeveDriver &deve, int item, const char *first, const char *second) {
    deve.choose(IDC_EFUSE_ITEM, item);
    deve.type(IDC_EFUSE_FIRST, first);
    deve.type(IDC_EFUSE_SECOND, second);
    return confirmed(deve, IDC_EFUSE_WRITE);
}

// The crystal trim written straight to its register, as rf_freq_offset does.
void set_trim(DeveDriver &deve, unsigned trim) {
    using namespace deve::reg;
    deve.type(IDC_REG_ADDRESS, deve::hex(ADR_FREQ_OFFSET));
    deve.click(IDC_REG_READ);
    const std::uint32_t now = deve::parse_unsigned(deve.text(IDC_READ_DATA), 16);
    deve.type(IDC_REG_VALUE,
              deve::hex((now & kFreqOffsetKeep) | (trim << kFreqOffsetShiftLow) | (trim << kFreqOffsetShiftHigh)));
    deve.click(IDC_REG_WRITE);
}

bool save(const DeveDriver &deve, const std::wstring &file, const RECT &area) {
    deve.sync();
    Sleep(500);  // the last repaints reach the screen
    std::string problem;
    if (!deve.save_area(file, area, problem)) {
        fail(problem);
        return false;
    }
    std::fprintf(stderr, "saved %s\n", to_utf8(file).c_str());
    return true;
}

int panel_pictures(DeveDriver &deve, const std::wstring &folder) {
    if (!burn_item(deve, 2, "151", "0") || !burn_item(deve, 0, "3", "5") || !burn_item(deve, 0, "4", "6")) {
        return fail("an eFuse write was not confirmed");
    }
    const char *mac[] = {"00", "11", "22", "33", "44", "55"};
    const int bytes[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2, IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};
    for (int i = 0; i < 6; ++i) {
        deve.type(bytes[i], mac[i]);
    }
    if (!confirmed(deve, IDC_MAC_WRITE)) {
        return fail("the MAC write was not confirmed");
    }

    deve.click(IDC_PICTURES);
    deve.type(IDC_FREQ_OFFSET, std::to_string(kTrimIdeal));
    deve.click(IDC_RX_ON);
    Sleep(static_cast<DWORD>(std::chrono::milliseconds(kReceiveThird).count()));
    set_trim(deve, kTrimOff);
    Sleep(static_cast<DWORD>(std::chrono::milliseconds(kReceiveThird).count()));
    set_trim(deve, kTrimIdeal);
    Sleep(static_cast<DWORD>(std::chrono::milliseconds(kReceiveThird).count()));
    deve.click(IDC_RX_OFF);
    if (!save(deve, folder + L"deve-windows-pictures.png", deve.place()) ||
        !save(deve, folder + L"deve-windows-rx-chart.png", deve.place(IDC_PICTURE_TABS))) {
        return 1;
    }
    deve.press(IDC_PICTURE_TABS, VK_RIGHT);
    if (!save(deve, folder + L"deve-windows-dpd-curves.png", deve.place(IDC_PICTURE_TABS))) {
        return 1;
    }
    deve.click(IDC_MAC_READ);  // brings the map forward, read afresh
    // The pointer on the second transmit-power record (bits 56-67), where
    // it goes on in the next row.
    const double scale = GetDpiForWindow(deve.dialog()) / 96.0;
    const deve::FuseGridRect cell = deve::fuse_grid_cell(65, pictures::fuse_metrics(scale));
    const RECT grid = deve.place(IDC_FUSE_GRID);
    const int origin = pictures::fuse_grid_origin(scale);
    SetCursorPos(grid.left + origin + cell.x + cell.width / 2, grid.top + origin + cell.y + cell.height / 2);
    DeveDriver::wait_until([&] { return !deve.tooltip().empty(); }, 5s);
    if (!save(deve, folder + L"deve-windows-efuse-map.png", deve.place(IDC_PICTURE_TABS))) {
        return 1;
    }
    SetCursorPos(0, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    const bool panel = argc == 3 && std::wstring(argv[1]) == L"--pictures";
    if (argc != 2 && !panel) {
        std::fprintf(stderr, "usage: deve_screenshot OUTPUT.png | --pictures FOLDER\n");
        return 2;
    }
    DeveDriver deve(own_folder() + L"Deve.exe", {});
    if (!deve.ok()) {
        return fail(deve.problem());
    }
    deve.click(IDC_OPEN);
    if (deve.text(IDC_PORT_STATUS) != "Open Success") {
        return fail("OPEN showed \"" + deve.text(IDC_PORT_STATUS) + "\"");
    }
    int result = 0;
    if (panel) {
        // The engineering controls (TX ON with the access code) for the
        // writes, with the offset the receive test uses.
        deve.type(IDC_FREQ_OFFSET, "624");
        deve.click(IDC_TX_ON);
        deve.click(IDC_TX_OFF);
        std::wstring folder = argv[2];
        if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
            folder += L'\\';
        }
        result = panel_pictures(deve, folder);
    } else if (!save(deve, argv[1], deve.place())) {
        result = 1;
    }
    deve.click(IDC_CLOSE);
    deve.click(ID_OK);
    return deve.wait_exit(20s) == 0 ? result : 1;
}
