// A register script is opened for reading only (Windows side;
// core_script_posix_test.cpp is the POSIX one).
#include "deve/script.h"
#include "recording_api.h"
#include "script_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using fake::W;
using Calls = std::vector<std::string>;
using scripts::line;
using scripts::TempFile;

// Another handle holds the file open and lets others read it but not write
// it, so the script runs only if it opens the file for reading alone.
TEST(ScriptRun, OpensReadOnly) {
    TempFile file("readonly.txt", line(5, 6) + "\n//end\n");
    const HANDLE holder = CreateFileW(std::filesystem::path(file.path()).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, file.path());
    CloseHandle(holder);
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(api.calls, Calls{W(5, 6)});
}

}  // namespace
