// The PE reader and the load explanations over any file an operator might
// point XOLT_LIBRARY at. Reading must stay within the bytes (the sanitizers
// of the fuzz build see any read past them), give the same image twice, keep
// every list within its limits, and each explanation must be one line.
#include "load_failure.h"
#include "pe_image.h"
#include "support/fuzz_target.h"

#include <vector>

namespace {

const std::vector<std::string> kEntryPoints{"xolt_init", "xolt_read_reg", "xolt_write_reg", "xolt_download_fw"};

constexpr velmo::OwnModule kOwn[] = {
    {"velmo.dll", true, velmo::pe::kMachineAmd64, 0, 0},
    {"velmo.dll", true, velmo::pe::kMachineI386, 0, 0},
    {"libvelmo.so", false, 0, 2, 62},
};

void check_one_line(const std::string &line) {
    FUZZ_CHECK(!line.empty(), "an explanation says something");
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "an explanation is one line: " + line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past them is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::optional<velmo::pe::Image> image = velmo::pe::read(bytes);
    const std::optional<velmo::pe::Image> again = velmo::pe::read(bytes);
    FUZZ_CHECK(image.has_value() == again.has_value(), "the same bytes read the same");
    if (image) {
        FUZZ_CHECK(image->machine == again->machine && image->dll == again->dll &&
                       image->exports == again->exports && image->imports == again->imports,
                   "the same bytes read the same");
        FUZZ_CHECK(image->exports.size() <= 65536 && image->imports.size() <= 4096, "lists within their limits");
        for (const std::vector<std::string> *names : {&image->exports, &image->imports}) {
            for (const std::string &name : *names) {
                FUZZ_CHECK(name.size() <= 1024 && name.find('\0') == std::string::npos,
                           "a name ends at its terminator and is not longer than a name can be");
            }
        }
    }
    velmo::LoadFailure failure{"C:\\Vendor\\xolt.dll", "Bad EXE format.", ""};
    if (image && !image->imports.empty()) {
        failure.missing_dependency = image->imports.front();  // a name from the file itself
    }
    for (const velmo::OwnModule &own : kOwn) {
        check_one_line(velmo::explain_load_failure(own, failure, bytes));
    }
    check_one_line(velmo::explain_missing_entry_points("xolt.dll", kEntryPoints, bytes));
    return 0;
}
