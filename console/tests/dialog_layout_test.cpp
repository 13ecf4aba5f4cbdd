// The dialog's layout table against the Win32 skin's resource script
// (deve.rc): the same controls in the same tab order, each with the same
// identifier, kind, caption and place, so that the two skins cannot drift;
// and the table's own rules (names, mnemonics, groups, grid).
#include "deve/dialog_layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using deve::ControlGroup;
using deve::ControlKind;
using deve::ControlLayout;
using deve::DialogPlace;

std::string read_file(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trim(const std::string &s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The identifiers the resource script names: "#define NAME value" lines of
// the dialog's header.
std::map<std::string, int> read_identifiers(const std::string &header) {
    std::map<std::string, int> ids{{"IDC_STATIC", -1}};
    std::istringstream lines(header);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string directive;
        std::string name;
        std::string value;
        if (words >> directive >> name >> value && directive == "#define" && value.find_first_not_of("0123456789") == std::string::npos) {
            ids[name] = std::stoi(value);
        }
    }
    return ids;
}

// One control statement of the resource script.
struct RcControl {
    std::string statement;  // GROUPBOX, LTEXT, CONTROL...
    std::string text;       // the caption; empty for an edit or a list
    std::string id;
    std::string window_class;  // CONTROL's class
    std::string style;
    DialogPlace place;
    int line = 0;
};

// The statement's arguments: split at commas outside quotes; a quoted text
// keeps its quotes.
std::vector<std::string> split_arguments(const std::string &text) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ',' && !quoted) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    for (std::string &a : out) {
        a = trim(a);
    }
    return out;
}

