// Deve.exe on the simulated board, driven from this process as an operator
// would: one program, one fresh board, the steps in order (each test goes on
// from where the one before left the dialog). ctest names a scratch fuse
// file in XOLT_FUSE_FILE; the board is the xolt.dll beside Deve.exe.
#include "board_trace.h"
#include "deve_driver.h"
#include "pictures_layout.h"
#include "test_support/system.h"
#include "win32_resource.h"

#include "deve/efuse_items.h"
#include "deve/pictures.h"
#include "deve/resource.h"
#include "xolt/xolt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

std::wstring own_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Enough pixels of a colour for a curve or a few cells, not a stray one.
constexpr int kDrawn = 20;

// The pictures' controls: the tabs and each tab's picture and text.
constexpr int kPictureControls[] = {IDC_PICTURE_TABS, IDC_RX_CHART,    IDC_RX_SUMMARY, IDC_PADPD_GAIN,
                                    IDC_PADPD_PHASE,  IDC_PADPD_STATUS, IDC_FUSE_GRID,  IDC_FUSE_STATUS};

// Successive values of a count that the dialog refreshes by timer, over
// `span`: each new text once it is seen.
std::vector<long> watch_count(const DeveDriver &deve, int id, std::chrono::milliseconds span) {
    std::vector<long> seen;
    std::string last = deve.text(id);
    DeveDriver::wait_until(
        [&] {
            const std::string now = deve.text(id);
            if (now != last && !now.empty()) {
                seen.push_back(std::strtol(now.c_str(), nullptr, 10));
                last = now;
            }
            return false;
        },
        span);
    return seen;
}

class DeveUi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char *fuses = std::getenv("XOLT_FUSE_FILE");
        ASSERT_NE(fuses, nullptr) << "ctest names a scratch fuse file in XOLT_FUSE_FILE";
        std::remove(fuses);  // a fresh board
        deve_ = std::make_unique<DeveDriver>(own_folder() + L"Deve.exe",
                                             DeveDriver::Env{{L"XOLT_LIBRARY", own_folder() + L"xolt.dll"}});
    }
    static void TearDownTestSuite() { deve_.reset(); }
    void SetUp() override { ASSERT_TRUE(deve_->ok()) << deve_->problem(); }

    // Clicks a button whose handler opens a message box, and returns the box.
    DeveDriver::Box click_for_box(int id) {
        deve_->post_click(id);
        return deve_->wait_for_box();
    }

    static std::unique_ptr<DeveDriver> deve_;
};

std::unique_ptr<DeveDriver> DeveUi::deve_;

TEST_F(DeveUi, StartsClosedWithTheTemplateStatesAndInputRules) {
    DeveDriver &d = *deve_;
    EXPECT_EQ(d.text(IDC_PORT), "USB");
    EXPECT_EQ(d.text(IDC_SUPPLY), "DCDC");
    EXPECT_EQ(d.text(IDC_XTAL), "25MHz");
    EXPECT_EQ(d.text(IDC_PORT_STATUS), "");
    EXPECT_EQ(d.text(ID_OK), "確定");
    EXPECT_FALSE(d.enabled(IDC_TX_ON));
    EXPECT_FALSE(d.visible(IDC_OPTION_GROUP));
    EXPECT_FALSE(d.visible(IDC_SCRIPT_BROWSE));
    // Digits only in the decimal fields, upper case in the hexadecimal ones,
    // and every field reached with Tab.
    EXPECT_TRUE(d.style(IDC_FREQ_OFFSET) & ES_NUMBER);
    EXPECT_TRUE(d.style(IDC_REG_ADDRESS) & ES_UPPERCASE);
    for (int id : {IDC_PORT, IDC_OPEN, IDC_REG_ADDRESS, IDC_MAC_BYTE0, IDC_XTAL, IDC_TX_ON, IDC_FREQ_OFFSET,
                   IDC_EFUSE_ITEM, ID_OK}) {
        EXPECT_TRUE(d.style(id) & WS_TABSTOP) << id;
    }
    // Keys: lower case comes out upper case; a digit past the eight a
    // register holds, and a pasted text the field does not take, are refused.
    d.keys(IDC_REG_ADDRESS, L"ccb0a40");
    EXPECT_EQ(d.text(IDC_REG_ADDRESS), "CCB0A40");
    d.keys(IDC_REG_ADDRESS, L"01");
    EXPECT_EQ(d.text(IDC_REG_ADDRESS), "CCB0A400");
    d.type(IDC_REG_ADDRESS, "XYZ");
    EXPECT_EQ(d.text(IDC_REG_ADDRESS), "CCB0A400");
    d.type(IDC_FREQ_OFFSET, "12a");
    EXPECT_EQ(d.text(IDC_FREQ_OFFSET), "");
}

