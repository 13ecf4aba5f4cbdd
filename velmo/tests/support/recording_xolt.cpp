// The recording transport (see recording.h).
#define XOLT_BUILDING
#include "xolt/xolt.h"

#include "recording.h"

#include <string>

namespace {

recording::State &state() {
    static recording::State instance;
    return instance;
}

}  // namespace

extern "C" {

XOLT_API recording::State *recording_state() { return &state(); }

XOLT_API int32_t xolt_init(void) {
    state().calls.push_back("xolt_init");
    return state().init_result;
}

XOLT_API int32_t xolt_select(int32_t selector) {
    state().calls.push_back("xolt_select " + std::to_string(selector));
    return state().select_result;
}

XOLT_API int32_t xolt_open(void) {
    state().calls.push_back("xolt_open");
    return state().open_result;
}

XOLT_API int32_t xolt_close(void) {
    state().calls.push_back("xolt_close");
    return state().close_result;
}

XOLT_API int32_t xolt_read_reg(uint32_t address, uint32_t *value) {
    recording::State &s = state();
    uint32_t delivered = 0;
    auto script = s.scripted.find(address);
    if (script != s.scripted.end() && !script->second.empty()) {
        delivered = script->second.front();
        script->second.pop_front();
    } else {
        auto it = s.memory.find(address);
        delivered = it == s.memory.end() ? 0 : it->second;
    }
    if (s.reads_deliver && value != nullptr) {
        *value = delivered;
    }
    s.log.push_back(recording::R(address, delivered));
    return s.read_result;
}

XOLT_API int32_t xolt_write_reg(uint32_t address, uint32_t value) {
    recording::State &s = state();
    s.log.push_back(recording::W(address, value));
    s.memory[address] = value;
    if (s.on_write) {
        s.on_write(s, address, value);
    }
    return s.write_result;
}

XOLT_API int32_t xolt_burst_read_reg(uint32_t, uint32_t *, uint32_t) { return -1; }
XOLT_API int32_t xolt_burst_write_reg(uint32_t, const uint32_t *, uint32_t) { return -1; }
XOLT_API int32_t xolt_recv_packet(uint8_t *, uint32_t, uint32_t *) { return -1; }
XOLT_API int32_t xolt_send_packet(const uint8_t *, uint32_t) { return -1; }
#if !defined(RECORDING_WITHOUT_DOWNLOAD_FW)
XOLT_API int32_t xolt_download_fw(const uint8_t *, uint32_t) { return -1; }
#endif

}  // extern "C"