std::string unquote(const std::string &s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// The controls of IDD_DEVE_DIALOG, in the script's order. A statement goes on
// over the next line when its line ends with a comma or `|`.
std::vector<RcControl> read_dialog(const std::string &script) {
    std::vector<RcControl> controls;
    std::istringstream lines(script);
    std::string line;
    int number = 0;
    bool in_dialog = false;
    bool in_body = false;
    std::string pending;
    int pending_line = 0;
    while (std::getline(lines, line)) {
        ++number;
        // A comment ends the line (no caption of the dialog holds "//").
        if (const auto comment = line.find("//"); comment != std::string::npos) {
            line.erase(comment);
        }
        line = trim(line);
        if (!in_dialog) {
            in_dialog = line.rfind("IDD_DEVE_DIALOG ", 0) == 0;
            continue;
        }
        if (!in_body) {
            in_body = line == "BEGIN";
            continue;
        }
        if (pending.empty() && line == "END") {
            break;
        }
        if (line.empty()) {
            continue;
        }
        if (pending.empty()) {
            pending_line = number;
        }
        pending += (pending.empty() ? "" : " ") + line;
        if (line.back() == ',' || line.back() == '|') {
            continue;
        }
        RcControl c;
        c.line = pending_line;
        const auto space = pending.find_first_of(" \t");
        c.statement = pending.substr(0, space);
        std::vector<std::string> args = split_arguments(pending.substr(space + 1));
        pending.clear();
        std::size_t next = 0;
        const bool captioned = c.statement != "COMBOBOX" && c.statement != "EDITTEXT";
        if (captioned) {
            c.text = unquote(args.at(next++));
        }
        c.id = args.at(next++);
        if (c.statement == "CONTROL") {
            c.window_class = unquote(args.at(next++));
            c.style = args.at(next++);
        }
        c.place = {std::stoi(args.at(next)), std::stoi(args.at(next + 1)), std::stoi(args.at(next + 2)),
                   std::stoi(args.at(next + 3))};
        next += 4;
        if (c.statement != "CONTROL" && next < args.size()) {
            c.style = args[next];
        }
        controls.push_back(c);
    }
    return controls;
}

bool has_style(const RcControl &c, const std::string &flag) {
    std::istringstream words(c.style);
    std::string word;
    std::string before;
    while (words >> word) {
        if (word == flag && before != "NOT") {
            return true;
        }
        before = word;
    }
    return false;
}

// The table's kind of a script statement, by its statement, style and class.
std::string kind_in_script(const RcControl &c) {
    if (c.statement == "GROUPBOX") return "GroupBox";
    if (c.statement == "LTEXT") return has_style(c, "SS_NOPREFIX") ? "Text" : "Label";
    if (c.statement == "EDITTEXT") return "Edit";
    if (c.statement == "COMBOBOX" && has_style(c, "CBS_DROPDOWNLIST")) return "DropDownList";
    if (c.statement == "PUSHBUTTON") return "Button";
    if (c.statement == "AUTOCHECKBOX" && has_style(c, "BS_PUSHLIKE")) return "ToggleButton";
    if (c.statement == "CONTROL" && c.window_class == "DevePicture") return "Picture";
    if (c.statement == "CONTROL" && c.window_class == "SysTabControl32") return "Tabs";
    return "unknown " + c.statement + " " + c.window_class;
}

std::string kind_in_table(ControlKind kind) {
    switch (kind) {
    case ControlKind::GroupBox: return "GroupBox";
    case ControlKind::Label: return "Label";
    case ControlKind::Text: return "Text";
    case ControlKind::Edit: return "Edit";
    case ControlKind::DropDownList: return "DropDownList";
    // The script's browse button is a push button like any other.
    case ControlKind::Button:
    case ControlKind::Browse: return "Button";
    case ControlKind::ToggleButton: return "ToggleButton";
    case ControlKind::Picture: return "Picture";
    case ControlKind::Tabs: return "Tabs";
    }
    return "?";
}

bool inside(const DialogPlace &inner, const DialogPlace &outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

const std::vector<ControlLayout> &table() { return deve::dialog_layout(); }

TEST(DialogLayout, TheResourceScriptHasEveryControlOfTheTableAndNoOther) {
    const std::map<std::string, int> ids = read_identifiers(read_file(DEVE_RESOURCE_HEADER));
    ASSERT_GT(ids.size(), 70u) << DEVE_RESOURCE_HEADER;
    const std::vector<RcControl> script = read_dialog(read_file(DEVE_RESOURCE_SCRIPT));
    ASSERT_FALSE(script.empty()) << DEVE_RESOURCE_SCRIPT;

    for (std::size_t i = 0; i < std::max(script.size(), table().size()); ++i) {
        ASSERT_LT(i, script.size()) << "deve.rc lacks the table's control " << table()[i].id << " \""
                                    << table()[i].caption << "\" (entry " << i << ")";
        const RcControl &rc = script[i];
        const std::string where = "deve.rc line " + std::to_string(rc.line) + ": " + rc.statement + " " + rc.id;
        ASSERT_LT(i, table().size()) << where << ": not in the layout table";
        const ControlLayout &control = table()[i];
        ASSERT_EQ(ids.count(rc.id), 1u) << where << ": an identifier deve/resource.h does not define";
        EXPECT_EQ(ids.at(rc.id), control.id) << where;
        EXPECT_EQ(kind_in_script(rc), kind_in_table(control.kind)) << where;
        // A group caption has a space either side in the script (the frame
        // line stops short of the text).
        const std::string caption(control.caption);
        EXPECT_EQ(rc.text, control.kind == ControlKind::GroupBox ? " " + caption + " " : caption) << where;
        EXPECT_EQ(rc.place.x, control.place.x) << where;
        EXPECT_EQ(rc.place.y, control.place.y) << where;
        EXPECT_EQ(rc.place.width, control.place.width) << where;
        EXPECT_EQ(rc.place.height, control.place.height) << where;
    }
}

TEST(DialogLayout, EveryControlTheOperatorUsesHasANameAndMnemonicsAreUnique) {
    std::map<char, std::string> letters;
    for (std::size_t i = 0; i < table().size(); ++i) {
        const ControlLayout &c = table()[i];
        const bool used = c.kind == ControlKind::Edit || c.kind == ControlKind::DropDownList;
        if (used) {
            EXPECT_TRUE(deve::label_for(i) != nullptr || !c.name.empty()) << "control " << c.id << " has no name";
        }
        if (const std::optional<char> letter = deve::mnemonic(c.caption)) {
            EXPECT_TRUE(letters.emplace(*letter, std::string(c.caption)).second)
                << "\"" << c.caption << "\" and \"" << letters[*letter] << "\" share Alt+" << *letter;
            // A label with a mnemonic names the control after it.
            if (c.kind == ControlKind::Label) {
                ASSERT_LT(i + 1, table().size());
                EXPECT_EQ(deve::label_for(i + 1), &c) << c.caption;
            }
        }
        if (c.kind == ControlKind::Browse) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(table()[i - 1].kind, ControlKind::Edit) << "a browse button follows its edit";
        }
        if (c.id != IDC_STATIC) {
            EXPECT_EQ(deve::find_control(c.id), &c) << "identifier " << c.id << " twice";
        }
    }
    EXPECT_EQ(letters.size(), 19u);
    EXPECT_EQ(deve::without_mnemonic("Freq off&set"), "Freq offset");
    EXPECT_EQ(deve::without_mnemonic("R&&D"), "R&D");
    EXPECT_EQ(deve::mnemonic("R&&D"), std::nullopt);
    EXPECT_EQ(deve::mnemonic("P&IT(us)"), 'i');
}

TEST(DialogLayout, GroupsHoldTheirControlsAndDoNotOverlap) {
    constexpr ControlGroup kGroups[] = {ControlGroup::Port,   ControlGroup::Register, ControlGroup::Mac,
                                        ControlGroup::FreqRate, ControlGroup::TxRx,   ControlGroup::Efuse,
                                        ControlGroup::Option, ControlGroup::Buttons,  ControlGroup::Pictures};
    std::vector<DialogPlace> frames;
    for (ControlGroup group : kGroups) {
        const DialogPlace frame = deve::group_place(group);
        for (const ControlLayout *c : deve::group_controls(group)) {
            EXPECT_TRUE(inside(c->place, frame) || c->kind == ControlKind::DropDownList)
                << "control " << c->id << " \"" << c->caption << "\" outside its group";
        }
        for (const DialogPlace &other : frames) {
            const bool apart = frame.x >= other.x + other.width || other.x >= frame.x + frame.width ||
                               frame.y >= other.y + other.height || other.y >= frame.y + frame.height;
            EXPECT_TRUE(apart) << "groups overlap at " << frame.x << "," << frame.y;
        }
        frames.push_back(frame);

        // Laid out as a grid (the Qt skin's way), no two controls of a group
        // share a cell. The pictures lie over each other on their tabs.
        if (group == ControlGroup::Pictures) {
            continue;
        }
        std::vector<DialogPlace> places;
        for (const ControlLayout *c : deve::group_controls(group)) {
            if (c->kind != ControlKind::GroupBox) {
                places.push_back(c->place);
            }
        }
        const std::vector<deve::GridCell> cells = deve::grid_cells(places);
        std::set<std::pair<int, int>> taken;
        for (const deve::GridCell &cell : cells) {
            for (int column = cell.column; column < cell.column + cell.column_span; ++column) {
                EXPECT_TRUE(taken.emplace(cell.row, column).second)
                    << "two controls in row " << cell.row << ", column " << column;
            }
        }
    }
}

}  // namespace
