#include "progress.h"

namespace deve::cli {

namespace {

constexpr std::chrono::milliseconds kRedraw{100};
constexpr char kSpinner[] = {'|', '/', '-', '\\'};

}  // namespace

Progress::Progress(std::FILE *terminal) : terminal_(terminal) {
    if (terminal_ != nullptr) {
        drawer_ = std::thread([this] { draw_loop(); });
    }
}

Progress::~Progress() {
    if (drawer_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        drawer_.join();
    }
}

void Progress::begin(const std::string &task) {
    if (terminal_ == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        active_ = true;
        task_ = task;
        step_.clear();
        started_ = std::chrono::steady_clock::now();
        draw(false);
    }
    wake_.notify_all();
}

void Progress::step(const std::string &what) {
    if (terminal_ == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (active_) {
        step_ = what;
        draw(false);
    }
}

void Progress::end() {
    if (terminal_ == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (active_) {
        active_ = false;
        draw(true);
    }
}

// Called with the lock held.
void Progress::draw(bool final) {
    if (final) {
        std::fputs("\r\033[K", terminal_);
    } else {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        std::fprintf(terminal_, "\r\033[K%c %s%s%s (%.1f s)", kSpinner[frame_++ % sizeof kSpinner], task_.c_str(),
                     step_.empty() ? "" : ": ", step_.c_str(), seconds);
    }
    std::fflush(terminal_);
}

void Progress::draw_loop() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!quit_) {
        wake_.wait_for(guard, kRedraw);
        if (active_ && !quit_) {
            draw(false);
        }
    }
}

std::int32_t ProgressApi::rf_init(std::int32_t selector) {
    progress_.step("opening the link");
    return api_.rf_init(selector);
}

std::int32_t ProgressApi::rf_load_register() {
    progress_.step("loading the register table");
    return api_.rf_load_register();
}

std::int32_t ProgressApi::rf_calibration() {
    progress_.step("calibrating");
    return api_.rf_calibration();
}

std::int32_t ProgressApi::rf_2g_5g_padpd_cali(std::int32_t enable) {
    progress_.step("pre-distortion calibration");
    return api_.rf_2g_5g_padpd_cali(enable);
}

std::int32_t ProgressApi::rf_efuse_read_chip_id(std::uint32_t *chip_id) {
    progress_.step("reading the chip identifier");
    return api_.rf_efuse_read_chip_id(chip_id);
}

std::int32_t ProgressApi::rf_efuse_read_tx_power1(std::uint8_t *high, std::uint8_t *low) {
    progress_.step("applying the eFuse trims");
    return api_.rf_efuse_read_tx_power1(high, low);
}

}  // namespace deve::cli
