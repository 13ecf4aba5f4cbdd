// What every fuzz target provides, and the check that stops a run when two
// readings of the same input disagree or an invariant breaks.
//
// A target is a function of one input (LLVMFuzzerTestOneInput). Built with
// clang's libFuzzer it is driven by the fuzzing engine; in the normal builds
// replay_main.cpp drives it over a corpus, so every target keeps compiling
// and running with any compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
// Optional: run once before the first input.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace fuzz {

// Prints what went wrong (file, line, the check and a message) on standard
// error and aborts, which the fuzzing engine reports as a crash with the input.
[[noreturn]] void fail(const char *file, int line, const char *check, const std::string &message);

}  // namespace fuzz

#define FUZZ_CHECK(condition, message)                                      \
    do {                                                                    \
        if (!(condition)) {                                                 \
            ::fuzz::fail(__FILE__, __LINE__, #condition, (message));        \
        }                                                                   \
    } while (false)
