// Opening and closing the link: the calls that bring the chip from power-up
// to a calibrated radio on channel 1, and the eFuse trims applied after them.
#pragma once

#include "deve/rf_api.h"

#include <cstdint>
#include <optional>
#include <string>

namespace deve {

// The selections the open sequence reads: list positions, -1 for none.
struct OpenChoices {
    int port = 0;     // 0 = USB, 1 = SDIO
    int supply = 1;   // 0 = LDO, 1 = DCDC
    int crystal = 2;  // crystal list position, passed to rf_xtal_set
    // The radio's calibrations (rf_calibration and the PADPD calibration).
    // Without them the open is quick, for work that does not transmit or
    // receive: identity, eFuse reads and burns.
    bool calibrate = true;
};

// What the dialog shows after OPEN.
struct OpenOutcome {
    bool opened = false;
    std::int32_t init_result = 0;
    std::string status;       // "Open Success" or "Open Fail"
    std::string failure;      // why the link did not open; empty when opened
    std::optional<OpenRefusal> refusal;  // why, as the transport told it (when it could)
    std::string chip_id;      // "%x", or "NO Chip ID"; empty when not opened
    std::optional<std::uint32_t> chip_id_word;  // the identifier, when it was read
    std::string pit;          // "0"
    std::string freq_offset;  // "151", or the crystal trim stored in the eFuse
};

// rf_init with the port's selector; when the link opens: crystal, supply,
// HT20-MCS7 rate, register table, calibration, TX patch, channel 1,
// pre-distortion off, chip identifier, PADPD calibration (except on the two
// chip variants), the eFuse trims, and standby. The two calibrations are
// left out when the choices say so.
OpenOutcome open_link(RfApi &api, const OpenChoices &choices);

// Writes a crystal (frequency-offset) trim to the chip's two trim fields, as
// the open sequence applies the stored one.
void apply_crystal_trim(RfApi &api, std::uint8_t trim);

// Why the link did not open, in plain words: the transport's own reason when
// it told one (busy, with the holder's process id when it can tell; its
// settings refused), otherwise from rf_init's result alone: -1 for a
// transport that did not load or initialise, the transport's code for the
// rest.
std::string open_failure_reason(std::int32_t init_result, const std::optional<OpenRefusal> &refusal);

// Applies the stored transmit-power, crystal and 11b gain trims of the eFuse
// to the chip. Returns the crystal trim as the frequency-offset text, or the
// default "151" when the eFuse holds none.
std::string apply_efuse_trims(RfApi &api);

// rf_deinit (its result does not matter: -1 when nothing was open). Returns
// the status text "Close Success".
std::string close_link(RfApi &api);
// The radio left safe as the console ends: rf_tx_stop and rf_rx_stop, then
// the link closed as close_link does. Nothing else is written.
void leave_link(RfApi &api);

// Chip identifiers of the two variants that skip the PADPD calibration at
// OPEN.
constexpr std::uint32_t kChipVariant74 = 0x74000000;
constexpr std::uint32_t kChipVariant7C = 0x7C000000;

}  // namespace deve
