#include "recording_surface.h"

#include <algorithm>

namespace fake {

std::string RecordingSurface::text(int id) const {
    const auto it = controls.find(id);
    if (it == controls.end()) {
        return {};
    }
    const Control &c = it->second;
    if (c.items.empty() && c.selection < 0) {
        return c.text;
    }
    // A list: its selected item.
    return c.selection >= 0 && c.selection < static_cast<int>(c.items.size())
               ? c.items[static_cast<std::size_t>(c.selection)]
               : std::string();
}

void RecordingSurface::clear_list(int id) {
    controls[id].items.clear();
    controls[id].selection = -1;
}

void RecordingSurface::insert_item(int id, int position, const std::string &text) {
    std::vector<std::string> &items = controls[id].items;
    const auto at = std::min(static_cast<std::size_t>(std::max(position, 0)), items.size());
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), text);
}

int RecordingSurface::item_count(int id) const {
    const auto it = controls.find(id);
    return it == controls.end() ? 0 : static_cast<int>(it->second.items.size());
}

int RecordingSurface::selection(int id) const {
    const auto it = controls.find(id);
    return it == controls.end() ? -1 : it->second.selection;
}

void RecordingSurface::select(int id, int position) {
    Control &c = controls[id];
    c.selection = position >= 0 && position < static_cast<int>(c.items.size()) ? position : -1;
}

void RecordingSurface::message(deve::MessageKind kind, const std::string &text, const std::string &details) {
    boxes.push_back({kind == deve::MessageKind::Information ? "information" : "warning", text, details});
}

bool RecordingSurface::confirm(const std::string &, const std::string &text, const std::string &) {
    boxes.push_back({"confirm", text, {}});
    return answer;
}

std::optional<std::string> RecordingSurface::choose_file_to_open(const std::string &, const std::string &,
                                                                 const std::vector<deve::FileFilter> &) {
    boxes.push_back({"open file", {}, {}});
    return chosen_file;
}

std::vector<RecordingSurface::Box> RecordingSurface::take_boxes() {
    std::vector<Box> out;
    out.swap(boxes);
    return out;
}

DialogRig::DialogRig(deve::RfApi &api, const std::string &library_file, deve::DialogObserver *observer)
    : dialog(api, surface, library_file, observer) {
    dialog.init();
}

void DialogRig::click(int id) {
    if (surface.controls[id].enabled) {
        dialog.notify(id, deve::Notify::Clicked);
    }
}

void DialogRig::choose(int id, int position) {
    if (surface.controls[id].enabled) {
        surface.select(id, position);
        dialog.notify(id, deve::Notify::SelChange);
    }
}

void DialogRig::choose_text(int id, const std::string &text) {
    const std::vector<std::string> &list = surface.controls[id].items;
    choose(id, static_cast<int>(std::find(list.begin(), list.end(), text) - list.begin()));
}

void DialogRig::keys(int id, const std::string &keys) {
    RecordingSurface::Control &c = surface.controls[id];
    const deve::InputRule rule = c.rule.value_or(deve::InputRule{});
    for (char key : keys) {
        const std::string typed = deve::normalise_input(rule, c.text + key);
        if (deve::accepts_input(rule, typed)) {
            c.text = typed;
        }
    }
}

}  // namespace fake