TEST_F(DeveUi, OpenShowsSuccessTheChipIdAndOffsetAndEnablesTheTests) {
    DeveDriver &d = *deve_;
    d.click(IDC_OPEN);
    EXPECT_EQ(d.text(IDC_PORT_STATUS), "Open Success");
    const std::string chip = d.text(IDC_CHIP_ID);
    EXPECT_FALSE(chip.empty());
    EXPECT_NE(chip, "NO Chip ID");
    EXPECT_EQ(d.text(IDC_FREQ_OFFSET), "151");
    EXPECT_EQ(d.text(IDC_PIT), "0");
    for (int id : {IDC_TX_ON, IDC_TX_OFF, IDC_RX_ON, IDC_RX_OFF, IDC_REG_READ, IDC_BAND, IDC_CHANNEL, IDC_MODE,
                   IDC_RATE, IDC_MAC_READ, IDC_EFUSE_READ}) {
        EXPECT_TRUE(d.enabled(id)) << id;
    }
    EXPECT_EQ(d.text(IDC_CHANNEL), "CH1_2412MHz");
    EXPECT_EQ(d.text(IDC_RATE), "HT20-MCS7");
    // The register read goes to the chip: the mode register OPEN left.
    d.click(IDC_REG_READ);
    EXPECT_EQ(d.text(IDC_READ_DATA), "6000004");
}

// The Pictures button beside 確定 widens the dialog by the panel and hides it
// again; neither moves a control of the dialog, and hidden, the dialog is
// as it was.
TEST_F(DeveUi, PicturesPanelOpensBesideTheGroupsAndHidesAsItWas) {
    DeveDriver &d = *deve_;
    EXPECT_EQ(d.text(IDC_PICTURES), "Pictures");
    EXPECT_FALSE(d.checked(IDC_PICTURES));
    for (int id : kPictureControls) {
        EXPECT_FALSE(d.visible(id)) << id;
    }
    const RECT closed = d.place();
    const auto offsets = [&d] {
        std::map<int, std::pair<LONG, LONG>> out;
        const RECT window = d.place();
        for (int id : {IDC_PORT, IDC_OPEN, IDC_REG_ADDRESS, IDC_MAC_BYTE5, IDC_XTAL, IDC_TX_ON, IDC_PER, IDC_DAC,
                       IDC_EFUSE_ITEM, IDC_EFUSE_READ, ID_OK, IDC_PICTURES}) {
            const RECT r = d.place(id);
            out[id] = {r.left - window.left, r.top - window.top};
        }
        return out;
    };
    const auto before = offsets();

    d.click(IDC_PICTURES);
    EXPECT_TRUE(d.checked(IDC_PICTURES));
    const RECT open = d.place();
    EXPECT_GT(open.right - open.left, closed.right - closed.left);
    EXPECT_EQ(open.bottom - open.top, closed.bottom - closed.top);
    EXPECT_TRUE(d.visible(IDC_PICTURE_TABS));
    EXPECT_TRUE(d.visible(IDC_RX_CHART));
    EXPECT_TRUE(d.visible(IDC_RX_SUMMARY));
    EXPECT_FALSE(d.visible(IDC_FUSE_GRID));
    const RECT tabs = d.place(IDC_PICTURE_TABS);
    EXPECT_GE(tabs.left, d.place(IDC_EFUSE_READ).right) << "the panel is not beside the groups";
    EXPECT_LE(tabs.right, open.right) << "the panel does not fit the dialog";
    EXPECT_EQ(offsets(), before);
    d.sync();
    EXPECT_GT(d.pixels_of(IDC_RX_CHART, 0xFFFFFF), kDrawn) << "the chart is not drawn";

    d.click(IDC_PICTURES);
    EXPECT_FALSE(d.checked(IDC_PICTURES));
    for (int id : kPictureControls) {
        EXPECT_FALSE(d.visible(id)) << id;
    }
    const RECT again = d.place();
    EXPECT_EQ(again.right - again.left, closed.right - closed.left);
    EXPECT_EQ(again.bottom - again.top, closed.bottom - closed.top);
    EXPECT_EQ(offsets(), before);
}

