#include "fuzz_target.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char *file, int line, const char *check, const std::string &message) {
    std::fprintf(stderr, "\n%s:%d: check failed: %s\n  %s\n", file, line, check, message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
