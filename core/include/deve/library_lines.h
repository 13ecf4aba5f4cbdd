// The library's diagnostic lines, handed to this program: while an object of
// this class lives, the library gives its lines to it (through
// velmo_set_log_handler) instead of printing them on standard output.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace deve {

class LibraryLines {
public:
    // The library hands its lines here from now on. There is one such
    // receiver per process: the newest one gets the lines.
    LibraryLines();
    // The library prints on standard output again.
    ~LibraryLines();
    LibraryLines(const LibraryLines &) = delete;
    LibraryLines &operator=(const LibraryLines &) = delete;

    // The lines since the last call, in order, without their line ends.
    std::vector<std::string> take();

private:
    static void receive(const char *line, void *context);

    std::mutex lock_;
    std::vector<std::string> lines_;
};

}  // namespace deve