TEST_F(DeveUi, BandAndChannelChangeRetuneTheRadio) {
    DeveDriver &d = *deve_;
    d.choose(IDC_BAND, 1);
    EXPECT_EQ(d.items(IDC_CHANNEL).size(), 104u);
    EXPECT_EQ(d.text(IDC_CHANNEL), "");  // no channel chosen yet
    d.choose(IDC_CHANNEL, 4);            // CH36_5180MHz
    EXPECT_EQ(d.text(IDC_CHANNEL), "CH36_5180MHz");
    d.choose(IDC_BAND, 0);
    d.choose(IDC_CHANNEL, 5);
    EXPECT_EQ(d.text(IDC_CHANNEL), "CH6_2437MHz");
}

TEST_F(DeveUi, TxCountRisesOnceASecondUntilTxOff) {
    DeveDriver &d = *deve_;
    d.click(IDC_TX_ON);
    const std::vector<long> counts = watch_count(d, IDC_TX_PKT, 3500ms);
    ASSERT_GE(counts.size(), 2u) << "timer 0 did not refresh the count";
    EXPECT_LE(counts.size(), 5u) << "refreshed more often than once a second";
    for (std::size_t i = 1; i < counts.size(); ++i) {
        EXPECT_GT(counts[i], counts[i - 1]);
    }
    d.click(IDC_TX_OFF);
    const std::string stopped = d.text(IDC_TX_PKT);
    EXPECT_TRUE(watch_count(d, IDC_TX_PKT, 1500ms).empty()) << "the count moved after TX OFF";
    EXPECT_EQ(d.text(IDC_TX_PKT), stopped);
}

// During RX each picture is drawn, in its colours: the chart's two curves,
// the four bands' curves from the calibration at OPEN, the fuse map's
// header. The chart's latest point is the reading the fields show.
TEST_F(DeveUi, RxShowsErrorsTotalAndPerAndEachPictureIsDrawn) {
    DeveDriver &d = *deve_;
    d.click(IDC_PICTURES);
    d.click(IDC_RX_ON);
    ASSERT_TRUE(DeveDriver::wait_until([&] { return !d.text(IDC_PER).empty(); }, 5s));
    ASSERT_TRUE(DeveDriver::wait_until([&] { return contains(d.text(IDC_RX_SUMMARY), "plotted"); }, 5s))
        << d.text(IDC_RX_SUMMARY);
    for (std::uint32_t curve : {deve::kRateCurveRgb, deve::kPerCurveRgb}) {
        EXPECT_TRUE(DeveDriver::wait_until([&] { return d.pixels_of(IDC_RX_CHART, curve) > kDrawn; }, 8s))
            << "no curve in " << std::hex << curve;
    }

    d.press(IDC_PICTURE_TABS, VK_RIGHT);
    EXPECT_TRUE(d.visible(IDC_PADPD_GAIN));
    EXPECT_FALSE(d.visible(IDC_RX_CHART));
    EXPECT_TRUE(contains(d.text(IDC_PADPD_STATUS), "Table registers read after the calibration at OPEN"))
        << d.text(IDC_PADPD_STATUS);
    for (std::uint32_t band : deve::kBandCurveRgb) {
        EXPECT_GT(d.pixels_of(IDC_PADPD_GAIN, band), kDrawn) << std::hex << band;
        EXPECT_GT(d.pixels_of(IDC_PADPD_PHASE, band), kDrawn) << std::hex << band;
    }

    d.press(IDC_PICTURE_TABS, VK_RIGHT);
    EXPECT_TRUE(d.visible(IDC_FUSE_GRID));
    EXPECT_TRUE(contains(d.text(IDC_FUSE_STATUS), "Free: 224 bits")) << d.text(IDC_FUSE_STATUS);
    EXPECT_GT(d.pixels_of(IDC_FUSE_GRID, deve::kFuseHeaderRgb), kDrawn) << "no header cells";

    d.press(IDC_PICTURE_TABS, VK_LEFT);
    d.press(IDC_PICTURE_TABS, VK_LEFT);
    EXPECT_TRUE(d.visible(IDC_RX_CHART));
    d.click(IDC_RX_OFF);
    const std::string shown = "Last reading: Err " + d.text(IDC_ERR_PKT) + ", Total " + d.text(IDC_TOTAL_PKT) +
                              ", PER " + d.text(IDC_PER) + ";";
    EXPECT_TRUE(contains(d.text(IDC_RX_SUMMARY), shown)) << d.text(IDC_RX_SUMMARY) << "\n" << shown;
    d.click(IDC_PICTURES);
    const long errors = std::strtol(d.text(IDC_ERR_PKT).c_str(), nullptr, 10);
    const long total = std::strtol(d.text(IDC_TOTAL_PKT).c_str(), nullptr, 10);
    EXPECT_GT(total, 0);
    EXPECT_LE(errors, total);
    const std::string per = d.text(IDC_PER);
    EXPECT_EQ(per.back(), '%') << per;
    char expected[32];
    const float rate = static_cast<float>(errors) / static_cast<float>(total) * 100.0f;
    std::snprintf(expected, sizeof expected, "%.1f%%", static_cast<double>(rate));
    EXPECT_EQ(per, expected);
}

