// A Deve dialog of the Qt skin over the recording stand-in, with message
// boxes answered by the test.
#pragma once

#include "deve_dlg.h"
#include "dlg_operator.h"
#include "prompter.h"
#include "recording_api.h"

#include "deve/library_presence.h"
#include "deve/resource.h"

#include <memory>
#include <string>
#include <vector>

// Records every message box; questions get `answer`.
class FakePrompter final : public Prompter {
public:
    struct Box {
        QString kind;  // "inform", "warn", "confirm"
        QString text;
        QString details;
    };
    std::vector<Box> boxes;
    bool answer = true;

    void inform(QWidget *, const QString &text, const QString &details) override {
        boxes.push_back({QStringLiteral("inform"), text, details});
    }
    void warn(QWidget *, const QString &text) override { boxes.push_back({QStringLiteral("warn"), text, {}}); }
    bool confirm(QWidget *, const QString &, const QString &text, const QString &) override {
        boxes.push_back({QStringLiteral("confirm"), text, {}});
        return answer;
    }
};

class Rig : public DlgOperator {
public:
    explicit Rig(const std::string &libraryFile = deve::velmo_library_file())
        : dlg(std::make_unique<CDeveDlg>(api, prompter, libraryFile)) {
        operated_ = dlg.get();
    }

    fake::RecordingApi api;
    FakePrompter prompter;
    std::unique_ptr<CDeveDlg> dlg;

    // OPEN on the stand-in, and a clean log after it.
    void open() {
        click(IDC_OPEN);
        api.take();
    }
    // Reveals the engineering controls (TX ON with the access code).
    void reveal() {
        type(IDC_FREQ_OFFSET, QStringLiteral("624"));
        click(IDC_TX_ON);
        click(IDC_TX_OFF);
        api.take();
    }
    std::vector<std::string> calls() { return api.take(); }
};
