// Register access for every block of the library: the transport's read and
// write entry points behind three verbs (read, write, read-modify-write), the
// library's delays, its diagnostic lines, and the guard that every
// register-level export runs under.
#pragma once

#include <cstdint>
#include <exception>

namespace velmo {

// True while a transport module is loaded and its entry points resolved.
bool transport_loaded();

// Reads a register. The value starts at 0, so a read that the transport does
// not deliver yields 0; the transport's result is not examined.
std::uint32_t reg_read(std::uint32_t address);

// Writes a register; the transport's result is not examined.
void reg_write(std::uint32_t address, std::uint32_t value);

// Read-modify-write: reads the register afresh, writes (old & keep) | set and
// returns the value written.
std::uint32_t reg_rmw(std::uint32_t address, std::uint32_t keep, std::uint32_t set);

// The fine delay: a one-shot timer, relative due time in 100-ns units.
void timer_delay(std::int64_t units_100ns);

// The millisecond sleep used for calibration waits.
void sleep_ms(std::uint32_t ms);

// One diagnostic line (or part of one): on standard output, flushed at once
// so that an operator sees it while a long sequence is still running; or, when
// the caller set a handler (velmo_set_log_handler), to the handler once the
// line is whole.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void log(const char *format, ...);

// Runs the body of a register-level export: -1 when no transport is loaded
// (nothing is touched), and no C++ exception ever crosses the C boundary.
template <typename Body>
std::int32_t with_chip(Body &&body) noexcept {
    if (!transport_loaded()) {
        return -1;
    }
    try {
        return body();
    } catch (const std::exception &e) {
        log("ERROR: %s\n", e.what());
        return -1;
    } catch (...) {
        log("ERROR: unexpected failure\n");
        return -1;
    }
}

}  // namespace velmo
