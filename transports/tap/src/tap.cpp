// The recording transport: it loads the transport named by XOLT_TAP_TARGET,
// forwards every entry point to it unchanged, and appends each call to the
// trace XOLT_TAP_FILE (docs/traces.md): the entry point, its arguments, its
// result, the values read, when it began and how long it took, and the
// thread that made it.
#define XOLT_BUILDING
#include "xolt/xolt.h"

#include "xolt_trace/link_platform.h"
#include "xolt_trace/trace_format.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

namespace {

namespace platform = xolt_trace::platform;
using xolt_trace::Entry;
using xolt_trace::EntryPoint;

// What every entry point returns when the recording transport could not
// start (no target, a target that is not a transport, no trace file): the
// reason is on standard error.
constexpr std::int32_t kTapNotReady = -100;

constexpr std::array<const char *, 11> kEntryPoints{
    "xolt_init",           "xolt_select",          "xolt_open",        "xolt_close",
    "xolt_read_reg",       "xolt_write_reg",       "xolt_burst_read_reg", "xolt_burst_write_reg",
    "xolt_recv_packet",    "xolt_send_packet",     "xolt_download_fw",
};

struct Target {
    xolt_init_fn init = nullptr;
    xolt_select_fn select = nullptr;
    xolt_open_fn open = nullptr;
    xolt_close_fn close = nullptr;
    xolt_read_reg_fn read_reg = nullptr;
    xolt_write_reg_fn write_reg = nullptr;
    xolt_burst_read_reg_fn burst_read_reg = nullptr;
    xolt_burst_write_reg_fn burst_write_reg = nullptr;
    xolt_recv_packet_fn recv_packet = nullptr;
    xolt_send_packet_fn send_packet = nullptr;
    xolt_download_fw_fn download_fw = nullptr;
    xolt_open_refusal_fn open_refusal = nullptr;  // optional
};

template <typename Fn>
Fn as(void *address) {
    return reinterpret_cast<Fn>(address);
}

class Tap {
public:
    Tap() { ready_ = start(failure_); }
    // When the library unloads the recording transport, the recorded one
    // goes with it, as it would without the recorder.
    ~Tap() {
        if (module_ != nullptr) {
            platform::unload_module(module_);
        }
    }

    bool ready() {
        if (!ready_ && !told_) {
            told_ = true;
            std::fprintf(stderr, "xolt_tap: %s\n", failure_.c_str());
            std::fflush(stderr);
        }
        return ready_;
    }
    const Target &target() const { return target_; }
    std::uint64_t now() const { return platform::monotonic_us() - origin_; }

