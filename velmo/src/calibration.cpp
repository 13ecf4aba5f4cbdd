// RF calibration: the radio's built-in calibrations, run in a fixed order by
// driving the calibration engine through the mode register, plus the manual
// IQ-correction codes and the on-chip temperature sensor.
//
// The chip does the measuring; the library prepares a few radio registers,
// starts each calibration with its index, waits a fixed time and switches the
// engine back. No result register is read and no status is polled.
#include "bus.h"
#include "registers.h"
#include "settings.h"
#include "velmo/velmo.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmo {

namespace {

// ---- Mode register words ---------------------------------------------------

// Bits 6, 25 and 26 are set in every mode word a calibration writes.
constexpr std::uint32_t CAL_MODE_BASE = 0x06000040;
constexpr std::uint32_t CAL_MODE_MANUAL = CAL_MODE_BASE | RG_MODE_MANUAL.prep(1);
constexpr std::uint32_t CAL_MODE_ENGINE = CAL_MODE_MANUAL | RG_MODE.prep(MODE_CALIBRATION);
static_assert(CAL_MODE_MANUAL == 0x06000044 && CAL_MODE_ENGINE == 0x06000144, "calibration mode words");

// Calibrations run by rf_calibration. A 5 GHz calibration's index is its
// 2.4 GHz counterpart's plus 8; CAL_IDX_WIFI_D runs in both bands. The names
// follow the order in which the calibrations run.
enum RfCalIndex : std::uint32_t {
    CAL_IDX_WIFI2P4G_C = 1,
    CAL_IDX_WIFI2P4G_A = 4,
    CAL_IDX_WIFI2P4G_B = 5,
    CAL_IDX_WIFI_D = 6,
    CAL_IDX_WIFI5G_C = 9,
    CAL_IDX_WIFI5G_A = 12,
    CAL_IDX_WIFI5G_B = 13,
};

// ---- Calibration front end ----------------------------------------------------
// Registers that the chip's register map leaves unnamed are named by address.

constexpr std::uint32_t ADR_CAL_A538 = 0xCCB0A538;  // 2.4 GHz calibration loop set-up
constexpr std::uint32_t ADR_CAL_A608 = 0xCCB0A608;  // 5 GHz calibration loop set-up
constexpr std::uint32_t CAL_PATH_WORD = 0x00800000;
constexpr std::uint32_t ADR_CAL_A834 = 0xCCB0A834;  // the preparation's variable word
constexpr std::uint32_t ADR_CAL_A840 = 0xCCB0A840;
constexpr std::uint32_t ADR_CAL_A858 = 0xCCB0A858;

// IQ correction: the preparation's word, and the manual codes (a in bits 0-4,
// b in bits 8-12) on top of the manual base word.
constexpr std::uint32_t ADR_IQ_CORRECTION = 0xCCB0A80C;
constexpr std::uint32_t IQ_CORRECTION_CAL = 0x00100000;
constexpr std::uint32_t IQ_CORRECTION_MANUAL = 0x00110000;
constexpr unsigned IQ_CODE_B_SHIFT = 8;
// Codes are 5-bit two's complement: a negative value has 32 added.
constexpr std::int32_t IQ_CODE_RANGE = 32;

struct RegWrite {
    std::uint32_t address;
    std::uint32_t value;
};

// A fixed list of register writes, kept in a constexpr array.
class WriteList {
public:
    constexpr WriteList() = default;
    template <std::size_t N>
    constexpr WriteList(const RegWrite (&writes)[N]) : first_(writes), count_(N) {}
    const RegWrite *begin() const { return first_; }
    const RegWrite *end() const { return first_ + count_; }

private:
    const RegWrite *first_ = nullptr;
    std::size_t count_ = 0;
};

// The common preparation P(x): written before most triggers.
constexpr RegWrite CAL_PREPARATION[] = {
    {ADR_CAL_A858, 0x00000044},
    {ADR_IQ_CORRECTION, IQ_CORRECTION_CAL},
    {ADR_CAL_A840, 0x07FF3033},
    {ADR_CAL_A840, 0x07FF07FF},
};
constexpr std::uint32_t PREP_WORD = 0x00200000;  // P(x) of every step but the last 5 GHz one
constexpr std::uint32_t PREP_WORD_5G_D = 0x00D00000;

constexpr RegWrite SETUP_2G_AB[] = {
    {ADR_TX_UP8X_CONTROL, CAL_PATH_WORD},
    {ADR_CAL_A538, 0x00000E00},
    {ADR_CAL_A538, 0x00000E30},
};
constexpr RegWrite SETUP_2G_D[] = {
    {ADR_CAL_A538, 0x00030000},
    {ADR_CAL_A538, 0x03830000},
    {ADR_TX_UP8X_CONTROL, CAL_PATH_WORD},
};
constexpr RegWrite SETUP_5G_AB[] = {
    {ADR_TX_UP8X_CONTROL, CAL_PATH_WORD},
    {ADR_CAL_A608, 0x0E022202},
    {ADR_CAL_A608, 0x0E322202},
};
constexpr RegWrite SETUP_5G_D[] = {
    {ADR_5G_CALIBRATION_GAIN_REGISTER1, 0x00000000},
    {ADR_5G_CALIBRATION_GAIN_REGISTER1, 0x00000060},
    {ADR_5G_CALIBRATION_GAIN_REGISTER1, 0x00003860},
    {ADR_TX_UP8X_CONTROL, CAL_PATH_WORD},
};

// One calibration: its set-up writes, then P(x) when `prepare` is set, then
// the trigger with its index and wait.
struct CalStep {
    WriteList setup;
    bool prepare;
    std::uint32_t preparation_word;
    RfCalIndex index;
    std::uint32_t wait_ms;
};

constexpr std::array<CalStep, 4> STEPS_2G{{
    {SETUP_2G_AB, true, PREP_WORD, CAL_IDX_WIFI2P4G_A, 50},
    {SETUP_2G_AB, true, PREP_WORD, CAL_IDX_WIFI2P4G_B, 70},
    {{}, false, 0, CAL_IDX_WIFI2P4G_C, 50},
    {SETUP_2G_D, true, PREP_WORD, CAL_IDX_WIFI_D, 50},
}};

constexpr std::array<CalStep, 4> STEPS_5G{{
    {SETUP_5G_AB, true, PREP_WORD, CAL_IDX_WIFI5G_A, 50},
    {SETUP_5G_AB, true, PREP_WORD, CAL_IDX_WIFI5G_B, 70},
    {{}, false, 0, CAL_IDX_WIFI5G_C, 50},
    {SETUP_5G_D, true, PREP_WORD_5G_D, CAL_IDX_WIFI_D, 50},
}};

constexpr std::int32_t CAL_CHANNEL_2G = 6;
// The 5 GHz calibrations run once per sub-band, in this order.
constexpr std::array<std::int32_t, 3> CAL_CHANNELS_5G{40, 100, 160};

// ---- Temperature sensor ----------------------------------------------------------

constexpr std::uint32_t TEMP_SENSOR_CONTROL_WORD = 0x83050502;
// The synthesizer control word at rest, and its sensor bit.
constexpr std::uint32_t SX_CONTROL_WORD = 0x20001557;
constexpr int TEMP_READINGS = 100;
constexpr std::uint32_t TEMP_READING_INTERVAL_MS = 1;
// Degrees Celsius = (code - 31) x 2.5, truncated toward zero.
constexpr double TEMP_CODE_ZERO = 31.0;
constexpr double TEMP_DEGREES_PER_CODE = 2.5;

// ---- Sequences ----------------------------------------------------------------------

void write_all(const WriteList &writes) {
    for (const RegWrite &w : writes) {
        reg_write(w.address, w.value);
    }
}

void prepare(std::uint32_t word) {
    write_all(CAL_PREPARATION);
    reg_write(ADR_CAL_A834, word);
}

// Runs one calibration of the engine: manual standby, calibration mode, the
// index for `wait_ms`, then back step by step to automatic standby.
void cal_trigger(RfCalIndex index, std::uint32_t wait_ms) {
    reg_write(ADR_MODE_REGISTER, CAL_MODE_MANUAL);
    reg_write(ADR_MODE_REGISTER, CAL_MODE_ENGINE);
    reg_write(ADR_MODE_REGISTER, CAL_MODE_ENGINE | RG_CAL_INDEX.prep(index));
    sleep_ms(wait_ms);
    reg_write(ADR_MODE_REGISTER, CAL_MODE_ENGINE | RG_CAL_INDEX.prep(CAL_IDX_NONE));
    reg_write(ADR_MODE_REGISTER, CAL_MODE_MANUAL);
    reg_write(ADR_MODE_REGISTER, CAL_MODE_BASE);
}

void run_steps(const std::array<CalStep, 4> &steps) {
    for (const CalStep &step : steps) {
        write_all(step.setup);
        if (step.prepare) {
            prepare(step.preparation_word);
        }
        cal_trigger(step.index, step.wait_ms);
    }
}

std::uint32_t iq_code(std::int32_t value) {
    return static_cast<std::uint32_t>(value < 0 ? value + IQ_CODE_RANGE : value);
}

}  // namespace

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t rf_calibration(void) {
    return with_chip([&] {
        tune_channel(CAL_CHANNEL_2G);
        run_steps(STEPS_2G);
        // Leaves the radio on the last 5 GHz channel.
        for (const std::int32_t channel : CAL_CHANNELS_5G) {
            tune_channel(channel);
            run_steps(STEPS_5G);
        }
        return 0;
    });
}

