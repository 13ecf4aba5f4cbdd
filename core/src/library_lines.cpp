#include "deve/library_lines.h"

#include "velmo/velmo.h"

namespace deve {

LibraryLines::LibraryLines() { velmo_set_log_handler(&LibraryLines::receive, this); }

LibraryLines::~LibraryLines() { velmo_set_log_handler(nullptr, nullptr); }

std::vector<std::string> LibraryLines::take() {
    const std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> lines;
    lines.swap(lines_);
    return lines;
}

void LibraryLines::receive(const char *line, void *context) {
    auto *self = static_cast<LibraryLines *>(context);
    const std::lock_guard<std::mutex> guard(self->lock_);
    self->lines_.emplace_back(line);
}

}  // namespace deve
