// Test fixture over the recording transport: points XOLT_LIBRARY at it, opens
// the link through rf_init and gives the test the transport's State.
#pragma once

// The transport the library is given on the simulated board: the board
// itself, or the recording transport in front of it (XOLT_TAP_TARGET names
// the board) to show that recording changes nothing.
#ifndef LIBRARY_XOLT_PATH
#define LIBRARY_XOLT_PATH SIM_XOLT_PATH
#endif
#ifdef TAP_TRACE_FILE
#include "test_support/system.h"
// The recording transport's settings: it records the board into the trace.
inline const bool tap_settings = [] {
    test_support::set_env("XOLT_TAP_TARGET", SIM_XOLT_PATH);
    test_support::set_env("XOLT_TAP_FILE", TAP_TRACE_FILE);
    return true;
}();
#endif

#include "recording.h"
#include "velmo/velmo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace recording {

// Opens the recording transport file (the one rf_init will load) and returns
// its state. RECORDING_XOLT_PATH is set by the build.
State &open_state(const char *path = RECORDING_XOLT_PATH);

// Sets XOLT_LIBRARY for this process.
void use_transport(const char *path = RECORDING_XOLT_PATH);

// Output captured from the library's standard output.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;
    std::string take();

private:
    bool active_ = false;
};

// Base fixture: a connected library over a cleared recording transport. The
// log starts empty after SetUp (rf_init makes no register access).
class Connected : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    State &chip() { return *state_; }
    std::vector<Access> log() const { return state_->log; }
    std::vector<Access> writes() const { return state_->writes(); }

    State *state_ = nullptr;
};

}  // namespace recording