VELMO_API int32_t rf_iqcal_manual(int32_t a, int32_t b) {
    return with_chip([&] {
        reg_write(ADR_IQ_CORRECTION, IQ_CORRECTION_MANUAL);
        // Values outside -16..15 spill into the neighbouring bits, as the sum gives.
        reg_write(ADR_IQ_CORRECTION, IQ_CORRECTION_MANUAL + iq_code(a) + (iq_code(b) << IQ_CODE_B_SHIFT));
        return 0;
    });
}

VELMO_API int32_t rf_read_temperature(int32_t *celsius) {
    return with_chip([&] {
        if (celsius == nullptr) {
            return -1;
        }
        reg_write(ADR_TEMP_SENSOR_CONTROL, TEMP_SENSOR_CONTROL_WORD | RG_TEMP_SENSOR_ON.mask());
        reg_write(ADR_SX_CONTROL, SX_CONTROL_WORD | RG_SX_TEMP_SENSOR_ON.mask());
        // One reading a millisecond; only the last one is used.
        std::uint32_t reading = 0;
        for (int i = 0; i < TEMP_READINGS; ++i) {
            sleep_ms(TEMP_READING_INTERVAL_MS);
            reading = reg_read(ADR_TEMP_SENSOR_READING);
        }
        const double code = static_cast<double>(RG_TEMP_CODE.get(reading));
        *celsius = static_cast<std::int32_t>((code - TEMP_CODE_ZERO) * TEMP_DEGREES_PER_CODE);
        reg_write(ADR_TEMP_SENSOR_CONTROL, TEMP_SENSOR_CONTROL_WORD);
        reg_write(ADR_SX_CONTROL, SX_CONTROL_WORD);
        return 0;
    });
}

}  // extern "C"
