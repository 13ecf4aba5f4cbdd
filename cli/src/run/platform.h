// What deve-cli needs of the operating system: the interrupt signals, the
// transport file the library is asked for, the terminal.
#pragma once

#include "input_file.h"

#include <cstdio>
#include <optional>
#include <string>

namespace deve::cli::platform {

// SIGINT, SIGTERM and SIGHUP only set a flag (the library is not re-entrant:
// the radio is stopped by the main flow); SIGPIPE is ignored, so a reader
// that goes away shows as a failed write.
void install_signal_handlers();
// The signal that arrived, 0 when none.
int pending_signal();
const char *signal_name(int signal);
// Called last, once the radio is safe and the records are out: ends the
// process by the signal that interrupted it (its default action restored
// and the signal raised again), so that a calling shell sees a program
// killed by the signal, as for any other program, and its script stops.
// Where there are no such signals (Windows) it returns, and the exit code
// (128 + signal) says it.
void end_by_signal(int signal);

// The transport file the library is asked to load (XOLT_LIBRARY, or the
// platform's default name).
std::string requested_transport_file();
// Whether the transport file FILE, as the library loaded it, itself exports
// the entry point NAME (false when it is not loaded).
bool transport_exports(const std::string &file, const char *name);

bool is_terminal(std::FILE *stream);

// Writes to the stream go out byte for byte: on Windows no line end becomes
// CR LF (a report's lines end in LF as on POSIX, its CSV in CR LF once).
void binary_output(std::FILE *stream);

// The name of this computer, for the run's records; empty when unknown.
std::string host_name();

// The folder where deve-cli keeps its state on this computer (the line
// store's spool is in it): $XDG_STATE_HOME/deve-cli, else
// ~/.local/state/deve-cli; %LOCALAPPDATA%\deve-cli on Windows. Empty when
// none is known.
std::string state_directory();

// One line from standard input (line end removed), of at most
// kSessionLineMaxBytes bytes; nothing at end of input or when a signal
// interrupted the wait, nothing and the reason when standard input could not
// be read.
LineRead read_line();

}  // namespace deve::cli::platform
