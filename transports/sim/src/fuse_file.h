// The file that keeps a board's fuse array between power-ups, and this
// process's hold on the board that the file stands for.
//
// A board is known by the canonical path of its fuse file. Holding it means
// holding a lock in the board's lock file beside the fuse file
// ("<fuse file>.lock"), whose text is the holder's process id; the operating
// system drops the lock when the holder ends, however it ends. A store takes
// a second lock of the same file for its own length and ORs the array into
// what the file holds, so no writer, however stale its copy, can clear a
// fuse. Both locks are taken through the one open lock file, so neither can
// wait on the other.
#pragma once

#include "platform.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace xolt {

using FuseWords = std::array<std::uint32_t, 8>;

// "it is a FIFO, not a regular file".
std::string not_a_regular_file(std::filesystem::file_type type);

class FuseFile {
public:
    // The outcome of taking a board.
    struct Taken {
        std::unique_ptr<FuseFile> file;  // the board, now held; null when refused
        bool busy = false;               // refused: another process holds the board
        std::uint32_t holder = 0;        // that process's id (0 when it cannot be told)
        std::string error;               // refused: the file cannot be used, and why
    };

    // The name of the board of fuse file `file`: its canonical path (the
    // folder is created if need be). Empty (with `error`) when it cannot be
    // told, or when `file` exists and is not a regular file (or a link to
    // one): then nothing was opened or created.
    static platform::Path board_of(const platform::Path &file, std::string &error);
    // Takes the board named `board` (a result of board_of).
    static Taken take(const platform::Path &board);
    // Lets the board go.
    ~FuseFile();
    FuseFile(const FuseFile &) = delete;
    FuseFile &operator=(const FuseFile &) = delete;

    // The canonical path that names the board.
    const platform::Path &path() const { return path_; }
    // Whether this process holds the board (a process forked from the holder
    // inherits the object, not the hold).
    bool held_here() const;

    // Power-up: reads the array. A missing file is a fresh board, whose header
    // word is `fresh_chip_id` and which is stored at once. False (with
    // `error`) when the file cannot be read or a fresh one not stored.
    bool load(std::uint32_t fresh_chip_id, std::string &error);

    const FuseWords &fuses() const { return fuses_; }

    // A program cycle: blows the fuses of `bits` and stores the array. False
    // (with `error`) when the array cannot be stored; then no fuse is blown,
    // in the file or here.
    bool program(const FuseWords &bits, std::string &error);

private:
    FuseFile(platform::Path path, std::unique_ptr<platform::LockFile> lock);
    // Stores `fuses` ORed with what the file holds; `merged` is the result.
    bool store(const FuseWords &fuses, FuseWords &merged, std::string &error);

    platform::Path path_;
    std::unique_ptr<platform::LockFile> lock_;
    std::uint32_t holder_;
    FuseWords fuses_{};
};

}  // namespace xolt
