#include "calibration_engine.h"

#include <cstdio>

namespace xolt {

using namespace radio;

CalibrationEngine::CalibrationEngine(const BoardSettings &settings, const RadioState &radio)
    : settings_(settings), radio_(radio), now_(Clock::now()) {}

std::uint32_t CalibrationEngine::read(std::uint32_t) { return 0; }

void CalibrationEngine::write(std::uint32_t, std::uint32_t) {}

void CalibrationEngine::settle(Clock::time_point now) {
    now_ = now;
    if (active_index_ != CAL_IDX_NONE) {
        log_.back().end = now;
    }
}

void CalibrationEngine::observe(std::uint32_t address, std::uint32_t) {
    if (address != ADR_MODE_REGISTER) {
        return;
    }
    const std::uint32_t index = radio_.mode() == MODE_CALIBRATION ? radio_.cal_index() : CAL_IDX_NONE;
    if (index == active_index_) {
        return;  // the running calibration (or none) goes on
    }
    finish_active();
    active_index_ = index;
    if (index != CAL_IDX_NONE) {
        log_.push_back(CalibrationRun{index, radio_.tuning().channel, now_, now_, true});
    }
}

void CalibrationEngine::finish_active() {
    if (active_index_ == CAL_IDX_NONE) {
        return;
    }
    CalibrationRun &run = log_.back();
    run.end = now_;
    run.active = false;
    if (settings_.trace) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(run.end - run.start).count();
        std::fprintf(stderr, "xolt: calibration %u at channel %u active for %lld us\n", run.index, run.channel,
                     static_cast<long long>(us));
    }
}

}  // namespace xolt
