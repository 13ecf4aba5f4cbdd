// The dialog's controls by identifier, and the factories that create them
// with their identifier and accessible texts set.
#pragma once

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

// Edit styles.
enum class EditStyle { Plain, Digits, UpperCase };

// An edit with a browse button that picks a file to open.
class FileBrowseEdit : public QWidget {
    Q_OBJECT
public:
    explicit FileBrowseEdit(QWidget *parent = nullptr);
    QString text() const;
    void setText(const QString &text);
    QLineEdit *edit() const { return edit_; }
    QToolButton *browseButton() const { return browse_; }

private:
    void browse();
    QLineEdit *edit_;
    QToolButton *browse_;
};

// Forces letters to upper case and takes only hexadecimal digits and the
// "X" of a "0X" prefix.
class UpperHexValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};

// Factories: each registers the control under its identifier.
QPushButton *makeButton(Controls &controls, int id, const QString &caption);
QLineEdit *makeEdit(Controls &controls, int id, const QString &label, EditStyle style = EditStyle::Plain);
QComboBox *makeList(Controls &controls, int id, const QString &label);
// A static whose text the program changes: no fixed accessible name, so the
// accessibility tree reports its current text.
QLabel *makeStatic(Controls &controls, int id);
QGroupBox *makeGroup(const QString &caption);
QGroupBox *makeGroup(Controls &controls, int id, const QString &caption);
// A fixed label beside a control.
QLabel *makeLabel(const QString &text, QWidget *buddy);
