// The dialog's controls in tab order, as the resource script lays them out.
#include "deve/dialog_layout.h"

#include <algorithm>
#include <cctype>

namespace deve {

namespace {

using K = ControlKind;
using G = ControlGroup;

// Tops (rows) and left edges (columns) this close together line up.
constexpr int kAlignSlack = 4;

}  // namespace

const std::vector<ControlLayout> &dialog_layout() {
    static const std::vector<ControlLayout> table{
        // ---- Port open
        {IDC_STATIC, K::GroupBox, "Port open", G::Port, {7, 7, 148, 62}},
        {IDC_STATIC, K::Label, "&Port", G::Port, {14, 21, 30, 8}},
        {IDC_PORT, K::DropDownList, "", G::Port, {46, 19, 50, 60}},
        {IDC_STATIC, K::Label, "S&upply", G::Port, {14, 37, 30, 8}},
        {IDC_SUPPLY, K::DropDownList, "", G::Port, {46, 35, 50, 60}},
        {IDC_OPEN, K::Button, "&OPEN", G::Port, {102, 18, 46, 14}},
        {IDC_CLOSE, K::Button, "&CLOSE", G::Port, {102, 34, 46, 14}},
        {IDC_PORT_STATUS, K::Text, "", G::Port, {14, 54, 134, 8}},

        // ---- Reg W/R
        {IDC_STATIC, K::GroupBox, "Reg W/R", G::Register, {161, 7, 148, 62}},
        {IDC_STATIC, K::Label, "&Address", G::Register, {168, 21, 30, 8}},
        {IDC_REG_ADDRESS, K::Edit, "", G::Register, {200, 19, 56, 12}},
        {IDC_STATIC, K::Label, "&Value", G::Register, {168, 37, 30, 8}},
        {IDC_REG_VALUE, K::Edit, "", G::Register, {200, 35, 56, 12}},
        {IDC_REG_WRITE, K::Button, "REG Write", G::Register, {260, 18, 44, 14}},
        {IDC_REG_READ, K::Button, "REG Read", G::Register, {260, 34, 44, 14}},
        {IDC_READ_DATA, K::Text, "", G::Register, {200, 54, 104, 8}},

        // ---- MAC Address
        {IDC_STATIC, K::GroupBox, "MAC Address", G::Mac, {315, 7, 147, 62}},
        {IDC_MAC_BYTE0, K::Edit, "", G::Mac, {322, 19, 18, 12}, "MAC byte 0"},
        {IDC_MAC_BYTE1, K::Edit, "", G::Mac, {344, 19, 18, 12}, "MAC byte 1"},
        {IDC_MAC_BYTE2, K::Edit, "", G::Mac, {366, 19, 18, 12}, "MAC byte 2"},
        {IDC_MAC_BYTE3, K::Edit, "", G::Mac, {388, 19, 18, 12}, "MAC byte 3"},
        {IDC_MAC_BYTE4, K::Edit, "", G::Mac, {410, 19, 18, 12}, "MAC byte 4"},
        {IDC_MAC_BYTE5, K::Edit, "", G::Mac, {432, 19, 18, 12}, "MAC byte 5"},
        {IDC_MAC_TEXT, K::Text, "", G::Mac, {322, 36, 134, 8}},
        {IDC_MAC_READ, K::Button, "MAC Read", G::Mac, {322, 48, 60, 14}},
        {IDC_MAC_WRITE, K::Button, "MAC Write", G::Mac, {390, 48, 60, 14}},

        // ---- Freq/Rate setting
        {IDC_STATIC, K::GroupBox, "Freq/Rate setting", G::FreqRate, {7, 74, 148, 146}},
        {IDC_STATIC, K::Label, "Xta&l", G::FreqRate, {14, 90, 34, 8}},
        {IDC_XTAL, K::DropDownList, "", G::FreqRate, {50, 88, 98, 80}},
        {IDC_STATIC, K::Label, "&2G/5G", G::FreqRate, {14, 107, 34, 8}},
        {IDC_BAND, K::DropDownList, "", G::FreqRate, {50, 105, 98, 60}},
        {IDC_STATIC, K::Label, "C&hannel", G::FreqRate, {14, 124, 34, 8}},
        {IDC_CHANNEL, K::DropDownList, "", G::FreqRate, {50, 122, 98, 150}},
        {IDC_STATIC, K::Label, "&Mode", G::FreqRate, {14, 141, 34, 8}},
        {IDC_MODE, K::DropDownList, "", G::FreqRate, {50, 139, 98, 80}},
        {IDC_STATIC, K::Label, "Rat&e", G::FreqRate, {14, 158, 34, 8}},
        {IDC_RATE, K::DropDownList, "", G::FreqRate, {50, 156, 98, 120}},
        {IDC_STATIC, K::Label, "RF &Gain", G::FreqRate, {14, 175, 34, 8}},
        {IDC_RF_GAIN, K::DropDownList, "", G::FreqRate, {50, 173, 98, 120}},
        {IDC_STATIC, K::Label, "Chip ID", G::FreqRate, {14, 194, 34, 8}},
        {IDC_CHIP_ID, K::Text, "", G::FreqRate, {50, 194, 98, 8}},

        // ---- TX/RX control
        {IDC_STATIC, K::GroupBox, "TX/RX control", G::TxRx, {161, 74, 148, 146}},
        {IDC_TX_ON, K::Button, "&TX ON", G::TxRx, {168, 87, 64, 14}},
        {IDC_TX_OFF, K::Button, "TX O&FF", G::TxRx, {238, 87, 64, 14}},
        {IDC_RX_ON, K::Button, "&RX ON", G::TxRx, {168, 104, 64, 14}},
        {IDC_RX_OFF, K::Button, "R&X OFF", G::TxRx, {238, 104, 64, 14}},
        {IDC_STATIC, K::Label, "TX Pkt", G::TxRx, {168, 124, 40, 8}},
        {IDC_TX_PKT, K::Text, "", G::TxRx, {212, 124, 90, 8}},
        {IDC_STATIC, K::Label, "Err", G::TxRx, {168, 136, 40, 8}},
        {IDC_ERR_PKT, K::Text, "", G::TxRx, {212, 136, 90, 8}},
        {IDC_STATIC, K::Label, "Total", G::TxRx, {168, 148, 40, 8}},
        {IDC_TOTAL_PKT, K::Text, "", G::TxRx, {212, 148, 90, 8}},
        {IDC_STATIC, K::Label, "PER", G::TxRx, {168, 160, 40, 8}},
        {IDC_PER, K::Text, "", G::TxRx, {212, 160, 90, 8}},
        {IDC_STATIC, K::Label, "Freq off&set", G::TxRx, {168, 176, 42, 8}},
        {IDC_FREQ_OFFSET, K::Edit, "", G::TxRx, {212, 174, 50, 12}},
        {IDC_STATIC, K::Label, "P&IT(us)", G::TxRx, {168, 192, 42, 8}},
        {IDC_PIT, K::Edit, "", G::TxRx, {212, 190, 50, 12}},
        {IDC_STATIC, K::Label, "&DAC", G::TxRx, {168, 208, 42, 8}},
        {IDC_DAC, K::DropDownList, "", G::TxRx, {212, 206, 50, 120}},

        // ---- efuse: the value labels change with the item
        {IDC_STATIC, K::GroupBox, "efuse", G::Efuse, {315, 74, 147, 146}},
        {IDC_STATIC, K::Label, "Item", G::Efuse, {322, 90, 44, 8}},
        {IDC_EFUSE_ITEM, K::DropDownList, "", G::Efuse, {370, 88, 84, 80}},
        {IDC_EFUSE_FIRST_LABEL, K::Text, "5200 PWR", G::Efuse, {322, 107, 46, 8}},
        {IDC_EFUSE_FIRST, K::Edit, "", G::Efuse, {370, 105, 40, 12}, "first value"},
        {IDC_EFUSE_SECOND_LABEL, K::Text, "2400 PWR", G::Efuse, {322, 124, 46, 8}},
        {IDC_EFUSE_SECOND, K::Edit, "", G::Efuse, {370, 122, 40, 12}, "second value"},
        {IDC_EFUSE_RESULT, K::Text, "", G::Efuse, {322, 142, 132, 8}},
        {IDC_EFUSE_RANGE, K::Text, "", G::Efuse, {322, 156, 132, 8}},
        {IDC_EFUSE_WRITE, K::Button, "Efuse write", G::Efuse, {322, 172, 60, 14}},
        {IDC_EFUSE_READ, K::Button, "Efuse read", G::Efuse, {390, 172, 60, 14}},

        // ---- Option: the engineering controls, shown by TX ON with 624
        {IDC_OPTION_GROUP, K::GroupBox, "Option", G::Option, {7, 224, 455, 52}},
        {IDC_DPD, K::Button, "DPD ON/OFF", G::Option, {14, 236, 56, 14}},
        {IDC_DPD_STATUS, K::Text, "", G::Option, {74, 239, 70, 8}},
        {IDC_SAR, K::Button, "SAR", G::Option, {150, 236, 40, 14}},
        {IDC_SAR_CODE, K::Text, "", G::Option, {194, 239, 30, 8}},
        {IDC_BRATE_GAIN_LABEL, K::Label, "11b gain", G::Option, {228, 239, 34, 8}},
        {IDC_BRATE_GAIN, K::DropDownList, "", G::Option, {264, 237, 50, 120}},
        {IDC_A62C_VALUE, K::Edit, "", G::Option, {330, 237, 60, 12}, "A62C value"},
        {IDC_A62C_WRITE, K::Button, "A62C_W", G::Option, {396, 236, 58, 14}},
        {IDC_LOAD_SCRIPT, K::Button, "Load script", G::Option, {14, 254, 56, 14}},
        {IDC_SCRIPT_PATH, K::Edit, "", G::Option, {74, 255, 220, 12}, "Script file"},
        {IDC_SCRIPT_BROWSE, K::Browse, "...", G::Option, {296, 254, 18, 14}, "Browse"},
        {IDC_A630_VALUE, K::Edit, "", G::Option, {330, 255, 60, 12}, "A630 value"},
        {IDC_A630_WRITE, K::Button, "A630_W", G::Option, {396, 254, 58, 14}},

        // ---- the bottom row
        {IDC_PICTURES, K::ToggleButton, "Pictures", G::Buttons, {356, 284, 50, 14}},
        {ID_OK, K::Button, "確定", G::Buttons, {412, 284, 50, 14}},

        // ---- Pictures: right of the groups; the pictures and their texts
        // lie over the tab control's page, so they come before it
        {IDC_RX_CHART, K::Picture, "Receive chart: packet error rate and frames per second", G::Pictures,
         {473, 25, 230, 226}},
        {IDC_RX_SUMMARY, K::Text, "", G::Pictures, {473, 254, 230, 40}},
        {IDC_PADPD_GAIN, K::Picture, "AM-AM curves: gain against TX scale", G::Pictures, {473, 25, 230, 96}},
        {IDC_PADPD_PHASE, K::Picture, "AM-PM curves: phase offset against TX scale", G::Pictures,
         {473, 123, 230, 128}},
        {IDC_PADPD_STATUS, K::Text, "", G::Pictures, {473, 254, 230, 40}},
        {IDC_FUSE_GRID, K::Picture, "eFuse map: 256 fuse bits coloured by record", G::Pictures, {473, 25, 230, 124}},
        {IDC_FUSE_STATUS, K::Text, "", G::Pictures, {473, 152, 230, 40}},
        {IDC_PICTURE_TABS, K::Tabs, "Pictures panel", G::Pictures, {469, 7, 238, 291}},
    };
    return table;
}

const ControlLayout *find_control(int id) {
    if (id == IDC_STATIC) {
        return nullptr;
    }
    const std::vector<ControlLayout> &table = dialog_layout();
    const auto it = std::find_if(table.begin(), table.end(), [id](const ControlLayout &c) { return c.id == id; });
    return it == table.end() ? nullptr : &*it;
}

std::vector<const ControlLayout *> group_controls(ControlGroup group) {
    std::vector<const ControlLayout *> out;
    for (const ControlLayout &control : dialog_layout()) {
        if (control.group == group) {
            out.push_back(&control);
        }
    }
    return out;
}

DialogPlace group_place(ControlGroup group) {
    const std::vector<const ControlLayout *> controls = group_controls(group);
    for (const ControlLayout *c : controls) {
        if (c->kind == ControlKind::GroupBox || c->kind == ControlKind::Tabs) {
            return c->place;
        }
    }
    if (controls.empty()) {
        return {};
    }
    int left = controls.front()->place.x;
    int top = controls.front()->place.y;
    int right = left;
    int bottom = top;
    for (const ControlLayout *c : controls) {
        left = std::min(left, c->place.x);
        top = std::min(top, c->place.y);
        right = std::max(right, c->place.x + c->place.width);
        bottom = std::max(bottom, c->place.y + c->place.height);
    }
    return {left, top, right - left, bottom - top};
}

const ControlLayout *label_for(std::size_t index) {
    const std::vector<ControlLayout> &table = dialog_layout();
    if (index == 0 || index >= table.size()) {
        return nullptr;
    }
    const ControlLayout &before = table[index - 1];
    const ControlLayout &control = table[index];
    const bool names = before.kind == ControlKind::Label || (before.kind == ControlKind::Text && !before.caption.empty());
    const bool named = control.kind != ControlKind::Label && control.kind != ControlKind::GroupBox;
    return names && named && before.group == control.group ? &before : nullptr;
}

std::string without_mnemonic(std::string_view caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
        }
        out += caption[i];
    }
    return out;
}

