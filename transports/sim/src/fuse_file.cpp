#include "fuse_file.h"

#include <cstdio>
#include <system_error>
#include <utility>

namespace xolt {

namespace {

using platform::Path;

constexpr std::size_t FUSE_BYTES = sizeof(FuseWords);

// The two locks of the lock file, single bytes far past its text: held for
// as long as a process holds the board, and for the length of one store.
constexpr std::uint64_t HOLD_BYTE = std::uint64_t{1} << 30;
constexpr std::uint64_t STORE_BYTE = HOLD_BYTE + 1;

// The file keeps word i at bytes 4i to 4i+3, least significant byte first.
FuseWords decode(const unsigned char *bytes) {
    FuseWords words{};
    for (std::size_t i = 0; i < FUSE_BYTES; ++i) {
        words[i / 4] |= static_cast<std::uint32_t>(bytes[i]) << (8 * (i % 4));
    }
    return words;
}

std::array<unsigned char, FUSE_BYTES> encode(const FuseWords &words) {
    std::array<unsigned char, FUSE_BYTES> bytes{};
    for (std::size_t i = 0; i < FUSE_BYTES; ++i) {
        bytes[i] = static_cast<unsigned char>(words[i / 4] >> (8 * (i % 4)));
    }
    return bytes;
}

FuseWords either(const FuseWords &a, const FuseWords &b) {
    FuseWords words{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = a[i] | b[i];
    }
    return words;
}

std::uint32_t parse_process_id(const std::string &text) {
    std::uint32_t id = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        id = id * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return id;
}

}  // namespace

std::string not_a_regular_file(std::filesystem::file_type type) {
    using std::filesystem::file_type;
    const char *kind = type == file_type::directory  ? "a folder"
                       : type == file_type::character ? "a character device"
                       : type == file_type::block     ? "a block device"
                       : type == file_type::fifo      ? "a FIFO"
                       : type == file_type::socket    ? "a socket"
                                                      : "something";
    return std::string("it is ") + kind + ", not a regular file";
}

Path FuseFile::board_of(const Path &file, std::string &error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const Path absolute = fs::absolute(file, ec);
    // Only a regular file is a fuse array: a store renames a new file over
    // it, which would replace a device node, and opening a FIFO waits for a
    // writer. Told before anything is opened or created there.
    const fs::file_status status = ec ? fs::file_status() : fs::status(absolute, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status)) {
        error = not_a_regular_file(status.type());
        return {};
    }
    ec.clear();
    if (absolute.has_parent_path()) {
        fs::create_directories(absolute.parent_path(), ec);
    }
    if (ec) {
        error = "cannot create its folder: " + ec.message();
        return {};
    }
    // Symbolic links resolved: every name of the file takes the same board,
    // and a store replaces the file itself, not a link to it.
    Path canonical = fs::weakly_canonical(absolute, ec);
    if (ec) {
        error = "cannot resolve it: " + ec.message();
        return {};
    }
    return canonical;
}

FuseFile::Taken FuseFile::take(const Path &board) {
    Taken taken;
    Path lock_path = board;
    lock_path += ".lock";
    std::unique_ptr<platform::LockFile> lock = platform::LockFile::open(lock_path, taken.error);
    if (!lock) {
        return taken;
    }
    if (!lock->try_lock(HOLD_BYTE)) {
        taken.busy = true;
        taken.holder = parse_process_id(lock->read_text());
        return taken;
    }
    lock->write_text(std::to_string(platform::process_id()) + "\n");
    taken.file.reset(new FuseFile(board, std::move(lock)));
    return taken;
}

FuseFile::FuseFile(Path path, std::unique_ptr<platform::LockFile> lock)
    : path_(std::move(path)), lock_(std::move(lock)), holder_(platform::process_id()) {}

FuseFile::~FuseFile() {
    // No holder any more; closing the lock file drops the hold.
    if (held_here()) {
        lock_->write_text("");
    }
}

bool FuseFile::held_here() const { return holder_ == platform::process_id(); }

bool FuseFile::load(std::uint32_t fresh_chip_id, std::string &error) {
    unsigned char bytes[FUSE_BYTES] = {};
    std::size_t count = 0;
    switch (platform::read_file(path_, bytes, FUSE_BYTES, count, error)) {
    case platform::ReadResult::FAILED:
        return false;
    case platform::ReadResult::MISSING: {
        FuseWords fresh{};
        fresh[0] = fresh_chip_id;
        FuseWords stored{};
        if (!store(fresh, stored, error)) {
            return false;
        }
        fuses_ = stored;
        return true;
    }
    case platform::ReadResult::READ:
        break;
    }
    if (count != FUSE_BYTES) {
        std::fprintf(stderr, "xolt: fuse file %s is short; missing bits read as 0\n", path_.u8string().c_str());
    }
    fuses_ = decode(bytes);
    return true;
}

bool FuseFile::program(const FuseWords &bits, std::string &error) {
    FuseWords merged{};
    if (!store(either(fuses_, bits), merged, error)) {
        return false;
    }
    fuses_ = merged;
    return true;
}

bool FuseFile::store(const FuseWords &fuses, FuseWords &merged, std::string &error) {
    if (!lock_->lock(STORE_BYTE)) {
        error = "cannot lock it for the store";
        return false;
    }
    unsigned char bytes[FUSE_BYTES] = {};
    std::size_t count = 0;
    bool stored = platform::read_file(path_, bytes, FUSE_BYTES, count, error) != platform::ReadResult::FAILED;
    if (stored) {
        merged = either(fuses, decode(bytes));
        const auto out = encode(merged);
        stored = platform::replace_file(path_, out.data(), out.size(), error);
    }
    lock_->unlock(STORE_BYTE);
    return stored;
}

}  // namespace xolt
