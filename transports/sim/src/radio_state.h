// The radio's state as the mode register and the synthesizer set it: which
// mode the radio is in (standby, calibration, transmit, receive, and on which
// band), whether the transmitter is putting frames on the air, and where the
// synthesizer was tuned last. The block owns no register: it follows plain
// registers of the register file and the channel writes.
#pragma once

#include "chip_model.h"
#include "radio_registers.h"

#include <cstdint>
#include <optional>

namespace xolt {

enum class Band { UNTUNED, GHZ_2P4, GHZ_5 };

// The synthesizer's last tuning: the band whose channel register was written
// last with a non-zero channel, and that channel number.
struct Tuning {
    Band band = Band::UNTUNED;
    std::uint32_t channel = 0;
};

// The carrier frequency of a tuning, in MHz: 2.4 GHz channel n at
// 2407 + 5n (channel 14 at 2484), 5 GHz channel n at 5000 + 5n. Empty when
// the synthesizer was never tuned.
std::optional<double> carrier_mhz(const Tuning &tuning);

class RadioState : public Block {
public:
    explicit RadioState(const RegisterFile &registers);

    bool owns(std::uint32_t) const override { return false; }
    // Never reached: the block owns no address.
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void observe(std::uint32_t address, std::uint32_t value) override;

    std::uint32_t mode() const;       // RG_MODE
    std::uint32_t cal_index() const;  // RG_CAL_INDEX
    // In a transmit mode with the packet generator on: frames go out.
    bool on_air() const;
    // In a receive mode: the receiver takes frames from the air.
    bool receiving() const;
    std::uint32_t rate_word() const;
    std::uint32_t freq_offset_trim() const;
    // The 5 GHz channel in the channel table, whichever band was tuned last.
    std::uint32_t channel_5g() const;
    const Tuning &tuning() const { return tuning_; }

private:
    const RegisterFile &registers_;
    Tuning tuning_;
};

}  // namespace xolt
