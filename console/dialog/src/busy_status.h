// A long operation: a status text and the wait cursor for its duration, the
// dialog repainted before the operation starts so the text is seen.
#pragma once

#include "deve/dialog_surface.h"

#include <string>

namespace deve {

class BusyStatus {
public:
    BusyStatus(DialogSurface &surface, int status_id, std::string text)
        : surface_(surface), status_id_(status_id), previous_(surface.text(status_id)), text_(std::move(text)) {
        surface_.set_text(status_id_, text_);
        surface_.set_busy(true);
    }
    ~BusyStatus() {
        surface_.set_busy(false);
        // The operation's own result replaces the busy text; if it set none,
        // the status gets its earlier text back.
        if (surface_.text(status_id_) == text_) {
            surface_.set_text(status_id_, previous_);
        }
    }
    BusyStatus(const BusyStatus &) = delete;
    BusyStatus &operator=(const BusyStatus &) = delete;

private:
    DialogSurface &surface_;
    int status_id_;
    std::string previous_;
    std::string text_;
};

}  // namespace deve
