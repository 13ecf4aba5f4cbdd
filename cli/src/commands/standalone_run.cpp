#include "standalone_run.h"

#include "platform.h"

#include <cstdio>

namespace deve::cli {

int StandaloneRun::failed(int code, const std::string &kind, const std::string &message) {
    out_.record("error", head().add("kind", kind).add("message", message));
    std::fprintf(stderr, "deve-cli: %s: %s\n", command_.c_str(), message.c_str());
    return end(code, json::Array().push(
                         json::Object().add("step", 1).add("command", command_).add("kind", kind).add("reason", message)));
}

int StandaloneRun::fail(const std::string &reason) {
    return end(1, json::Array().push(
                      json::Object().add("step", 1).add("command", command_).add("kind", "fail").add("reason", reason)));
}

int StandaloneRun::end(int code, const json::Array &failures) {
    out_.record("end", json::Object()
                           .add("step", 0)
                           .add("command", "end")
                           .add("verdict", code == 0 ? "pass" : code == 1 ? "fail" : "error")
                           .add("exit_code", code)
                           .add("failures", failures)
                           .add("version", kVersion)
                           .add("host", platform::host_name())
                           .add("meta", json::Object()));
    return code;
}

}  // namespace deve::cli