std::optional<char> mnemonic(std::string_view caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') {
            continue;
        }
        if (caption[i + 1] != '&') {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
        }
        ++i;  // "&&": a plain `&`
    }
    return std::nullopt;
}

std::vector<GridCell> grid_cells(const std::vector<DialogPlace> &places) {
    // The row and column starts: each a run of values within the slack of
    // the run's first.
    const auto starts = [](std::vector<int> values) {
        std::sort(values.begin(), values.end());
        std::vector<int> out;
        for (int v : values) {
            if (out.empty() || v > out.back() + kAlignSlack) {
                out.push_back(v);
            }
        }
        return out;
    };
    std::vector<int> tops;
    std::vector<int> lefts;
    for (const DialogPlace &p : places) {
        tops.push_back(p.y);
        lefts.push_back(p.x);
    }
    const std::vector<int> rows = starts(tops);
    const std::vector<int> columns = starts(lefts);
    // The last start at or before a value (within the slack).
    const auto index_of = [](const std::vector<int> &list, int value) {
        int index = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] <= value + kAlignSlack) {
                index = static_cast<int>(i);
            }
        }
        return index;
    };
    std::vector<GridCell> cells;
    for (const DialogPlace &p : places) {
        GridCell cell;
        cell.row = index_of(rows, p.y);
        cell.column = index_of(columns, p.x);
        const int last = index_of(columns, p.x + p.width - 1 - kAlignSlack);
        cell.column_span = std::max(1, last - cell.column + 1);
        cells.push_back(cell);
    }
    return cells;
}

}  // namespace deve
