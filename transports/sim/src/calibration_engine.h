// The calibration engine. Software starts a calibration by putting the mode
// register into MODE_CALIBRATION with a non-zero RG_CAL_INDEX; the
// calibration stays active until the index or the mode changes. The board
// keeps a log of every calibration run: its index, the channel the
// synthesizer was tuned to last (2.4 GHz channels 1-14, 5 GHz channels from
// 32 up) and how long it stayed active. With XOLT_TRACE each finished run is
// printed on standard error.
#pragma once

#include "chip_model.h"
#include "radio_state.h"
#include "settings.h"

#include <cstdint>
#include <vector>

namespace xolt {

struct CalibrationRun {
    std::uint32_t index = 0;
    std::uint32_t channel = 0;  // 0 when the synthesizer was never tuned
    Clock::time_point start;
    Clock::time_point end;  // the last access time while still active
    bool active = true;
};

class CalibrationEngine : public Block {
public:
    CalibrationEngine(const BoardSettings &settings, const RadioState &radio);

    bool owns(std::uint32_t) const override { return false; }
    // Never reached: the engine follows the mode register, which is plain.
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void observe(std::uint32_t address, std::uint32_t value) override;
    void settle(Clock::time_point now) override;

    const std::vector<CalibrationRun> &log() const { return log_; }

private:
    void finish_active();

    const BoardSettings &settings_;
    const RadioState &radio_;
    Clock::time_point now_;
    std::uint32_t active_index_ = 0;  // CAL_IDX_NONE while no calibration runs
    std::vector<CalibrationRun> log_;
};

}  // namespace xolt