TEST_F(DeveUi, TxOnWithTheAccessCodeRevealsTheEngineeringControls) {
    DeveDriver &d = *deve_;
    d.type(IDC_FREQ_OFFSET, "624");
    d.click(IDC_TX_ON);
    d.click(IDC_TX_OFF);
    for (int id : {IDC_OPTION_GROUP, IDC_DPD, IDC_LOAD_SCRIPT, IDC_SCRIPT_PATH, IDC_SCRIPT_BROWSE, IDC_SAR,
                   IDC_A62C_VALUE, IDC_A62C_WRITE, IDC_A630_VALUE, IDC_A630_WRITE, IDC_BRATE_GAIN,
                   IDC_BRATE_GAIN_LABEL, IDC_REG_WRITE, IDC_MAC_WRITE, IDC_EFUSE_WRITE}) {
        EXPECT_TRUE(d.visible(id)) << id;
    }
    EXPECT_TRUE(d.enabled(IDC_LOAD_SCRIPT));
    d.type(IDC_FREQ_OFFSET, "151");
}

TEST_F(DeveUi, FuseWriteIsCancelledOrConfirmedInItsMessageBox) {
    DeveDriver &d = *deve_;
    d.choose(IDC_EFUSE_ITEM, 0);  // TX_PWR1
    d.type(IDC_EFUSE_FIRST, "3");
    d.type(IDC_EFUSE_SECOND, "5");

    DeveDriver::Box question = click_for_box(IDC_EFUSE_WRITE);
    ASSERT_NE(question.window, nullptr) << "no confirmation";
    EXPECT_EQ(question.title, "Program eFuse");
    EXPECT_TRUE(contains(question.text, "Program this record into the eFuse?")) << question.text;
    ASSERT_TRUE(d.answer(question, IDCANCEL));
    d.sync();
    d.click(IDC_EFUSE_READ);
    EXPECT_EQ(d.text(IDC_EFUSE_RESULT), "0,0");
    EXPECT_EQ(d.text(IDC_EFUSE_RANGE), "Empty: 224 bit");

    question = click_for_box(IDC_EFUSE_WRITE);
    ASSERT_NE(question.window, nullptr) << "no confirmation";
    wchar_t action[32] = {};
    GetDlgItemTextW(question.window, IDOK, action, 32);
    EXPECT_EQ(to_utf8(action), "Program");
    ASSERT_TRUE(d.answer(question, IDOK));
    const DeveDriver::Box result = d.wait_for_box();
    ASSERT_NE(result.window, nullptr) << "no result after programming";
    EXPECT_EQ(result.text, "TX_PWR1 programmed and verified: readers now see 3,5. Free bits: 212.");
    ASSERT_TRUE(d.answer(result, IDOK));
    d.sync();
    EXPECT_EQ(d.text(IDC_EFUSE_RESULT), "success");
    d.click(IDC_EFUSE_READ);
    EXPECT_EQ(d.text(IDC_EFUSE_RESULT), "3,5");

    // The map in the panel: the record just programmed (bits 32-43) named
    // by the tooltip of its bits under the pointer.
    d.click(IDC_PICTURES);
    d.click(IDC_EFUSE_READ);
    EXPECT_TRUE(d.visible(IDC_FUSE_GRID));
    EXPECT_TRUE(contains(d.text(IDC_FUSE_STATUS), "Free: 212 bits")) << d.text(IDC_FUSE_STATUS);
    const double scale = GetDpiForWindow(d.dialog()) / 96.0;
    const deve::FuseGridRect cell = deve::fuse_grid_cell(36, pictures::fuse_metrics(scale));
    const RECT grid = d.place(IDC_FUSE_GRID);
    const int origin = pictures::fuse_grid_origin(scale);
    SetCursorPos(grid.left + origin + cell.x + cell.width / 2, grid.top + origin + cell.y + cell.height / 2);
    EXPECT_TRUE(DeveDriver::wait_until([&] { return contains(d.tooltip(), "TX_PWR1 = 3,5"); }, 5s))
        << "tooltip: " << d.tooltip();
    SetCursorPos(0, 0);
    EXPECT_TRUE(DeveDriver::wait_until([&] { return d.tooltip().empty(); }, 5s)) << d.tooltip();
    d.click(IDC_PICTURES);
}

