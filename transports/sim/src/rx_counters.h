// The two receive counter blocks (11b and OFDM), fed by the bench's signal
// source. While the radio is in a receive mode the source delivers test
// frames at the rate of the current rate word, at a steady rate (the board
// setting rx_frame_rate) but never faster than one frame per air time; every
// counting block counts each frame, and counts it in error with the
// probability of the packet-error model, drawn from the board's seeded
// generator. The counters are 16 bits wide and wrap; at the air-time limit
// (at most about 10 400 frames/s, HT40 MCS7) no count wraps between two reads
// a second apart. Frames of a rate word that names no rate have no air time:
// they come at rx_frame_rate and are all in error.
//
// Counter control: bit 20 starts the block counting; clearing it stops the
// block, which keeps its counts. Setting it again after a stop restarts the
// block from 0 (the stop-and-start is how software resets the counts);
// writing it while the block counts changes nothing.
#pragma once

#include "chip_model.h"
#include "noise_source.h"
#include "radio_registers.h"
#include "radio_state.h"
#include "settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace xolt {

// Probability that a frame at `rate` on a carrier of `carrier_mhz` is
// received in error when the frequency-offset trim is `trim` and the board's
// crystal is on frequency at `ideal_trim`. Higher rates need more
// signal-to-noise ratio; a trim off the ideal value pulls the carrier off
// frequency, the farther the higher the carrier, and costs signal-to-noise
// ratio.
double packet_error_rate(radio::PhyRate rate, std::uint32_t trim, std::uint32_t ideal_trim, double carrier_mhz);

class RxCounters : public Block {
public:
    RxCounters(const BoardSettings &settings, const RadioState &radio);

    bool owns(std::uint32_t address) const override;
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void settle(Clock::time_point now) override;

    // The model's error rate under the current rate word, trim and tuning.
    double current_error_rate() const;
    // Frames per second that the source sends at the current rate word.
    double source_frame_rate() const;

private:
    struct CounterBlock {
        std::uint32_t control = 0;
        std::uint16_t errors = 0;
        std::uint16_t total = 0;
    };

    enum class Role { ERRORS, TOTAL, CONTROL };
    struct Slot {
        std::size_t block;
        Role role;
    };
    static std::optional<Slot> locate(std::uint32_t address);

    const BoardSettings &settings_;
    const RadioState &radio_;
    NoiseSource noise_;
    Clock::time_point last_;
    double pending_frames_ = 0.0;  // fraction of the next frame already on the air
    std::array<CounterBlock, 2> blocks_{};
};

}  // namespace xolt
