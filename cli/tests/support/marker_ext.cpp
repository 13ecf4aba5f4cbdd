// A library that says it was loaded: its constructor writes the file that
// DEVE_TEST_MARKER names. The store's tests hand it to deve-cli where a
// driver would load it, and check that the file never appears.
#include <cstdio>
#include <cstdlib>

namespace {

struct Marker {
    Marker() {
        if (const char *file = std::getenv("DEVE_TEST_MARKER"); file != nullptr) {
            if (std::FILE *out = std::fopen(file, "w"); out != nullptr) {
                std::fputs("loaded\n", out);
                std::fclose(out);
            }
        }
    }
};
const Marker marker;

}  // namespace
