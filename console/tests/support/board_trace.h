// What the simulated board's register trace (XOLT_TRACE=1, on standard
// error) tells of the radio: whether a test ran, and the state the
// transmitter, the receive counters and the mode register were left in when
// the link closed: the packet generator's RG_PKTGEN_TX_ON, the counter
// blocks' RG_RX_COUNT_ENABLE and the mode register's RG_MODE. Lines end in
// LF or CRLF (a Windows program's text mode).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board_trace {

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