TEST_F(DeveUi, ScriptLoadWritesItsRegisters) {
    DeveDriver &d = *deve_;
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring script = std::wstring(folder) + L"deve_ui_script.txt";
    // "DIList", the address at column 28, the value at column 39.
    std::string line = "DIList";
    line.resize(28, ' ');
    line += "CCB0A62C";
    line.resize(39, ' ');
    line += "12345678";
    FILE *file = _wfopen(script.c_str(), L"w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "%s\n//end\n", line.c_str());
    std::fclose(file);

    // The browse button opens the file prompt; cancelled, the path stays.
    d.post_click(IDC_SCRIPT_BROWSE);
    const DeveDriver::Box prompt = d.wait_for_box();
    ASSERT_NE(prompt.window, nullptr) << "no file prompt";
    EXPECT_EQ(prompt.title, "Register script");
    ASSERT_TRUE(d.answer(prompt, IDCANCEL));
    d.sync();
    EXPECT_EQ(d.text(IDC_SCRIPT_PATH), "");

    d.type(IDC_SCRIPT_PATH, to_utf8(script));
    const DeveDriver::Box done = click_for_box(IDC_LOAD_SCRIPT);
    ASSERT_NE(done.window, nullptr) << "no message after the script";
    EXPECT_TRUE(contains(done.text, "Done")) << done.text;
    EXPECT_TRUE(contains(done.text, "1 register written")) << done.text;
    ASSERT_TRUE(d.answer(done, IDOK));
    d.sync();
    _wremove(script.c_str());

    d.type(IDC_REG_ADDRESS, "CCB0A62C");
    d.click(IDC_REG_READ);
    EXPECT_EQ(d.text(IDC_READ_DATA), "12345678");
}

TEST_F(DeveUi, SystemMenuOpensTheAboutBox) {
    DeveDriver &d = *deve_;
    d.system_command(IDM_ABOUTBOX);
    const DeveDriver::Box about = d.wait_for_box();
    ASSERT_NE(about.window, nullptr) << "no about box";
    EXPECT_EQ(about.title, "關於 Deve");
    EXPECT_TRUE(contains(about.text, "Deve，1.0 版")) << about.text;
    ASSERT_TRUE(d.answer(about, IDOK));
}

TEST_F(DeveUi, CloseDisablesTheTestsAndOkEndsTheProgram) {
    DeveDriver &d = *deve_;
    d.click(IDC_CLOSE);
    EXPECT_EQ(d.text(IDC_PORT_STATUS), "Close Success");
    EXPECT_FALSE(d.enabled(IDC_TX_ON));
    EXPECT_FALSE(d.enabled(IDC_EFUSE_READ));
    EXPECT_TRUE(d.enabled(IDC_XTAL));
    d.click(ID_OK);
    EXPECT_EQ(d.wait_exit(20s), 0);
}

// The ways out, each on a Deve.exe of its own with a test running and the
// board's register trace (XOLT_TRACE=1) in a file: the program ends only
// after the transmitter and the receiver are stopped and the link closed,
// and the board then opens again at once, not refused as busy.
class DeveWaysOut : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        trace_ = std::wstring(folder) + L"deve_ui_trace.txt";
        deve_ = std::make_unique<DeveDriver>(
            own_folder() + L"Deve.exe",
            DeveDriver::Env{{L"XOLT_LIBRARY", own_folder() + L"xolt.dll"}, {L"XOLT_TRACE", L"1"}}, trace_);
        SetEnvironmentVariableW(L"XOLT_TRACE", nullptr);
        ASSERT_TRUE(deve_->ok()) << deve_->problem();
        deve_->click(IDC_OPEN);
        ASSERT_EQ(deve_->text(IDC_PORT_STATUS), "Open Success");
    }
    void TearDown() override {
        deve_.reset();
        _wremove(trace_.c_str());
    }

    // Once the program has ended: what its trace says of the radio at the
    // close, and a second open of the board.
    board_trace::Radio ended_safe() {
        EXPECT_EQ(deve_->wait_exit(30s), 0) << "the program did not end";
        std::string trace;
        if (FILE *file = _wfopen(trace_.c_str(), L"rb")) {
            char buffer[4096];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
                trace.append(buffer, got);
            }
            std::fclose(file);
        }
        const board_trace::Radio radio = board_trace::radio_of(trace);
        EXPECT_EQ(board_trace::unsafe_at_close(radio), "") << trace.substr(trace.size() > 3000 ? trace.size() - 3000 : 0);

        const std::string board = to_utf8(own_folder() + L"xolt.dll");
        const auto init = test_support::find_export_as<xolt_init_fn>(board, "xolt_init");
        const auto select = test_support::find_export_as<xolt_select_fn>(board, "xolt_select");
        const auto open = test_support::find_export_as<xolt_open_fn>(board, "xolt_open");
        const auto close = test_support::find_export_as<xolt_close_fn>(board, "xolt_close");
        EXPECT_TRUE(init && select && open && close);
        if (init && select && open && close) {
            EXPECT_EQ(init(), 0);
            EXPECT_EQ(select(XOLT_SELECT_USB), 0);
            EXPECT_EQ(open(), 0) << "the board was refused right after the program ended";
            close();
        }
        return radio;
    }

    std::wstring trace_;
    std::unique_ptr<DeveDriver> deve_;
};

