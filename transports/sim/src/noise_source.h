// Seeded pseudo-random numbers for the board's random effects (receive
// errors, measurement noise). Each block draws from its own stream, so the
// draws of one block do not shift those of another, and a run with the same
// seed and the same register traffic repeats. The distributions are built
// here from the raw generator output, not taken from the standard library,
// whose distributions differ between implementations.
#pragma once

#include <cstdint>
#include <random>

namespace xolt {

// Streams of the blocks that draw numbers.
enum class NoiseStream : std::uint32_t { RX_ERRORS = 1, IQ_MEASUREMENT = 2 };

class NoiseSource {
public:
    NoiseSource(std::uint64_t seed, NoiseStream stream);

    // Uniform in [0, 1).
    double uniform();
    // Standard normal (mean 0, deviation 1).
    double gaussian();

private:
    std::mt19937 engine_;
};

}  // namespace xolt
