// The dialog's groups from the layout table.
#include "panels.h"

#include "controls.h"
#include "pictures_ids.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <vector>

namespace {

using deve::ControlKind;
using deve::ControlLayout;

// The narrowest edit: two hexadecimal digits in their frame.
constexpr int kNarrowestEdit = 36;

// Horizontal dialog units in pixels: a quarter of the font's average
// character width, as the Win32 dialog manager measures it.
int horizontalUnits(const QFontMetrics &metrics, int units) {
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int average = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    return units * average / 4;
}

// The accessible name of the control at `index` of the table: its label's
// text, or the table's name for it.
QString nameOf(std::size_t index) {
    const ControlLayout &control = deve::dialog_layout()[index];
    const ControlLayout *label = deve::label_for(index);
    if (label != nullptr) {
        return layoutText(deve::without_mnemonic(label->caption));
    }
    return layoutText(control.name);
}

// Makes one control; null for a control this skin shows elsewhere (the
// pictures) or makes as part of another (a browse button).
QWidget *makeControl(Controls &c, std::size_t index, const std::map<int, QWidget *> &provided) {
    const ControlLayout &control = deve::dialog_layout()[index];
    const QString caption = layoutText(control.caption);
    if (const auto it = provided.find(control.id); it != provided.end()) {
        return it->second;
    }
    switch (control.kind) {
    case ControlKind::GroupBox:
    case ControlKind::Browse:
    case ControlKind::Picture:
    case ControlKind::Tabs: return nullptr;
    case ControlKind::Label: {
        // A label with an identifier goes with its control (shown and
        // hidden with it): tagged, not one of the dialog's controls.
        auto *label = new QLabel(caption);
        if (control.id != IDC_STATIC) {
            tagPicture(label, control.id);
        }
        return label;
    }
    case ControlKind::Text: {
        QLabel *text = makeStatic(c, control.id);
        text->setText(caption);
        return text;
    }
    case ControlKind::Edit: {
        const std::vector<ControlLayout> &table = deve::dialog_layout();
        const bool browsed = index + 1 < table.size() && table[index + 1].kind == ControlKind::Browse;
        if (browsed) {
            // An edit with its browse button: one file field.
            const ControlLayout &browse = table[index + 1];
            auto *file = new FileBrowseEdit;
            c.add(control.id, file);
            file->edit()->setAccessibleName(nameOf(index));
            file->edit()->setAccessibleDescription(QString::number(control.id));
            file->browseButton()->setText(layoutText(browse.caption));
            tagPicture(file->browseButton(), browse.id);
            file->browseButton()->setAccessibleName(layoutText(browse.name));
            return file;
        }
        QLineEdit *edit = makeEdit(c, control.id, nameOf(index));
        // An edit whose label the dialog may empty is then named by the table.
        if (const ControlLayout *label = deve::label_for(index); label != nullptr && label->kind == ControlKind::Text) {
            edit->setProperty("unlabelledName", layoutText(control.name));
        }
        return edit;
    }
    case ControlKind::DropDownList: return makeList(c, control.id, nameOf(index));
    case ControlKind::Button: return makeButton(c, control.id, caption);
    case ControlKind::ToggleButton: return nullptr;  // the pictures panel's, provided
    }
    return nullptr;
}

}  // namespace

QWidget *buildGroup(Controls &c, deve::ControlGroup group, const QFontMetrics &metrics,
                    const std::map<int, QWidget *> &provided) {
    const std::vector<ControlLayout> &table = deve::dialog_layout();
    QWidget *frame = nullptr;
    std::vector<std::size_t> members;  // indices into the table
    std::vector<deve::DialogPlace> places;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlLayout &control = table[i];
        if (control.group != group) {
            continue;
        }
        if (control.kind == ControlKind::GroupBox) {
            frame = control.id != IDC_STATIC ? makeGroup(c, control.id, layoutText(control.caption))
                                             : makeGroup(layoutText(control.caption));
            continue;
        }
        if (control.kind == ControlKind::Browse && !places.empty()) {
            // Its edit's file field reaches over the button's place.
            deve::DialogPlace &edit = places.back();
            edit.width = control.place.x + control.place.width - edit.x;
            continue;
        }
        members.push_back(i);
        places.push_back(control.place);
    }
    if (frame == nullptr) {
        frame = new QWidget;
    }
    auto *grid = new QGridLayout(frame);
    if (qobject_cast<QGroupBox *>(frame) == nullptr) {
        grid->setContentsMargins(0, 0, 0, 0);
    }
    const std::vector<deve::GridCell> cells = deve::grid_cells(places);
    std::map<std::size_t, QWidget *> made;
    for (std::size_t m = 0; m < members.size(); ++m) {
        const std::size_t index = members[m];
        QWidget *widget = makeControl(c, index, provided);
        if (widget == nullptr) {
            continue;
        }
        made[index] = widget;
        if (table[index].kind == ControlKind::Edit && qobject_cast<QLineEdit *>(widget) != nullptr) {
            // An edit is about as wide as the table has it (a line edit would
            // rather be wide enough for a sentence), with room for its frame.
            widget->setMaximumWidth(std::max(kNarrowestEdit, horizontalUnits(metrics, places[m].width) * 5 / 4));
        }
        const deve::GridCell &cell = cells[m];
        grid->addWidget(widget, cell.row, cell.column, 1, cell.column_span);
    }
    // Each label names the control after it: Alt with its mnemonic moves
    // there, and the control's accessible name is the label's text.
    for (const auto &[index, widget] : made) {
        if (deve::label_for(index) != nullptr && made.count(index - 1) != 0) {
            if (auto *label = qobject_cast<QLabel *>(made[index - 1])) {
                auto *file = qobject_cast<FileBrowseEdit *>(widget);
                label->setBuddy(file != nullptr ? file->edit() : widget);
            }
        }
    }
    return frame;
}
