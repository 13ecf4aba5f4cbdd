// The Qt skin's control surface: the dialog's behaviour (deve::DeveDialog)
// reaches the Qt widgets through it, by control identifier.
#pragma once

#include "controls.h"

#include "deve/dialog_surface.h"

#include <QObject>

#include <array>
#include <functional>

class Prompter;
class QDialog;
class QTimer;

class QtSurface final : public QObject, public deve::DialogSurface {
    Q_OBJECT

public:
    // `dialog`, `controls` and `prompter` outlive the surface. `tick` runs on
    // every timeout of timer 0 or 1, with its identifier.
    QtSurface(QDialog &dialog, Controls &controls, Prompter &prompter, std::function<void(int id)> tick);

    bool isTimerRunning(int id) const;

    std::string text(int id) const override;
    void set_text(int id, const std::string &text) override;
    void clear_list(int id) override;
    void insert_item(int id, int position, const std::string &text) override;
    int item_count(int id) const override;
    int selection(int id) const override;
    void select(int id, int position) override;
    void enable(int id, bool enabled) override;
    void set_visible(int id, bool visible) override;
    void set_input_rule(int id, const deve::InputRule &rule) override;
    void start_timer(int id, unsigned period_ms) override;
    void stop_timer(int id) override;
    void message(deve::MessageKind kind, const std::string &text, const std::string &details) override;
    bool confirm(const std::string &title, const std::string &text, const std::string &action) override;
    std::optional<std::string> choose_file_to_open(const std::string &title, const std::string &initial,
                                                   const std::vector<deve::FileFilter> &filters) override;
    void set_busy(bool busy) override;
    void end_dialog() override;

private:
    QWidget *at(int id) const;
    QTimer *timer(int id) const;

    QDialog &dialog_;
    Controls &controls_;
    Prompter &prompter_;
    std::array<QTimer *, 2> timers_{};
};
