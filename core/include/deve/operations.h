// The operator's single operations: each turns one selection or one button
// into library calls or direct register accesses. Band and mode are list
// positions (band 0 = 2.4 GHz; mode 0 = 11b, 1 = 11g, 2 = HT20, 3 = HT40).
#pragma once

#include "deve/rf_api.h"
#include "deve/rx_totals.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deve {

// ---- Register panel ----------------------------------------------------
std::uint32_t register_read(RfApi &api, std::uint32_t address);
// A read whose transport result is examined: nothing when the transport
// failed it (the value would be whatever the variable held).
std::optional<std::uint32_t> checked_register_read(RfApi &api, std::uint32_t address);
void register_write(RfApi &api, std::uint32_t address, std::uint32_t value);
// A write whose transport result is examined: false when the transport
// failed it.
bool checked_register_write(RfApi &api, std::uint32_t address, std::uint32_t value);

// ---- Frequency and rate ------------------------------------------------
// rf_set_ch with the channel number of the position in the band's list.
void choose_channel(RfApi &api, int band, int position);
// rf_rate(22) for "11n-HT20"; nothing for the other modes.
void choose_mode(RfApi &api, int mode);
// rf_rate with the code of the label; false (and no call) for an unknown one.
bool choose_rate(RfApi &api, std::string_view label);
void choose_rf_gain(RfApi &api, int band, int position);
// Writes the DAC code of the position to the selected band's register only.
void choose_dac(RfApi &api, int band, int position);
void choose_brate_gain(RfApi &api, int position);

// ---- TX/RX tests -------------------------------------------------------
// The frequency-offset value that reveals the engineering controls.
constexpr std::uint32_t kEngineeringAccessCode = 624;
// The largest frequency offset: the trim is 8 bits wide.
constexpr std::uint32_t kFreqOffsetMax = 255;
// The largest packet interval: the generator's PIT field is 14 bits wide
// (0 keeps the built-in interval).
constexpr std::uint32_t kPitMax = 16383;

// rf_freq_offset unless the offset is the access code; then rf_tx_stop and
// rf_tx_start. True when the offset was the access code.
bool tx_on(RfApi &api, int band, std::uint32_t pit, std::uint32_t offset);
void tx_off(RfApi &api);
// rf_freq_offset, the transmit frame control word, rf_rx_start.
void rx_on(RfApi &api, int band, int mode, std::uint32_t offset);
void rx_off(RfApi &api);

// The transmitted frame count, shown unsigned.
std::string read_tx_count(RfApi &api, int mode);

// The receive counts and the packet error rate; restarts the counters once
// the total passes this.
constexpr std::uint32_t kRxResetAbove = 3000;
struct RxCounts {
    std::string errors;
    std::string total;
    std::optional<std::string> per;  // none when the total is 0
    bool reset = false;              // rf_rxpkt_reset was called
};
RxCounts read_rx_counts(RfApi &api, int mode);

// The same counters read straight from their registers with the transport's
// results examined (tx_packet and rf_rxpkt cannot report a failed read):
// nothing when a read failed. The receive counts are 16 bits, and the block
// is restarted above kRxResetAbove as read_rx_counts does.
std::optional<std::uint32_t> checked_tx_count(RfApi &api, int mode);
std::optional<RxReading> checked_rx_counts(RfApi &api, int mode);

// ---- Engineering controls ----------------------------------------------
// Pre-distortion on when it is off (calibrating), off when it is on; leaves
// transmission stopped. Returns "DPD ON", "DPD OFF" or "DPD Fail".
std::string toggle_predistortion(RfApi &api);
// Powers the on-chip sensor, reads its 6-bit code and powers it down.
std::uint32_t read_sensor_code(RfApi &api);
// The same, with every access examined: nothing when the transport failed
// one. When the sensor's control words cannot be read, nothing is written.
std::optional<std::uint32_t> checked_sensor_code(RfApi &api);
void write_a62c(RfApi &api, std::uint32_t value);
void write_a630(RfApi &api, std::uint32_t value);

}  // namespace deve
