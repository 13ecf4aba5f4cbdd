// The dialog's layout, once for every skin: each control in tab order with
// its identifier (deve/resource.h), its kind, its caption (the `&` before a
// letter marks the mnemonic, Alt+letter), the group it belongs to and its
// place in dialog units (x, y, width, height; a drop-down list's height
// includes its open list). The Win32 skin's resource script (deve.rc) lays
// the same controls out in the same places, and a test holds it to this
// table; the Qt skin builds its groups from it.
//
// Two rules of the layout, as the resource script has them: a label sits
// just before the control it names (label_for), and an edit followed by a
// Browse button is one file-browse field.
#pragma once

#include "deve/resource.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deve {

enum class ControlKind {
    GroupBox,      // a frame with the group's caption
    Label,         // a fixed text; names the control after it
    Text,          // a text the dialog changes (results, counts, item names)
    Edit,          // a one-line edit
    DropDownList,  // a list the operator chooses from, not an edit
    Button,        // a push button
    Browse,        // the "..." button of the edit just before it
    ToggleButton,  // a push button that stays down while its state is on
    Picture,       // a drawn picture (chart, curves, fuse map)
    Tabs,          // a tab control
};

enum class ControlGroup {
    Port,       // "Port open"
    Register,   // "Reg W/R"
    Mac,        // "MAC Address"
    FreqRate,   // "Freq/Rate setting"
    TxRx,       // "TX/RX control"
    Efuse,      // "efuse"
    Option,     // "Option": the engineering controls, hidden at start
    Buttons,    // the bottom row: "Pictures" and 確定
    Pictures,   // the pictures panel right of the groups
};

// A rectangle in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down.
struct DialogPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlLayout {
    int id;  // IDC_STATIC for a label or frame no code reaches
    ControlKind kind;
    std::string_view caption;  // UTF-8, with its `&` mnemonic; empty for none
    ControlGroup group;
    DialogPlace place;
    // The accessible name of a control without a caption and without a
    // label before it (or whose label the dialog may empty); empty where the
    // caption or the label names it.
    std::string_view name = {};
};

// Every control of the dialog, in tab order.
const std::vector<ControlLayout> &dialog_layout();

// A control's entry; null for an identifier the table lacks (and for
// IDC_STATIC, which many entries share).
const ControlLayout *find_control(int id);

// The entries of one group, in tab order.
std::vector<const ControlLayout *> group_controls(ControlGroup group);

// Where a group lies: its frame's place (the group box, the tab control),
// or around its controls for a group without a frame.
DialogPlace group_place(ControlGroup group);

// The label entry that names the control at `index` of dialog_layout(): a
// Label, or a Text with a caption, just before it in the same group. Null
// when there is none.
const ControlLayout *label_for(std::size_t index);

// A caption as the screen shows it: without the mnemonic's `&` ("&&" stands
// for one `&`).
std::string without_mnemonic(std::string_view caption);

// The mnemonic letter of a caption, in lower case; none without one.
std::optional<char> mnemonic(std::string_view caption);

// Places arranged as cells of a grid, for a toolkit that lays out by rows and
// columns: places whose tops lie within a few dialog units of each other
// share a row, left edges likewise share a column, and a place spans the
// columns that start before its right edge.
struct GridCell {
    int row = 0;
    int column = 0;
    int column_span = 1;
};
std::vector<GridCell> grid_cells(const std::vector<DialogPlace> &places);

}  // namespace deve
