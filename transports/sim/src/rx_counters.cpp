#include "rx_counters.h"

#include "air_time.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace xolt {

using namespace radio;

namespace {

// Register addresses of one counter block.
struct CounterRegisters {
    std::uint32_t errors;
    std::uint32_t total;
    std::uint32_t control;
};
constexpr std::array<CounterRegisters, 2> COUNTER_REGISTERS = {{
    {ADR_RX_11B_ERRORS, ADR_RX_11B_TOTAL, ADR_RX_11B_CONTROL},
    {ADR_RX_OFDM_ERRORS, ADR_RX_OFDM_TOTAL, ADR_RX_OFDM_CONTROL},
}};

// Packet-error model: the error rate is a logistic function of the margin
// between the signal-to-noise ratio at the receiver and the ratio the rate
// needs, PER = 1 / (1 + exp(margin / PER_SLOPE_DB)).
constexpr double SOURCE_SNR_DB = 28.0;
constexpr double PER_SLOPE_DB = 1.0;
// Each trim step away from the ideal costs this much signal-to-noise ratio on
// the reference carrier. A step moves the crystal by a fixed fraction of its
// frequency, so the carrier moves in proportion to its own frequency, and the
// cost scales with it (about 2.1 times as much at 5 GHz). An untuned
// synthesizer counts as the reference.
constexpr double TRIM_PENALTY_DB_PER_STEP = 0.3;
constexpr double TRIM_REFERENCE_MHZ = 2437.0;  // 2.4 GHz channel 6
// 40 MHz frames see twice the noise bandwidth.
constexpr double HT40_PENALTY_DB = 3.0;

using RequiredSnr = std::array<double, 8>;
constexpr std::array<double, 4> CCK_REQUIRED_SNR_DB = {1.0, 3.0, 6.0, 9.0};  // 1, 2, 5.5, 11 Mb/s
constexpr RequiredSnr OFDM_REQUIRED_SNR_DB = {5.0, 6.0, 8.0, 11.0, 14.0, 18.0, 22.0, 24.0};  // 6 to 54 Mb/s
constexpr RequiredSnr HT_REQUIRED_SNR_DB = {5.0, 8.0, 11.0, 14.0, 18.0, 22.0, 24.0, 25.0};   // MCS0 to MCS7

// Frames the source cannot name a rate for (a reserved format or CCK index)
// are never decoded.
constexpr double UNDECODABLE = 1.0e9;

double required_snr_db(PhyRate rate) {
    switch (rate.format) {
    case Format::CCK:
        return rate.index < CCK_REQUIRED_SNR_DB.size() ? CCK_REQUIRED_SNR_DB[rate.index] : UNDECODABLE;
    case Format::OFDM:
        return OFDM_REQUIRED_SNR_DB[rate.index];
    case Format::HT:
        return HT_REQUIRED_SNR_DB[rate.index] + (rate.forty ? HT40_PENALTY_DB : 0.0);
    case Format::RESERVED:
        break;
    }
    return UNDECODABLE;
}

}  // namespace

double packet_error_rate(PhyRate rate, std::uint32_t trim, std::uint32_t ideal_trim, double carrier_mhz) {
    const double trim_steps = std::abs(static_cast<double>(trim) - static_cast<double>(ideal_trim));
    const double trim_penalty_db = TRIM_PENALTY_DB_PER_STEP * trim_steps * carrier_mhz / TRIM_REFERENCE_MHZ;
    const double margin = SOURCE_SNR_DB - trim_penalty_db - required_snr_db(rate);
    return 1.0 / (1.0 + std::exp(margin / PER_SLOPE_DB));
}

RxCounters::RxCounters(const BoardSettings &settings, const RadioState &radio)
    : settings_(settings), radio_(radio), noise_(settings.noise_seed, NoiseStream::RX_ERRORS),
      last_(Clock::now()) {}

std::optional<RxCounters::Slot> RxCounters::locate(std::uint32_t address) {
    for (std::size_t i = 0; i < COUNTER_REGISTERS.size(); ++i) {
        const CounterRegisters &r = COUNTER_REGISTERS[i];
        if (address == r.errors) {
            return Slot{i, Role::ERRORS};
        }
        if (address == r.total) {
            return Slot{i, Role::TOTAL};
        }
        if (address == r.control) {
            return Slot{i, Role::CONTROL};
        }
    }
    return std::nullopt;
}

bool RxCounters::owns(std::uint32_t address) const { return locate(address).has_value(); }

std::uint32_t RxCounters::read(std::uint32_t address) {
    const Slot slot = *locate(address);
    const CounterBlock &b = blocks_[slot.block];
    switch (slot.role) {
    case Role::ERRORS:
        return b.errors;
    case Role::TOTAL:
        return b.total;
    case Role::CONTROL:
        break;
    }
    return b.control;
}

void RxCounters::write(std::uint32_t address, std::uint32_t value) {
    const Slot slot = *locate(address);
    if (slot.role != Role::CONTROL) {
        return;  // the count registers are read only
    }
    CounterBlock &b = blocks_[slot.block];
    const bool was_counting = RG_RX_COUNT_ENABLE.get(b.control) != 0;
    if (!was_counting && RG_RX_COUNT_ENABLE.get(value) != 0) {
        b.errors = 0;
        b.total = 0;
    }
    b.control = value;
}

double RxCounters::current_error_rate() const {
    return packet_error_rate(decode_rate(radio_.rate_word()), radio_.freq_offset_trim(), settings_.ideal_trim,
                             carrier_mhz(radio_.tuning()).value_or(TRIM_REFERENCE_MHZ));
}

double RxCounters::source_frame_rate() const {
    constexpr double US_PER_S = 1e6;
    const auto airtime = frame_airtime_us(decode_rate(radio_.rate_word()));
    return airtime ? std::min(settings_.rx_frame_rate, US_PER_S / *airtime) : settings_.rx_frame_rate;
}

void RxCounters::settle(Clock::time_point now) {
    const double elapsed_s = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    if (!radio_.receiving()) {
        pending_frames_ = 0.0;
        return;
    }
    pending_frames_ += elapsed_s * source_frame_rate();
    const double frames = std::floor(pending_frames_);
    pending_frames_ -= frames;
    const auto count = static_cast<std::uint64_t>(frames);
    if (count == 0) {
        return;
    }
    const double per = current_error_rate();
    for (CounterBlock &b : blocks_) {
        if (RG_RX_COUNT_ENABLE.get(b.control) == 0) {
            continue;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            ++b.total;  // 16-bit counters wrap
            if (noise_.uniform() < per) {
                ++b.errors;
            }
        }
    }
}

}  // namespace xolt
