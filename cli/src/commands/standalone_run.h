// The records of a command that stands alone and never opens the link with
// the open sequence (trace, link check): its error and end records, as
// every run ends.
#pragma once

#include "commands.h"
#include "output.h"

#include <string>

namespace deve::cli {

class StandaloneRun {
public:
    StandaloneRun(Output &out, std::string command) : out_(out), command_(std::move(command)) {}

    // The envelope's step and command.
    json::Object head() const { return json::Object().add("step", 1).add("command", command_); }
    // An error (kind and message, also on standard error) and the end: the
    // exit code.
    int failed(int code, const std::string &kind, const std::string &message);
    // A fail (exit code 1) with its reason, and the end.
    int fail(const std::string &reason);
    int end(int code, const json::Array &failures = json::Array());

private:
    Output &out_;
    std::string command_;
};

}  // namespace deve::cli
