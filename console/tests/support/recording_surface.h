// A control surface that keeps every control's state in memory, records the
// message boxes and answers the questions, and the operator's hands on a
// DeveDialog over it: controls clicked, chosen, typed into and read by
// identifier. Standard C++ only, so the dialog's behaviour tests run wherever
// the core builds.
#pragma once

#include "deve/dialog.h"
#include "deve/dialog_surface.h"
#include "deve/library_presence.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fake {

class RecordingSurface final : public deve::DialogSurface {
public:
    struct Control {
        std::string text;
        std::vector<std::string> items;
        int selection = -1;
        bool enabled = true;
        bool visible = true;
        std::optional<deve::InputRule> rule;
    };
    struct Box {
        std::string kind;  // "information", "warning" or "confirm"
        std::string text;
        std::string details;
    };

    std::map<int, Control> controls;
    std::map<int, unsigned> timers;  // running timers and their periods
    std::vector<Box> boxes;
    bool answer = true;                       // to every question
    std::optional<std::string> chosen_file;   // what the file prompt returns
    bool busy = false;
    bool ended = false;

    std::string text(int id) const override;
    void set_text(int id, const std::string &text) override { controls[id].text = text; }
    void clear_list(int id) override;
    void insert_item(int id, int position, const std::string &text) override;
    int item_count(int id) const override;
    int selection(int id) const override;
    void select(int id, int position) override;
    void enable(int id, bool enabled) override { controls[id].enabled = enabled; }
    void set_visible(int id, bool visible) override { controls[id].visible = visible; }
    void set_input_rule(int id, const deve::InputRule &rule) override { controls[id].rule = rule; }
    void start_timer(int id, unsigned period_ms) override { timers[id] = period_ms; }
    void stop_timer(int id) override { timers.erase(id); }
    void message(deve::MessageKind kind, const std::string &text, const std::string &details) override;
    bool confirm(const std::string &title, const std::string &text, const std::string &action) override;
    std::optional<std::string> choose_file_to_open(const std::string &title, const std::string &initial,
                                                   const std::vector<deve::FileFilter> &filters) override;
    void set_busy(bool on) override { busy = on; }
    void end_dialog() override { ended = true; }

    // The message boxes since the last take, and clearing them.
    std::vector<Box> take_boxes();
};

// A dialog over a recording surface, initialised, and the operator's hands.
class DialogRig {
public:
    explicit DialogRig(deve::RfApi &api, const std::string &library_file = deve::velmo_library_file(),
                       deve::DialogObserver *observer = nullptr);

    RecordingSurface surface;
    deve::DeveDialog dialog;

    // A click as the operator makes it: nothing happens on a disabled button.
    void click(int id);
    // The operator picks an item of an enabled list.
    void choose(int id, int position);
    void choose_text(int id, const std::string &text);
    // Sets an edit's text (as pasting a whole text would, past its rule).
    void type(int id, const std::string &text) { surface.set_text(id, text); }
    // Types key by key after the edit's text: a key that would break the
    // edit's input rule is refused, as both skins refuse it.
    void keys(int id, const std::string &keys);
    std::string text(int id) const { return surface.text(id); }
    const RecordingSurface::Control &control(int id) { return surface.controls[id]; }
    bool enabled(int id) { return control(id).enabled; }
    bool visible(int id) { return control(id).visible; }
    std::vector<std::string> items(int id) { return control(id).items; }
};

}  // namespace fake
