// The console's register-script reader over arbitrary file contents, checked
// against a second, plain reading of the same bytes: lines end at '\n' (a
// '\r' before it is dropped); reading stops after a line "//end"; a line
// starting "DIList" whose columns 28-35 and 39-46 hold eight hexadecimal
// digits each writes that value to that address, any other "DIList" line is
// skipped; every other line is ignored. The registers written, in order, and
// the counts must agree.
#include "deve/script.h"
#include "recording_api.h"
#include "support/fuzz_target.h"
#include "support/scratch.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Reading {
    std::vector<std::string> writes;  // as the recording stand-in logs them
    int skipped = 0;
    bool ended = false;
};

// Eight hexadecimal digits at `column`, through the C library's conversion.
bool field(const std::string &line, std::size_t column, std::uint32_t &value) {
    if (line.size() < column + 8) {
        return false;
    }
    const std::string digits = line.substr(column, 8);
    for (char c : digits) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    return true;
}

Reading plain_reading(const std::string &text) {
    Reading r;
    std::size_t start = 0;
    while (start < text.size() && !r.ended) {
        std::size_t stop = text.find('\n', start);
        if (stop == std::string::npos) {
            stop = text.size();
        }
        std::string line = text.substr(start, stop - start);
        start = stop + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line == "//end") {
            r.ended = true;
        } else if (line.rfind("DIList", 0) == 0) {
            std::uint32_t address = 0;
            std::uint32_t value = 0;
            if (field(line, 28, address) && field(line, 39, value)) {
                r.writes.push_back(fake::W(address, value));
            } else {
                ++r.skipped;
            }
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = fuzz::scratch_path("script.txt");
    fuzz::write_file(path, data, size);
    const std::string text(reinterpret_cast<const char *>(data), size);

    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, path);
    const Reading expected = plain_reading(text);

    FUZZ_CHECK(run.opened, "the script file was not opened");
    FUZZ_CHECK(api.calls == expected.writes,
               "registers written: " + std::to_string(api.calls.size()) + ", expected " +
                   std::to_string(expected.writes.size()) + " (or a different address, value or order)");
    FUZZ_CHECK(run.written == static_cast<int>(expected.writes.size()), "written count " + std::to_string(run.written));
    FUZZ_CHECK(run.skipped == expected.skipped,
               "skipped " + std::to_string(run.skipped) + ", expected " + std::to_string(expected.skipped));
    FUZZ_CHECK(run.ended == expected.ended, run.ended ? "ended without a //end line" : "missed the //end line");
    // The message after the run must not fail on any counts.
    FUZZ_CHECK(!deve::script_done_details(run).empty(), "empty details");
    return 0;
}
