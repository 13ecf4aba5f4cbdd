// Message boxes of the Qt skin, behind an interface so that tests can answer
// them.
#pragma once

#include <QString>

class QWidget;

class Prompter {
public:
    virtual ~Prompter() = default;
    // A message with an OK button; `details` is shown below the text.
    virtual void inform(QWidget *parent, const QString &text, const QString &details = {}) = 0;
    // A warning with an OK button.
    virtual void warn(QWidget *parent, const QString &text) = 0;
    // A question with a button captioned `action` and Cancel; true for the
    // action. Cancel is the default answer.
    virtual bool confirm(QWidget *parent, const QString &title, const QString &text, const QString &action) = 0;
};

// The real message boxes.
class MessageBoxPrompter final : public Prompter {
public:
    void inform(QWidget *parent, const QString &text, const QString &details) override;
    void warn(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &title, const QString &text, const QString &action) override;
};
