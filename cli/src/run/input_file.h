// Files deve-cli reads before the link opens: a limit file and a session's
// command file. A file larger than kInputFileMaxBytes is refused before any
// of it is read, a read error is an error (never an early end of the file),
// and a command file is read one line at a time, never whole.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace deve::cli {

// The largest limit file or command file deve-cli reads.
constexpr std::uintmax_t kInputFileMaxBytes = std::uintmax_t{16} << 20;  // 16 MiB
// The longest line of a session, from a command file or standard input.
constexpr std::size_t kSessionLineMaxBytes = 4096;

// One line of a session's input (line end removed), or nothing at its end;
// `error` says why the input could not be read, when it could not.
struct LineRead {
    std::optional<std::string> line;
    std::string error;
};

// Input quoted in a message: the text itself when it is short, else its
// first characters and its length, "abcdefgh... (104857600 bytes)", so that
// no message repeats a whole file or line.
std::string excerpt(std::string_view text);

// "a line is longer than 4096 bytes".
std::string line_too_long();

class InputFile {
public:
    // Opens `path`; `what` names it in reasons ("the limit file"). A folder,
    // a file that cannot be opened and a file larger than
    // kInputFileMaxBytes are refused here: error() is then set.
    InputFile(const std::string &path, const std::string &what);

    // Why the file cannot be used; empty while it can.
    const std::string &error() const { return error_; }

    // The whole file. False (with error()) when it cannot be read to its end
    // or grows past kInputFileMaxBytes.
    bool read_all(std::string &text);
    // The next line, of at most kSessionLineMaxBytes bytes.
    LineRead read_line();

private:
    // Reads more of the file into buffer_; false at its end or on an error.
    bool fill();
    void fail(const std::string &reason);

    std::string path_;
    std::string what_;
    std::ifstream in_;
    std::string buffer_;
    std::size_t start_ = 0;  // where the next line of buffer_ starts
    std::uintmax_t read_ = 0;
    std::string error_;
};

}  // namespace deve::cli
