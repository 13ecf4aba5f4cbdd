// The connection to the chip: loading the xolt transport, resolving its
// eleven entry points, opening and closing the link, and the register
// forwarders that the console uses for direct register access.
#include "bus.h"
#include "load_failure.h"
#include "platform.h"
#include "velmo/velmo.h"

#define XOLT_NO_PROTOTYPES
#include "xolt/xolt.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace velmo {

namespace {

// The transport's entry points, resolved once by load_transport.
struct Transport {
    xolt_init_fn init;
    xolt_select_fn select;
    xolt_open_fn open;
    xolt_close_fn close;
    xolt_read_reg_fn read_reg;
    xolt_write_reg_fn write_reg;
    xolt_burst_read_reg_fn burst_read_reg;
    xolt_burst_write_reg_fn burst_write_reg;
    xolt_recv_packet_fn recv_packet;
    xolt_send_packet_fn send_packet;
    xolt_download_fw_fn download_fw;
};

// The entry-point names, in the order they are looked up.
constexpr std::array<const char *, 11> kEntryPointNames{
    "xolt_init",           "xolt_select",          "xolt_open",        "xolt_close",
    "xolt_read_reg",       "xolt_write_reg",       "xolt_burst_read_reg", "xolt_burst_write_reg",
    "xolt_recv_packet",    "xolt_send_packet",     "xolt_download_fw",
};

template <typename Fn>
Fn as(void *address) {
    return reinterpret_cast<Fn>(address);
}

// The resolved addresses, in the order of kEntryPointNames, as typed pointers.
Transport bind(const std::array<void *, 11> &a) {
    return Transport{as<xolt_init_fn>(a[0]),           as<xolt_select_fn>(a[1]),
                     as<xolt_open_fn>(a[2]),           as<xolt_close_fn>(a[3]),
                     as<xolt_read_reg_fn>(a[4]),       as<xolt_write_reg_fn>(a[5]),
                     as<xolt_burst_read_reg_fn>(a[6]), as<xolt_burst_write_reg_fn>(a[7]),
                     as<xolt_recv_packet_fn>(a[8]),    as<xolt_send_packet_fn>(a[9]),
                     as<xolt_download_fw_fn>(a[10])};
}

platform::ModuleHandle module = nullptr;
Transport transport{};
std::int32_t connected = 0;
// Why the last load of the transport failed, in plain words; empty after a
// load that succeeded.
std::string load_failure;

// The line after a loader error that says why. Reading the file may fail
// (out of memory for a huge one); no exception leaves rf_init.
template <typename Reason>
void explain(Reason reason) noexcept {
    try {
        load_failure = reason();
    } catch (const std::exception &) {
        load_failure = "the file could not be read to say why";
    }
    log("ERROR: %s\n", load_failure.c_str());
}

// The file the loaded transport came from, as the system tells it (UTF-8);
// empty while no transport is loaded.
std::string module_file;

// The transport file: XOLT_LIBRARY when set and non-empty, else the
// platform's default name.
std::string transport_file() {
    std::string file = platform::environment("XOLT_LIBRARY");
    return file.empty() ? std::string(platform::default_transport_name()) : file;
}

// 0 = loaded (or already loaded), 1 = failed.
int load_transport() {
    if (module != nullptr) {
        log("ERROR: xolt dll alreay loaded\n");
        return 0;
    }
    load_failure.clear();
    const std::string file = transport_file();
    LoadFailure failure;
    module = platform::load_module(file, failure);
    if (module == nullptr) {
        log("ERROR: unable to load %s\n", file.c_str());
        explain([&failure] {
            return explain_load_failure(platform::own_module(), failure,
                                        read_file_head(failure.path, kExplainReadLimit));
        });
        return 1;
    }
    // Every name is looked up, even after a missing one.
    std::array<void *, 11> addresses{};
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
        addresses[i] = platform::find_symbol(module, kEntryPointNames[i]);
        if (addresses[i] == nullptr) {
            missing.emplace_back(kEntryPointNames[i]);
        }
    }
    transport = bind(addresses);
    if (missing.empty()) {
        module_file = platform::module_path(module);
        return 0;
    }
    log("ERROR: unable to find DLL api\n");
    explain([&file, &missing] {
        const std::string path = platform::module_path(module);
        return explain_missing_entry_points(path.empty() ? file : path, missing,
                                            read_file_head(path, kExplainReadLimit));
    });
    platform::unload_module(module);
    module = nullptr;
    transport = Transport{};
    return 1;
}

void unload_transport() {
    if (module == nullptr) {
        log("ERROR: xolt dll alreay unload\n");
        return;
    }
    if (platform::unload_module(module)) {
        transport = Transport{};
    }
    module = nullptr;
    module_file.clear();
}

}  // namespace

bool transport_loaded() {
    return module != nullptr && transport.read_reg != nullptr && transport.write_reg != nullptr;
}

std::uint32_t reg_read(std::uint32_t address) {
    std::uint32_t value = 0;
    transport.read_reg(address, &value);
    return value;
}

void reg_write(std::uint32_t address, std::uint32_t value) { transport.write_reg(address, value); }

std::uint32_t reg_rmw(std::uint32_t address, std::uint32_t keep, std::uint32_t set) {
    const std::uint32_t value = (reg_read(address) & keep) | set;
    reg_write(address, value);
    return value;
}

void timer_delay(std::int64_t units_100ns) { platform::timer_delay(units_100ns); }

void sleep_ms(std::uint32_t ms) { platform::sleep_ms(ms); }

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t rf_init(int32_t selector) {
    if (load_transport() != 0) {
        log("rf_init %d fails\n", -1);
        return -1;
    }
    if (transport.init() != 0) {
        log("[velmo] xolt_init_impl fail\n");
        return -1;
    }
    if (transport.select(selector) != 0) {
        log("[velmo] xolt_select_impl %d fail\n", selector);
        return -1;
    }
    const std::int32_t result = transport.open();
    if (result == 0) {
        connected = 1;
        return 0;
    }
    log("rf_init %d fails\n", result);
    return result;
}

VELMO_API int32_t rf_deinit(void) {
    if (connected == 0) {
        return -1;
    }
    const std::int32_t result = transport.close();
    unload_transport();
    connected = 0;
    return result;
}

VELMO_API int32_t velmo_transport_failure(char *text, int32_t size) {
    if (text != nullptr && size > 0) {
        const std::size_t n = std::min(load_failure.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(text, load_failure.data(), n);
        text[n] = '\0';
    }
    return static_cast<int32_t>(load_failure.size());
}

VELMO_API int32_t xolt_read_reg(uint32_t address, uint32_t *value) {
    if (!transport_loaded()) {
        return -1;
    }
    return transport.read_reg(address, value);
}

VELMO_API int32_t xolt_write_reg(uint32_t address, uint32_t value) {
    if (!transport_loaded()) {
        return -1;
    }
    return transport.write_reg(address, value);
}

VELMO_API int32_t velmo_transport_path(char *buffer, int32_t size) {
    if (size < 0 || (buffer == nullptr && size != 0)) {
        return -1;
    }
    const std::string &path = module_file;
    const auto length = static_cast<int32_t>(path.size());
    if (size == 0) {
        return length;
    }
    // The whole path or nothing: a path cut short would name another file.
    if (length < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
    } else {
        buffer[0] = '\0';
    }
    return length;
}

}  // extern "C"