TEST_F(DeveWaysOut, EscIsIgnoredAndTheCloseBoxStopsTxAndClosesTheLink) {
    DeveDriver &d = *deve_;
    d.click(IDC_TX_ON);
    d.press(IDC_TX_OFF, VK_ESCAPE);
    EXPECT_TRUE(d.running()) << "Esc ended the console";
    EXPECT_FALSE(watch_count(d, IDC_TX_PKT, 2500ms).empty()) << "the TX count stopped after Esc";
    d.system_command(SC_CLOSE);
    EXPECT_TRUE(ended_safe().transmitted);
}

TEST_F(DeveWaysOut, OkStopsRxAndClosesTheLink) {
    DeveDriver &d = *deve_;
    d.click(IDC_RX_ON);
    d.post_click(ID_OK);
    EXPECT_TRUE(ended_safe().received);
}

TEST_F(DeveWaysOut, TheEndOfTheSessionStopsTxAndRxAndClosesTheLink) {
    DeveDriver &d = *deve_;
    d.click(IDC_TX_ON);
    d.click(IDC_RX_ON);
    DWORD_PTR allowed = 0;
    SendMessageTimeoutW(d.dialog(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &allowed);
    EXPECT_EQ(allowed, TRUE);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(d.dialog(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &ignored);
    const board_trace::Radio radio = ended_safe();
    EXPECT_TRUE(radio.transmitted);
    EXPECT_TRUE(radio.received);
}

// Captions that fit: at the default UI font and the screen's DPI, every
// group caption, button caption and one-line static text of the dialog is
// narrower than its control, the texts the dialog shows in them later
// included. ctest runs it at 96 DPI; scripts/test-windows.sh runs it again
// in a prefix at 144 DPI, naming the DPI it must find in DEVE_UI_DPI.
// Texts the dialog puts in its statics after it starts: the longest of each.
std::vector<std::pair<int, std::string>> later_texts() {
    std::vector<std::pair<int, std::string>> out = {
        {IDC_PORT_STATUS, "Opening and calibrating..."},
        {IDC_PORT_STATUS, "Close Success"},
        {IDC_READ_DATA, "ffffffff"},
        {IDC_CHIP_ID, "NO Chip ID"},
        {IDC_TX_PKT, "4294967295"},
        {IDC_ERR_PKT, "65535"},
        {IDC_TOTAL_PKT, "65535"},
        {IDC_PER, "6553500.0%"},
        {IDC_MAC_TEXT, "No mac address"},
        {IDC_MAC_TEXT, "ff:ff:ff:ff:ff:ff"},
        {IDC_EFUSE_RESULT, "255,255"},
        {IDC_EFUSE_RESULT, "success"},
        {IDC_EFUSE_RANGE, "Empty: 224 bit"},
        {IDC_DPD_STATUS, "DPD Fail"},
        {IDC_SAR_CODE, "63"},
    };
    for (const deve::EfuseItem &item : deve::kEfuseItems) {
        out.emplace_back(IDC_EFUSE_FIRST_LABEL, item.first_label);
        out.emplace_back(IDC_EFUSE_SECOND_LABEL, item.second_label);
        out.emplace_back(IDC_EFUSE_RANGE, item.range_text);
    }
    return out;
}

TEST(DeveCaptions, ShowWholeAtTheScreensDpi) {
    {
        DeveDriver d(own_folder() + L"Deve.exe", DeveDriver::Env{{L"XOLT_LIBRARY", own_folder() + L"xolt.dll"}});
        ASSERT_TRUE(d.ok()) << d.problem();
        const UINT dpi = GetDpiForWindow(d.dialog());
        if (const char *wanted = std::getenv("DEVE_UI_DPI")) {
            ASSERT_EQ(dpi, std::strtoul(wanted, nullptr, 10)) << "the prefix is not at the DPI asked for";
        }
        const double scale = dpi / 96.0;

        // The dialog font, MS Shell Dlg 2 at 9 points, at this DPI.
        HDC dc = GetDC(nullptr);
        HFONT font = CreateFontW(-MulDiv(9, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH, L"MS Shell Dlg 2");
        HGDIOBJ previous = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const auto width_of = [&](std::wstring text, bool prefix) {
            if (prefix) {
                text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
            }
            SIZE size{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            return static_cast<int>(size.cx);
        };

        int checked = 0;
        const auto fits = [&](HWND control, const std::wstring &text) {
            wchar_t name[32] = {};
            GetClassNameW(control, name, 32);
            const LONG style = GetWindowLongW(control, GWL_STYLE);
            RECT client{};
            GetClientRect(control, &client);
            const int id = GetDlgCtrlID(control);
            int room = client.right;
            bool prefix = true;
            if (std::wstring(name) == L"Static") {
                if ((style & SS_TYPEMASK) > SS_RIGHT || client.bottom >= 2 * metrics.tmHeight) {
                    return;  // icons, and texts that wrap over lines
                }
                prefix = (style & SS_NOPREFIX) == 0;
            } else if (std::wstring(name) == L"Button") {
                // A group's caption starts inside the frame; a button's
                // text keeps clear of its border.
                room -= static_cast<int>(2 * ((style & BS_TYPEMASK) == BS_GROUPBOX ? 8 : 4) * scale);
            } else {
                return;
            }
            ++checked;
            EXPECT_LE(width_of(text, prefix), room)
                << "control " << id << " \"" << to_utf8(text) << "\" at " << dpi << " DPI";
        };
        for (HWND child = GetWindow(d.dialog(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[256] = {};
            SendMessageTimeoutW(child, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 20000, nullptr);
            fits(child, text);
        }
        for (const auto &[id, text] : later_texts()) {
            fits(d.item(id), to_wide(text));
        }
        EXPECT_GT(checked, 60) << "too few captions checked";
        SelectObject(dc, previous);
        DeleteObject(font);
        ReleaseDC(nullptr, dc);
        d.click(ID_OK);
        EXPECT_EQ(d.wait_exit(20s), 0);
    }
}

}  // namespace
