// The simulated board behind the eleven transport entry points: a host link
// that must be initialised, given an interface and opened before register
// accesses reach the chip model, with an optional per-access latency that
// mimics USB timing.
#include "calibration_engine.h"
#include "chip_model.h"
#include "efuse_controller.h"
#include "fuse_file.h"
#include "pa_model.h"
#include "rx_counters.h"
#include "temperature_sensor.h"
#include "settings.h"

#define XOLT_BUILDING
#include "xolt/xolt.h"
#include "xolt/xolt_sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace xolt {

namespace {

// Result codes of the board's link.
constexpr std::int32_t XOLT_OK = 0;
constexpr std::int32_t XOLT_ERR_NOT_READY = -2;     // not initialised / no interface chosen
constexpr std::int32_t XOLT_ERR_BAD_SELECTOR = -3;  // interface other than USB or SDIO
constexpr std::int32_t XOLT_ERR_NOT_OPEN = -4;      // register access while the link is closed
constexpr std::int32_t XOLT_ERR_BAD_ARGUMENT = -5;
constexpr std::int32_t XOLT_ERR_UNSUPPORTED = -6;

struct Link {
    std::mutex lock;
    bool initialised = false;
    std::int32_t selector = 0;
    // While the link is open: the board this process holds, and the chip
    // powered up on it (destroyed before the board).
    std::unique_ptr<FuseFile> board;
    std::unique_ptr<ChipModel> chip;
    // After a refused open: why (XOLT_REFUSED_*; 0 when the board cannot
    // say, or the last open was not refused) and, when another process holds
    // the board, that process's id (0 when it cannot be told).
    std::int32_t refusal = 0;
    std::uint32_t busy_holder = 0;
    // Register accesses carried since the library was loaded (for timing
    // figures: time on the link = accesses x latency).
    std::uint64_t accesses = 0;
};

Link &link() {
    static Link instance;
    return instance;
}

// Counts one register access and busy-waits the link latency: a sleep this
// short overshoots by more than the latency itself on a desktop kernel.
void link_delay(const ChipModel &chip) {
    ++link().accesses;
    const std::uint32_t us = chip.settings().link_latency_us;
    if (us == 0) {
        return;
    }
    const auto due = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
    while (std::chrono::steady_clock::now() < due) {
    }
}

// The board's settings refused: xolt_open's result, remembered for
// xolt_open_refusal.
std::int32_t refuse_settings() {
    link().refusal = XOLT_REFUSED_SETTINGS;
    return XOLT_SIM_ERR_SETTINGS;
}

std::int32_t refuse_fuse_file(const platform::Path &file, const std::string &error) {
    std::fprintf(stderr, "xolt: board not powered: cannot use the fuse file %s (XOLT_FUSE_FILE): %s\n",
                 file.u8string().c_str(), error.c_str());
    link().refusal = XOLT_REFUSED_STATE_FILE;
    return XOLT_SIM_ERR_SETTINGS;
}

}  // namespace

}  // namespace xolt

using namespace xolt;

extern "C" {

XOLT_API int32_t xolt_init(void) {
    std::lock_guard<std::mutex> guard(link().lock);
    link().initialised = true;
    return XOLT_OK;
}

XOLT_API int32_t xolt_select(int32_t selector) {
    std::lock_guard<std::mutex> guard(link().lock);
    if (!link().initialised) {
        return XOLT_ERR_NOT_READY;
    }
    if (selector != XOLT_SELECT_USB && selector != XOLT_SELECT_SDIO) {
        return XOLT_ERR_BAD_SELECTOR;
    }
    link().selector = selector;
    return XOLT_OK;
}

XOLT_API int32_t xolt_open(void) {
    std::lock_guard<std::mutex> guard(link().lock);
    link().refusal = 0;
    link().busy_holder = 0;
    if (!link().initialised || link().selector == 0) {
        return XOLT_ERR_NOT_READY;
    }
    // Opening the link powers the board up: its settings are read now, and a
    // fresh chip model comes up over the board's persistent fuse array.
    std::string error;
    const std::optional<BoardSettings> settings = read_settings(error);
    if (!settings) {
        std::fprintf(stderr, "xolt: board not powered: %s\n", error.c_str());
        return refuse_settings();
    }
    if (settings->open_fault) {
        return *settings->open_fault;
    }
    const platform::Path board = FuseFile::board_of(settings->fuse_file, error);
    if (board.empty()) {
        return refuse_fuse_file(settings->fuse_file, error);
    }
    // Opening again without a close (rf_init twice) keeps the hold.
    std::unique_ptr<FuseFile> taken;
    FuseFile *fuses = link().board.get();
    if (fuses == nullptr || !fuses->held_here() || fuses->path() != board) {
        FuseFile::Taken take = FuseFile::take(board);
        if (take.busy) {
            link().refusal = XOLT_REFUSED_BUSY;
            link().busy_holder = take.holder;
            // A holder that could not write its id (a full disk) is still a holder.
            const std::string holder =
                take.holder != 0 ? "process " + std::to_string(take.holder) : std::string("another process");
            std::fprintf(stderr, "xolt: board busy: its fuse file %s is held by %s\n", board.u8string().c_str(),
                         holder.c_str());
            return XOLT_SIM_ERR_BUSY;
        }
        if (!take.file) {
            return refuse_fuse_file(board, take.error);
        }
        taken = std::move(take.file);
        fuses = taken.get();
    }
    if (!fuses->load(settings->fresh_chip_id, error)) {
        return refuse_fuse_file(board, error);
    }
    link().chip = std::make_unique<ChipModel>(*settings, *fuses);
    if (settings->trace) {
        std::fprintf(stderr, "xolt: link open\n");
    }
    if (taken) {
        link().board = std::move(taken);
    }
    return XOLT_OK;
}

XOLT_API int32_t xolt_close(void) {
    std::lock_guard<std::mutex> guard(link().lock);
    if (!link().chip) {
        return XOLT_ERR_NOT_OPEN;
    }
    if (link().chip->settings().trace) {
        std::fprintf(stderr, "xolt: link closed\n");
    }
    link().chip.reset();
    link().board.reset();
    link().selector = 0;
    link().initialised = false;
    return XOLT_OK;
}

XOLT_API int32_t xolt_read_reg(uint32_t address, uint32_t *value) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    if (value == nullptr) {
        return XOLT_ERR_BAD_ARGUMENT;
    }
    link_delay(*chip);
    *value = chip->read(address);
    if (chip->settings().trace) {
        std::fprintf(stderr, "xolt: read  0x%08X -> 0x%08X\n", address, *value);
    }
    return XOLT_OK;
}

