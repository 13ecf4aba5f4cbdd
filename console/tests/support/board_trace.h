// What the simulated board's register trace (XOLT_TRACE=1, on standard
// error) tells of the radio: whether a test ran, and the state the
// transmitter, the receive counters and the mode register were left in when
// the link closed. Lines end in LF or CRLF (a Windows program's text mode).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board_trace {

// Packet generator control: bit 0 transmits.
constexpr std::uint32_t ADR_PKTGEN_CONTROL = 0xCCB0E018;
constexpr std::uint32_t RG_PKTGEN_TX_ON = 0x00000001;
// The 11b and OFDM receive counter blocks: bit 20 counts.
constexpr std::uint32_t ADR_CCK_RX_COUNTER_CONTROL = 0xCCB0EBF8;
constexpr std::uint32_t ADR_OFDM_RX_COUNTER_CONTROL = 0xCCB0F3F8;
constexpr std::uint32_t RG_RX_COUNTING = 0x00100000;
// Mode register: RG_MODE in bits 8-10, 0 = standby.
constexpr std::uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
constexpr unsigned kRgModeShift = 8;
constexpr std::uint32_t kRgModeMask = 0x7;

// The values written to a register, in order.
std::vector<std::uint32_t> writes_to(const std::string &trace, std::uint32_t address);

struct Radio {
    bool transmitted = false;  // the generator was switched on
    bool received = false;     // a counter block was set counting
    // At the last close of the link (all false when it never closed):
    bool link_closed = false;        // closed, and no register access after it
    bool transmitter_off = false;    // the generator's last word has bit 0 clear
    bool receiver_off = false;       // both blocks' last words have bit 20 clear
    bool standby = false;            // the mode register's last word is standby
};
Radio radio_of(const std::string &trace);

// "transmitter ON at close; link not closed" and the like; empty when the
// transmitter and receiver were stopped and the radio in standby when the
// link closed, with no access after.
std::string unsafe_at_close(const Radio &radio);

}  // namespace board_trace