    void append(Entry &entry, std::uint64_t began) {
        entry.time_us = began;
        entry.duration_us = now() - began;
        entry.thread = platform::thread_id();
        const std::string line = xolt_trace::entry_line(entry);
        std::lock_guard<std::mutex> hold(lock_);
        if (stopped_) {
            return;
        }
        if (!file_.append(line)) {
            // The trace ends with the last whole entry; the link goes on.
            stopped_ = true;
            std::fprintf(stderr, "xolt_tap: cannot append to the trace %s: the trace ends here\n", trace_.c_str());
            std::fflush(stderr);
        }
    }

private:
    bool start(std::string &failure) {
        const std::string target = platform::environment("XOLT_TAP_TARGET");
        trace_ = platform::environment("XOLT_TAP_FILE");
        if (target.empty()) {
            failure = "XOLT_TAP_TARGET is not set: it names the transport to record, by its absolute path";
            return false;
        }
        if (!platform::is_absolute(target)) {
            failure = "XOLT_TAP_TARGET must be an absolute path (it is \"" + target +
                      "\"): the recording transport loads nothing by a bare name or from the current directory";
            return false;
        }
        if (trace_.empty()) {
            failure = "XOLT_TAP_FILE is not set: it names the trace file the calls are appended to";
            return false;
        }
        std::string reason;
        void *module = platform::load_module(target, reason);
        if (module == nullptr) {
            failure = "cannot load the transport to record, " + target + ": " + reason;
            return false;
        }
        std::array<void *, 11> found{};
        std::string missing;
        for (std::size_t i = 0; i < kEntryPoints.size(); ++i) {
            found[i] = platform::find_symbol(module, kEntryPoints[i]);
            if (found[i] == nullptr) {
                missing += (missing.empty() ? "" : ", ") + std::string(kEntryPoints[i]);
            }
        }
        if (!missing.empty()) {
            platform::unload_module(module);
            failure = target + " is not a transport: it lacks " + missing;
            return false;
        }
        if (found[0] == reinterpret_cast<void *>(&xolt_init)) {
            platform::unload_module(module);
            failure = "XOLT_TAP_TARGET names the recording transport itself (" + target +
                      "): name the transport to record";
            return false;
        }
        target_ = Target{as<xolt_init_fn>(found[0]),           as<xolt_select_fn>(found[1]),
                         as<xolt_open_fn>(found[2]),           as<xolt_close_fn>(found[3]),
                         as<xolt_read_reg_fn>(found[4]),       as<xolt_write_reg_fn>(found[5]),
                         as<xolt_burst_read_reg_fn>(found[6]), as<xolt_burst_write_reg_fn>(found[7]),
                         as<xolt_recv_packet_fn>(found[8]),    as<xolt_send_packet_fn>(found[9]),
                         as<xolt_download_fw_fn>(found[10]),
                         as<xolt_open_refusal_fn>(platform::find_symbol(module, "xolt_open_refusal"))};
        if (!open_trace(failure)) {
            platform::unload_module(module);
            target_ = Target{};
            return false;
        }
        module_ = module;
        origin_ = platform::monotonic_us();
        xolt_trace::Section section{platform::process_id(), platform::utc_now(), target};
        if (!file_.append(xolt_trace::section_line(section))) {
            failure = "cannot append to the trace " + trace_;
            return false;
        }
        return true;
    }

    // Opens the trace for appending. A new or empty file gets the trace's
    // first line; an existing one must be a trace of this version, and a
    // line that a killed recorder left cut short is taken off its end, so
    // that the new entries follow whole ones.
    bool open_trace(std::string &failure) {
        const std::filesystem::path path = std::filesystem::u8path(trace_);
        std::error_code ec;
        const bool exists = std::filesystem::exists(path, ec);
        if (exists && !std::filesystem::is_regular_file(path, ec)) {
            failure = "the trace " + trace_ + " is not a regular file";
            return false;
        }
        std::string text;
        if (exists) {
            std::ifstream in(path, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        if (!text.empty()) {
            if (text.compare(0, xolt_trace::header_line().size(), xolt_trace::header_line()) != 0) {
                failure = trace_ + " is not a trace of version " + std::to_string(xolt_trace::kTraceVersion) +
                          ": the recording transport appends to such traces only; name a new file";
                return false;
            }
            if (text.back() != '\n') {
                std::filesystem::resize_file(path, text.rfind('\n') + 1, ec);
                if (ec) {
                    failure = "cannot take the cut last line off the trace " + trace_ + ": " + ec.message();
                    return false;
                }
            }
        }
        std::string reason;
        if (!file_.open(trace_, reason)) {
            failure = "cannot open the trace " + trace_ + " for appending: " + reason;
            return false;
        }
        if (text.empty() && !file_.append(xolt_trace::header_line())) {
            failure = "cannot write the trace " + trace_;
            return false;
        }
        return true;
    }

    bool ready_ = false;
    bool told_ = false;
    std::string failure_;
    std::string trace_;
    Target target_;
    void *module_ = nullptr;
    platform::AppendFile file_;
    std::uint64_t origin_ = 0;
    std::mutex lock_;
    bool stopped_ = false;
};

// Made at the first call from any thread; gone when the module is unloaded.
Tap &tap() {
    static Tap instance;
    return instance;
}

// One recorded call: its entry point and arguments; the values read are
// added once the target has answered.
struct Call {
    Entry entry;
    std::uint64_t began;
    explicit Call(EntryPoint point, std::initializer_list<std::uint32_t> args = {}) : began(tap().now()) {
        entry.entry = point;
        entry.args = args;
    }
    std::int32_t done(std::int32_t result) {
        entry.result = result;
        tap().append(entry, began);
        return result;
    }
};

std::uint32_t word(std::int32_t v) { return static_cast<std::uint32_t>(v); }

}  // namespace

extern "C" {

XOLT_API int32_t xolt_init(void) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::Init);
    return call.done(tap().target().init());
}

XOLT_API int32_t xolt_select(int32_t selector) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::Select, {word(selector)});
    return call.done(tap().target().select(selector));
}

