// The replay transport: plays a trace (XOLT_REPLAY_FILE) back with no board.
// Every call is checked against the trace in order and answered with what
// the recorded call returned: its result and the values it read. At the
// first call that differs it says where, on standard error, and fails every
// call from then on. The rules of both modes are in docs/traces.md.
#define XOLT_BUILDING
#include "xolt/xolt.h"

#include "replay_script.h"
#include "xolt_trace/link_platform.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <mutex>
#include <string>

namespace {

namespace platform = xolt_trace::platform;
using xolt_replay::Answer;
using xolt_replay::Script;
using xolt_trace::Entry;
using xolt_trace::EntryPoint;

// What every call returns when the trace could not be read, and after the
// replay has left the trace.
constexpr std::int32_t kReplayNotReady = -101;
constexpr std::int32_t kReplayDiverged = -102;

class Replay {
public:
    Replay() {
        const std::string file = platform::environment("XOLT_REPLAY_FILE");
        const std::string mode = platform::environment("XOLT_REPLAY_MODE");
        const std::string section = platform::environment("XOLT_REPLAY_SECTION");
        if (file.empty()) {
            failure_ = "XOLT_REPLAY_FILE is not set: it names the trace to play back";
            return;
        }
        xolt_replay::Options options;
        if (mode == "writes") {
            options.writes_only = true;
        } else if (!mode.empty() && mode != "strict") {
            failure_ = "XOLT_REPLAY_MODE is \"" + mode + "\": it is strict (the default) or writes";
            return;
        }
        if (!section.empty()) {
            char *end = nullptr;
            const unsigned long n = std::strtoul(section.c_str(), &end, 10);
            if (*end != '\0' || n == 0 || section[0] == '-' || n > 1000000) {
                failure_ = "XOLT_REPLAY_SECTION is \"" + section + "\": it is the number of a section, 1 or more";
                return;
            }
            options.section = n;
        }
        const xolt_trace::ReadResult read = xolt_trace::read_trace(file);
        if (!read.trace) {
            failure_ = read.error;
            return;
        }
        std::string error;
        script_ = xolt_replay::make_script(*read.trace, options, error);
        if (!script_) {
            failure_ = file + ": " + error;
        }
    }

    // The answer to a call, or a failure when the trace cannot be played or
    // the call differs from it.
    Answer answer(const Entry &call) {
        std::lock_guard<std::mutex> hold(lock_);
        if (!script_) {
            if (!told_) {
                told_ = true;
                std::fprintf(stderr, "xolt_replay: %s\n", failure_.c_str());
                std::fflush(stderr);
            }
            return Answer{false, kReplayNotReady, {}, {}};
        }
        Answer a = script_->next(call);
        if (!a.matched) {
            a.result = kReplayDiverged;
            if (!told_) {
                told_ = true;
                std::fprintf(stderr, "xolt_replay: %s\n", script_->divergence().c_str());
                std::fflush(stderr);
            }
        }
        return a;
    }

private:
    std::mutex lock_;
    std::optional<Script> script_;
    std::string failure_;
    bool told_ = false;
};

Replay &replay() {
    static Replay instance;
    return instance;
}

Entry call_of(EntryPoint point, std::initializer_list<std::uint32_t> args = {}) {
    Entry e;
    e.entry = point;
    e.args = args;
    return e;
}

std::uint32_t word(std::int32_t v) { return static_cast<std::uint32_t>(v); }

}  // namespace

extern "C" {

XOLT_API int32_t xolt_init(void) { return replay().answer(call_of(EntryPoint::Init)).result; }

XOLT_API int32_t xolt_select(int32_t selector) {
    return replay().answer(call_of(EntryPoint::Select, {word(selector)})).result;
}

XOLT_API int32_t xolt_open(void) { return replay().answer(call_of(EntryPoint::Open)).result; }

XOLT_API int32_t xolt_close(void) { return replay().answer(call_of(EntryPoint::Close)).result; }

XOLT_API int32_t xolt_read_reg(uint32_t address, uint32_t *value) {
    const Answer a = replay().answer(call_of(EntryPoint::ReadReg, {address}));
    if (a.matched && value != nullptr) {
        *value = a.values.at(0);
    }
    return a.result;
}

XOLT_API int32_t xolt_write_reg(uint32_t address, uint32_t value) {
    return replay().answer(call_of(EntryPoint::WriteReg, {address, value})).result;
}

XOLT_API int32_t xolt_burst_read_reg(uint32_t address, uint32_t *values, uint32_t count) {
    const Answer a = replay().answer(call_of(EntryPoint::BurstReadReg, {address, count}));
    if (a.matched && values != nullptr) {
        for (std::size_t i = 0; i < a.values.size() && i < count; ++i) {
            values[i] = a.values[i];
        }
    }
    return a.result;
}

XOLT_API int32_t xolt_burst_write_reg(uint32_t address, const uint32_t *values, uint32_t count) {
    Entry call = call_of(EntryPoint::BurstWriteReg, {address, values != nullptr ? count : 0u});
    if (values != nullptr) {
        call.args.insert(call.args.end(), values, values + count);
    }
    return replay().answer(call).result;
}

XOLT_API int32_t xolt_recv_packet(uint8_t *buffer, uint32_t capacity, uint32_t *length) {
    const Answer a = replay().answer(call_of(EntryPoint::RecvPacket, {capacity}));
    if (a.matched) {
        if (length != nullptr) {
            *length = a.values.at(0);
        }
        if (buffer != nullptr && a.bytes.size() <= capacity) {
            std::memcpy(buffer, a.bytes.data(), a.bytes.size());
        }
    }
    return a.result;
}

XOLT_API int32_t xolt_send_packet(const uint8_t *buffer, uint32_t length) {
    Entry call = call_of(EntryPoint::SendPacket, {buffer != nullptr ? length : 0u});
    if (buffer != nullptr) {
        call.bytes.assign(reinterpret_cast<const char *>(buffer), length);
    }
    return replay().answer(call).result;
}

XOLT_API int32_t xolt_download_fw(const uint8_t *image, uint32_t length) {
    Entry call = call_of(EntryPoint::DownloadFw, {image != nullptr ? length : 0u});
    if (image != nullptr) {
        call.bytes.assign(reinterpret_cast<const char *>(image), length);
    }
    return replay().answer(call).result;
}

XOLT_API int32_t xolt_open_refusal(int32_t *reason, int32_t *holder) {
    const Answer a = replay().answer(call_of(EntryPoint::OpenRefusal));
    if (a.matched && a.result == 0) {
        if (reason != nullptr) {
            *reason = static_cast<std::int32_t>(a.values.at(0));
        }
        if (holder != nullptr) {
            *holder = static_cast<std::int32_t>(a.values.at(1));
        }
    }
    return a.result;
}

}  // extern "C"