XOLT_API int32_t xolt_write_reg(uint32_t address, uint32_t value) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    link_delay(*chip);
    chip->write(address, value);
    if (chip->settings().trace) {
        std::fprintf(stderr, "xolt: write 0x%08X <- 0x%08X\n", address, value);
    }
    return XOLT_OK;
}

XOLT_API int32_t xolt_burst_read_reg(uint32_t address, uint32_t *values, uint32_t count) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    if (values == nullptr && count != 0) {
        return XOLT_ERR_BAD_ARGUMENT;
    }
    for (uint32_t i = 0; i < count; ++i) {
        link_delay(*chip);
        values[i] = chip->read(address + 4 * i);
    }
    return XOLT_OK;
}

XOLT_API int32_t xolt_burst_write_reg(uint32_t address, const uint32_t *values, uint32_t count) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    if (values == nullptr && count != 0) {
        return XOLT_ERR_BAD_ARGUMENT;
    }
    for (uint32_t i = 0; i < count; ++i) {
        link_delay(*chip);
        chip->write(address + 4 * i, values[i]);
    }
    return XOLT_OK;
}

// The board carries no packet path and no firmware loader: these entry points
// exist for the transport's shape and say so in their result.
XOLT_API int32_t xolt_recv_packet(uint8_t *, uint32_t, uint32_t *length) {
    if (length != nullptr) {
        *length = 0;
    }
    return XOLT_ERR_UNSUPPORTED;
}

XOLT_API int32_t xolt_send_packet(const uint8_t *, uint32_t) { return XOLT_ERR_UNSUPPORTED; }

XOLT_API int32_t xolt_download_fw(const uint8_t *, uint32_t) { return XOLT_ERR_UNSUPPORTED; }

XOLT_API int32_t xolt_open_refusal(int32_t *reason, int32_t *holder) {
    std::lock_guard<std::mutex> guard(link().lock);
    if (link().refusal == 0) {
        return XOLT_ERR_NOT_READY;
    }
    if (reason == nullptr || holder == nullptr) {
        return XOLT_ERR_BAD_ARGUMENT;
    }
    *reason = link().refusal;
    *holder = static_cast<int32_t>(link().busy_holder);
    return XOLT_OK;
}

XOLT_API int32_t xolt_sim_board_holder(void) {
    std::lock_guard<std::mutex> guard(link().lock);
    return static_cast<int32_t>(link().busy_holder);
}

XOLT_API int32_t xolt_sim_read_fuses(uint32_t *words, uint32_t count) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr || words == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    const auto *efuse = chip->block<EfuseController>();
    for (uint32_t i = 0; i < count && i < EfuseController::DATA_WORDS; ++i) {
        words[i] = efuse->fuses()[i];
    }
    return XOLT_OK;
}

XOLT_API int32_t xolt_sim_calibration_count(uint32_t *count) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr || count == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    *count = static_cast<uint32_t>(chip->block<CalibrationEngine>()->log().size());
    return XOLT_OK;
}

XOLT_API int32_t xolt_sim_calibration_at(uint32_t i, uint32_t *index, uint32_t *channel, uint32_t *active_us) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr || index == nullptr || channel == nullptr || active_us == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    chip->settle();
    const auto &log = chip->block<CalibrationEngine>()->log();
    if (i >= log.size()) {
        return XOLT_ERR_BAD_ARGUMENT;
    }
    const CalibrationRun &run = log[i];
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(run.end - run.start).count();
    *index = run.index;
    *channel = run.channel;
    *active_us = static_cast<uint32_t>(std::min<long long>(us, std::numeric_limits<uint32_t>::max()));
    return XOLT_OK;
}

XOLT_API int32_t xolt_sim_packet_error_rate(double *rate) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr || rate == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    *rate = chip->block<RxCounters>()->current_error_rate();
    return XOLT_OK;
}

XOLT_API int32_t xolt_sim_die_temperature(double *celsius) {
    std::lock_guard<std::mutex> guard(link().lock);
    ChipModel *chip = link().chip.get();
    if (chip == nullptr || celsius == nullptr) {
        return XOLT_ERR_NOT_OPEN;
    }
    chip->settle();
    *celsius = chip->block<TemperatureSensor>()->die_celsius();
    return XOLT_OK;
}

XOLT_API double xolt_sim_pa_amplitude(uint32_t channel, double drive) {
    return pa_amplitude(pa_for_channel(channel), drive);
}

XOLT_API uint64_t xolt_sim_access_count(void) {
    std::lock_guard<std::mutex> guard(link().lock);
    return link().accesses;
}

}  // extern "C"