XOLT_API int32_t xolt_open(void) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::Open);
    return call.done(tap().target().open());
}

XOLT_API int32_t xolt_close(void) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::Close);
    return call.done(tap().target().close());
}

XOLT_API int32_t xolt_read_reg(uint32_t address, uint32_t *value) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::ReadReg, {address});
    const std::int32_t result = tap().target().read_reg(address, value);
    call.entry.values = {value != nullptr ? *value : 0u};
    return call.done(result);
}

XOLT_API int32_t xolt_write_reg(uint32_t address, uint32_t value) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::WriteReg, {address, value});
    return call.done(tap().target().write_reg(address, value));
}

XOLT_API int32_t xolt_burst_read_reg(uint32_t address, uint32_t *values, uint32_t count) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::BurstReadReg, {address, count});
    const std::int32_t result = tap().target().burst_read_reg(address, values, count);
    if (values != nullptr) {
        call.entry.values.assign(values, values + count);
    }
    return call.done(result);
}

XOLT_API int32_t xolt_burst_write_reg(uint32_t address, const uint32_t *values, uint32_t count) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::BurstWriteReg, {address, count});
    if (values != nullptr) {
        call.entry.args.insert(call.entry.args.end(), values, values + count);
    } else {
        call.entry.args[1] = 0;
    }
    return call.done(tap().target().burst_write_reg(address, values, count));
}

XOLT_API int32_t xolt_recv_packet(uint8_t *buffer, uint32_t capacity, uint32_t *length) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::RecvPacket, {capacity});
    const std::int32_t result = tap().target().recv_packet(buffer, capacity, length);
    const std::uint32_t got = length != nullptr ? *length : 0u;
    call.entry.values = {got};
    if (buffer != nullptr && got <= capacity) {
        call.entry.bytes.assign(reinterpret_cast<const char *>(buffer), got);
    }
    return call.done(result);
}

XOLT_API int32_t xolt_send_packet(const uint8_t *buffer, uint32_t length) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::SendPacket, {buffer != nullptr ? length : 0u});
    if (buffer != nullptr) {
        call.entry.bytes.assign(reinterpret_cast<const char *>(buffer), length);
    }
    return call.done(tap().target().send_packet(buffer, length));
}

XOLT_API int32_t xolt_download_fw(const uint8_t *image, uint32_t length) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::DownloadFw, {image != nullptr ? length : 0u});
    if (image != nullptr) {
        call.entry.bytes.assign(reinterpret_cast<const char *>(image), length);
    }
    return call.done(tap().target().download_fw(image, length));
}

// The target's own answer when it has the entry point; "cannot say why"
// (non-zero, both outputs left alone) when it has not.
XOLT_API int32_t xolt_open_refusal(int32_t *reason, int32_t *holder) {
    if (!tap().ready()) return kTapNotReady;
    Call call(EntryPoint::OpenRefusal);
    const xolt_open_refusal_fn explain = tap().target().open_refusal;
    const std::int32_t result = explain != nullptr ? explain(reason, holder) : 1;
    call.entry.values = {word(reason != nullptr ? *reason : 0), word(holder != nullptr ? *holder : 0)};
    return call.done(result);
}

}  // extern "C"
