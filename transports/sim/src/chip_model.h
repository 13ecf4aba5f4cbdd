// The simulated chip: a register file with reset values, and behaviour
// grouped into blocks (eFuse controller, radio blocks) that claim the
// addresses they implement. Addresses no block claims are plain storage: they
// read their reset value (0 unless the reset table names one) until written,
// and then read back what was written.
//
// Time on the chip runs in real time and is evaluated lazily: before every
// register access the model brings each block up to the access time, so a
// block integrates what happened since the previous access (frames sent or
// received, die heating) under the register state that held all that while.
// The access then takes effect. There are no threads.
#pragma once

#include "settings.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace xolt {

using Clock = std::chrono::steady_clock;

class RegisterFile {
public:
    explicit RegisterFile(const BoardSettings &settings);

    std::uint32_t get(std::uint32_t address) const;
    void set(std::uint32_t address, std::uint32_t value);

private:
    std::unordered_map<std::uint32_t, std::uint32_t> values_;
};

// One block of the chip. A block sees every access to the addresses it owns;
// it may keep its own state or use the register file for plain storage.
class Block {
public:
    virtual ~Block() = default;
    virtual bool owns(std::uint32_t address) const = 0;
    virtual std::uint32_t read(std::uint32_t address) = 0;
    virtual void write(std::uint32_t address, std::uint32_t value) = 0;
    // Called after every write that no block owns, so a block can follow
    // registers that it only watches (the mode register, for example).
    virtual void observe(std::uint32_t /*address*/, std::uint32_t /*value*/) {}
    // Called before every access with the access time: the block advances
    // its own time-driven state to `now`.
    virtual void settle(Clock::time_point /*now*/) {}
};

class FuseFile;

class ChipModel {
public:
    // A chip powered up on the board whose fuse array `fuse_file` keeps; the
    // file must outlive the model.
    ChipModel(const BoardSettings &settings, FuseFile &fuse_file);
    ~ChipModel();
    ChipModel(const ChipModel &) = delete;
    ChipModel &operator=(const ChipModel &) = delete;

    std::uint32_t read(std::uint32_t address);
    void write(std::uint32_t address, std::uint32_t value);

    RegisterFile &registers() { return registers_; }
    const BoardSettings &settings() const { return settings_; }

    // Finds a block by type (for the board's test queries).
    template <typename T>
    T *block() {
        for (auto &b : blocks_) {
            if (auto *typed = dynamic_cast<T *>(b.get())) {
                return typed;
            }
        }
        return nullptr;
    }

    // Brings every block up to the present (each access does this first).
    void settle();

private:
    Block *owner(std::uint32_t address) const;

    BoardSettings settings_;
    RegisterFile registers_;
    std::vector<std::unique_ptr<Block>> blocks_;
};

}  // namespace xolt
