// A register script is opened for reading only: the kernel's own record of
// how the file was opened (POSIX side; core_script_windows_test.cpp is the
// Windows one).
#include "deve/script.h"
#include "recording_api.h"
#include "script_files.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using fake::W;
using Calls = std::vector<std::string>;
using scripts::line;
using scripts::TempFile;

// The kernel reports whether the file was open for writing when it is
// closed; this holds for every user, the superuser included.
TEST(ScriptRun, OpensReadOnly) {
    TempFile file("readonly.txt", line(5, 6) + "\n//end\n");
    const int watch = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, file.path().c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, file.path());
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(api.calls, Calls{W(5, 6)});

    alignas(inotify_event) char buffer[4096];
    const ssize_t length = ::read(watch, buffer, sizeof buffer);
    ::close(watch);
    ASSERT_GT(length, 0);
    std::uint32_t seen = 0;
    for (ssize_t at = 0; at < length;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        seen |= event->mask;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    EXPECT_TRUE(seen & IN_CLOSE_NOWRITE);
    EXPECT_FALSE(seen & IN_CLOSE_WRITE);
}

}  // namespace
