#include "deve/padpd_tables.h"

#include "deve/registers.h"
#include "deve/text.h"

#include <utility>

namespace deve {

namespace {

// Field layout shared by every band's tables.
struct TableField {
    unsigned shift;
    std::uint32_t mask;  // after shifting down
};
constexpr TableField kAmAmEven{0, 0x3FF};    // bits 0-9
constexpr TableField kAmAmOdd{16, 0x3FF};    // bits 16-25
constexpr TableField kAmPmEven{0, 0x1FFF};   // bits 0-12
constexpr TableField kAmPmOdd{16, 0x1FFF};   // bits 16-28

constexpr std::uint32_t kRegisterStep = 4;
constexpr std::size_t kRegistersBeforeGap = 3;

constexpr double kDegreesPerTurn = 360.0;

unsigned field(std::uint32_t value, const TableField &f) { return (value >> f.shift) & f.mask; }

std::uint32_t read(RfApi &api, std::uint32_t address) {
    std::uint32_t value = 0;
    api.xolt_read_reg(address, &value);
    return value;
}

}  // namespace

const std::array<PadpdBandTables, 4> kPadpdBands{{
    {"2.4 GHz", 0, reg::ADR_DPD_AM_AM_2G, reg::ADR_DPD_AM_PM_2G, true},
    {"5 GHz ch 40", 40, reg::ADR_DPD_AM_AM_5G_CH40, reg::ADR_DPD_AM_PM_5G_CH40, false},
    {"5 GHz ch 100", 100, reg::ADR_DPD_AM_AM_5G_CH100, reg::ADR_DPD_AM_PM_5G_CH100, false},
    {"5 GHz ch 160", 160, reg::ADR_DPD_AM_AM_5G_CH160, reg::ADR_DPD_AM_PM_5G_CH160, false},
}};

std::uint32_t padpd_table_register(std::uint32_t first, bool gap_after_third, std::size_t r) {
    const std::size_t words = r + (gap_after_third && r >= kRegistersBeforeGap ? 1 : 0);
    return first + kRegisterStep * static_cast<std::uint32_t>(words);
}

double padpd_gain(unsigned am_am) { return static_cast<double>(am_am) / kAmAmUnity; }

double padpd_phase_degrees(unsigned am_pm) {
    const unsigned units = am_pm % kAmPmTurn;
    const int signed_units = units >= kAmPmTurn / 2 ? static_cast<int>(units) - static_cast<int>(kAmPmTurn)
                                                    : static_cast<int>(units);
    return signed_units * kDegreesPerTurn / kAmPmTurn;
}

std::vector<PadpdCurve> read_padpd_curves(RfApi &api) {
    std::vector<PadpdCurve> curves;
    for (const PadpdBandTables &band : kPadpdBands) {
        std::array<std::uint32_t, kPadpdTableRegisters> am_am{};
        std::array<std::uint32_t, kPadpdTableRegisters> am_pm{};
        for (std::size_t r = 0; r < kPadpdTableRegisters; ++r) {
            am_am[r] = read(api, padpd_table_register(band.am_am_first, band.gap_after_third, r));
        }
        for (std::size_t r = 0; r < kPadpdTableRegisters; ++r) {
            am_pm[r] = read(api, padpd_table_register(band.am_pm_first, band.gap_after_third, r));
        }
        PadpdCurve curve;
        curve.band = band.name;
        for (std::size_t i = 0; i < kPadpdPoints; ++i) {
            const bool odd = i % 2 != 0;
            PadpdPoint p;
            p.scale = padpd_scale(i);
            p.am_am = field(am_am[i / 2], odd ? kAmAmOdd : kAmAmEven);
            p.am_pm = field(am_pm[i / 2], odd ? kAmPmOdd : kAmPmEven);
            p.gain = padpd_gain(p.am_am);
            p.phase = padpd_phase_degrees(p.am_pm);
            curve.points.push_back(p);
        }
        curves.push_back(std::move(curve));
    }
    return curves;
}

bool open_calibrated_predistortion(const OpenOutcome &outcome) {
    if (!outcome.opened) {
        return false;
    }
    const std::uint32_t chip_id = parse_unsigned(outcome.chip_id, 16);
    return chip_id != kChipVariant74 && chip_id != kChipVariant7C;
}

bool dpd_toggle_calibrated(const std::string &status) { return status != "DPD OFF"; }

}  // namespace deve
