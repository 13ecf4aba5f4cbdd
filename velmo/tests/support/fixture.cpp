#include "fixture.h"

#include "test_support/system.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace recording {

State &open_state(const char *path) {
    // The module stays loaded for the life of the test program, so the state
    // survives rf_deinit unloading its own reference.
    auto get = test_support::find_export_as<State *(*)()>(path, "recording_state");
    if (get == nullptr) {
        throw std::runtime_error(std::string("cannot open the recording transport ") + path +
                                 " or it lacks recording_state");
    }
    return *get();
}

void use_transport(const char *path) { test_support::set_env("XOLT_LIBRARY", path); }

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    active_ = true;
}

StdoutCapture::~StdoutCapture() {
    if (active_) {
        ::testing::internal::GetCapturedStdout();
    }
}

std::string StdoutCapture::take() {
    std::fflush(stdout);
    active_ = false;
    return ::testing::internal::GetCapturedStdout();
}

void Connected::SetUp() {
    use_transport();
    state_ = &open_state();
    state_->reset();
    // Swallow rf_init's own lines (an already-loaded transport prints one).
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    state_->log.clear();
    state_->calls.clear();
}

void Connected::TearDown() {
    StdoutCapture quiet;
    rf_deinit();
}

}  // namespace recording
