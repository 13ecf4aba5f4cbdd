#include "qt_surface.h"

#include "prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>

namespace {

QString qs(const std::string &text) { return QString::fromStdString(text); }

// QLineEdit's own limit, for edits whose rule sets none.
constexpr int kUnlimitedLength = 32767;

}  // namespace

QtSurface::QtSurface(QDialog &dialog, Controls &controls, Prompter &prompter, std::function<void(int)> tick)
    : QObject(&dialog), dialog_(dialog), controls_(controls), prompter_(prompter) {
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        timers_[i] = new QTimer(this);
        const int id = static_cast<int>(i);
        connect(timers_[i], &QTimer::timeout, this, [tick, id] { tick(id); });
    }
}

QWidget *QtSurface::at(int id) const {
    QWidget *widget = controls_.at(id);
    Q_ASSERT_X(widget != nullptr, "QtSurface", "the dialog names an unknown control");
    return widget;
}

QTimer *QtSurface::timer(int id) const { return timers_.at(static_cast<std::size_t>(id)); }

bool QtSurface::isTimerRunning(int id) const { return timer(id)->isActive(); }

std::string QtSurface::text(int id) const { return controls_.text(id).toStdString(); }

void QtSurface::set_text(int id, const std::string &text) {
    controls_.setText(id, qs(text));
    // An edit is named after the label beside it, which the dialog changes.
    if (auto *label = qobject_cast<QLabel *>(at(id)); label != nullptr && label->buddy() != nullptr) {
        QWidget *edit = label->buddy();
        edit->setAccessibleName(text.empty() ? edit->property("unlabelledName").toString() : qs(text));
    }
}

void QtSurface::clear_list(int id) { controls_.as<QComboBox>(id)->clear(); }

void QtSurface::insert_item(int id, int position, const std::string &text) {
    controls_.as<QComboBox>(id)->insertItem(position, qs(text));
}

int QtSurface::item_count(int id) const { return controls_.as<QComboBox>(id)->count(); }

int QtSurface::selection(int id) const { return controls_.as<QComboBox>(id)->currentIndex(); }

// Selecting from the program emits no `activated`, so no handler runs.
void QtSurface::select(int id, int position) { controls_.as<QComboBox>(id)->setCurrentIndex(position); }

void QtSurface::enable(int id, bool enabled) { at(id)->setEnabled(enabled); }

// A label beside a control shows and hides with it.
void QtSurface::set_visible(int id, bool visible) {
    QWidget *widget = at(id);
    widget->setVisible(visible);
    for (QLabel *label : dialog_.findChildren<QLabel *>()) {
        if (label->buddy() == widget) {
            label->setVisible(visible);
        }
    }
}

void QtSurface::set_input_rule(int id, const deve::InputRule &rule) {
    auto *edit = qobject_cast<QLineEdit *>(at(id));
    Q_ASSERT_X(edit != nullptr, "QtSurface", "an input rule for a control that is not an edit");
    edit->setValidator(new RuleValidator(rule, edit));
    const int length = deve::max_input_length(rule);
    edit->setMaxLength(length > 0 ? length : kUnlimitedLength);
}

void QtSurface::start_timer(int id, unsigned period_ms) { timer(id)->start(static_cast<int>(period_ms)); }

void QtSurface::stop_timer(int id) { timer(id)->stop(); }

void QtSurface::message(deve::MessageKind kind, const std::string &text, const std::string &details) {
    switch (kind) {
    case deve::MessageKind::Information: prompter_.inform(&dialog_, qs(text), qs(details)); break;
    case deve::MessageKind::Warning:
        prompter_.warn(&dialog_, details.empty() ? qs(text) : qs(text + "\n\n" + details));
        break;
    }
}

bool QtSurface::confirm(const std::string &title, const std::string &text, const std::string &action) {
    return prompter_.confirm(&dialog_, qs(title), qs(text), qs(action));
}

std::optional<std::string> QtSurface::choose_file_to_open(const std::string &title, const std::string &initial,
                                                          const std::vector<deve::FileFilter> &filters) {
    QStringList choices;
    for (const deve::FileFilter &filter : filters) {
        choices << qs(filter.label + " (" + filter.pattern + ")");
    }
    const QString file = QFileDialog::getOpenFileName(&dialog_, qs(title), qs(initial), choices.join(QStringLiteral(";;")));
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return file.toStdString();
}

void QtSurface::set_busy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        dialog_.repaint();
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtSurface::end_dialog() { dialog_.accept(); }
