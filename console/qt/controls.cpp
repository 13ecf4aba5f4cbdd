#include "controls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

void Controls::add(int id, QWidget *widget) {
    widgets_[id] = widget;
    widget->setObjectName(QStringLiteral("control%1").arg(id));
    widget->setProperty("controlId", id);
    widget->setAccessibleDescription(QString::number(id));
}

QWidget *Controls::at(int id) const {
    const auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : it->second;
}

QString Controls::text(int id) const {
    QWidget *w = at(id);
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        return edit->text();
    }
    if (auto *label = qobject_cast<QLabel *>(w)) {
        return label->text();
    }
    if (auto *list = qobject_cast<QComboBox *>(w)) {
        return list->currentText();
    }
    if (auto *file = qobject_cast<FileBrowseEdit *>(w)) {
        return file->text();
    }
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        return button->text();
    }
    return {};
}

void Controls::setText(int id, const QString &text) {
    QWidget *w = at(id);
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        edit->setText(text);
    } else if (auto *label = qobject_cast<QLabel *>(w)) {
        label->setText(text);
    } else if (auto *file = qobject_cast<FileBrowseEdit *>(w)) {
        file->setText(text);
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
        button->setText(text);
    }
}

FileBrowseEdit::FileBrowseEdit(QWidget *parent)
    : QWidget(parent), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(edit_, 1);
    layout->addWidget(browse_);
    browse_->setText(QStringLiteral("..."));
    browse_->setAccessibleName(QStringLiteral("Browse"));
    setFocusProxy(edit_);
    connect(browse_, &QToolButton::clicked, this, &FileBrowseEdit::browseRequested);
}

QString FileBrowseEdit::text() const { return edit_->text(); }

void FileBrowseEdit::setText(const QString &text) { edit_->setText(text); }

QValidator::State RuleValidator::validate(QString &input, int &) const {
    const std::string text = deve::normalise_input(rule_, input.toStdString());
    if (!deve::accepts_input(rule_, text)) {
        return Invalid;
    }
    input = QString::fromStdString(text);
    return Acceptable;
}

void RuleValidator::fixup(QString &input) const {
    input = QString::fromStdString(deve::normalise_input(rule_, input.toStdString()));
}

QPushButton *makeButton(Controls &controls, int id, const QString &caption) {
    auto *button = new QPushButton(caption);
    button->setAutoDefault(false);
    // The caption without its mnemonic's `&`; Alt with the letter is
    // reported beside it.
    button->setAccessibleName(QString(caption).remove(QRegularExpression(QStringLiteral("&(?!&)"))));
    controls.add(id, button);
    return button;
}

QLineEdit *makeEdit(Controls &controls, int id, const QString &label) {
    auto *edit = new QLineEdit;
    edit->setAccessibleName(label);
    controls.add(id, edit);
    return edit;
}

QComboBox *makeList(Controls &controls, int id, const QString &label) {
    auto *list = new QComboBox;
    list->setAccessibleName(label);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    controls.add(id, list);
    return list;
}

QLabel *makeStatic(Controls &controls, int id) {
    auto *label = new QLabel;
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(60);
    controls.add(id, label);
    return label;
}

QGroupBox *makeGroup(const QString &caption) {
    auto *group = new QGroupBox(caption);
    group->setAccessibleName(caption);
    return group;
}

QGroupBox *makeGroup(Controls &controls, int id, const QString &caption) {
    QGroupBox *group = makeGroup(caption);
    controls.add(id, group);
    return group;
}
