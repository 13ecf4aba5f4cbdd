// The library's diagnostic lines: printed on standard output, or handed to
// the caller's handler one whole line at a time; and the library's version.
#include "bus.h"
#include "velmo/velmo.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace velmo {

namespace {

// Where the lines go. Guarded by one lock, which is held while a line is
// printed or handed over: a handler replaced on another thread is never
// called after velmo_set_log_handler returns. The lock is recursive, so a
// handler may replace itself.
struct Sink {
    velmo_log_handler handler = nullptr;
    void *context = nullptr;
    // Text of a line whose "\n" has not come yet; only while a handler is set.
    std::string pending;
};

std::recursive_mutex &sink_lock() {
    static std::recursive_mutex lock;
    return lock;
}

Sink &sink() {
    static Sink s;
    return s;
}

// The line to the handler set now, or to standard output when a handler
// replaced itself with none in the middle of a print.
void hand_over(const Sink &s, const std::string &line) {
    if (s.handler == nullptr) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
    try {
        s.handler(line.c_str(), s.context);
    } catch (...) {
        // A handler that throws loses its line; nothing crosses the library's
        // C boundary.
    }
}

std::string format_text(const char *format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

void log(const char *format, ...) {
    const std::lock_guard<std::recursive_mutex> guard(sink_lock());
    Sink &s = sink();
    va_list args;
    va_start(args, format);
    if (s.handler == nullptr) {
        // Standard output, exactly as printed before handlers existed.
        std::vprintf(format, args);
        va_end(args);
        std::fflush(stdout);
        return;
    }
    std::string text;
    try {
        text = format_text(format, args);
    } catch (...) {
        // Out of memory for the text: the line is lost, the call goes on.
    }
    va_end(args);
    try {
        s.pending += text;
        // The whole lines are taken first, so a handler that replaces itself
        // meanwhile leaves no half-handled text behind.
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end = s.pending.find('\n'); end != std::string::npos; end = s.pending.find('\n', start)) {
            lines.push_back(s.pending.substr(start, end - start));
            start = end + 1;
        }
        s.pending.erase(0, start);
        for (const std::string &line : lines) {
            hand_over(s, line);
        }
    } catch (...) {
        // Out of memory: the lines are lost, the call goes on.
    }
}

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t velmo_set_log_handler(velmo_log_handler handler, void *context) {
    const std::lock_guard<std::recursive_mutex> guard(sink_lock());
    Sink &s = sink();
    // A line without its end yet belongs to the handler it was printed for.
    if (!s.pending.empty() && s.handler != nullptr) {
        std::string rest;
        rest.swap(s.pending);
        hand_over(s, rest);
    }
    s.handler = handler;
    s.context = context;
    return 0;
}

VELMO_API const char *velmo_version(void) { return VELMO_VERSION; }

}  // extern "C"
