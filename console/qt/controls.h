// The dialog's controls by identifier, and the factories that create them
// with their identifier and accessible texts set.
#pragma once

#include "deve/dialog_surface.h"

#include <QString>
#include <QValidator>
#include <QWidget>

#include <map>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// Every control with an identifier. A control's identifier is also its
// accessible description and part of its object name, so tests and
// accessibility tools find it by number.
class Controls {
public:
    void add(int id, QWidget *widget);
    QWidget *at(int id) const;  // null for an unknown id
    template <typename T>
    T *as(int id) const {
        return qobject_cast<T *>(at(id));
    }
    const std::map<int, QWidget *> &all() const { return widgets_; }

    // Text of an edit, static, list or file field, and setting it.
    QString text(int id) const;
    void setText(int id, const QString &text);

private:
    std::map<int, QWidget *> widgets_;
};

// An edit with a browse button; the button asks for a file to open.
class FileBrowseEdit : public QWidget {
    Q_OBJECT
public:
    explicit FileBrowseEdit(QWidget *parent = nullptr);
    QString text() const;
    void setText(const QString &text);
    QLineEdit *edit() const { return edit_; }
    QToolButton *browseButton() const { return browse_; }

signals:
    void browseRequested();

private:
    QLineEdit *edit_;
    QToolButton *browse_;
};

// Holds an edit to the dialog's input rule for it: a change the rule does not
// take is refused, and hexadecimal letters show in upper case.
class RuleValidator : public QValidator {
public:
    RuleValidator(const deve::InputRule &rule, QObject *parent) : QValidator(parent), rule_(rule) {}
    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

private:
    deve::InputRule rule_;
};

// Factories: each registers the control under its identifier.
// A button's caption may carry a mnemonic (`&`).
QPushButton *makeButton(Controls &controls, int id, const QString &caption);
QLineEdit *makeEdit(Controls &controls, int id, const QString &label);
QComboBox *makeList(Controls &controls, int id, const QString &label);
// A static whose text the program changes: no fixed accessible name, so the
// accessibility tree reports its current text.
QLabel *makeStatic(Controls &controls, int id);
QGroupBox *makeGroup(const QString &caption);
QGroupBox *makeGroup(Controls &controls, int id, const QString &caption);
