#include "noise_source.h"

#include <cmath>

namespace xolt {

namespace {

constexpr double TWO_TO_32 = 4294967296.0;
constexpr double TWO_PI = 6.283185307179586;

}  // namespace

NoiseSource::NoiseSource(std::uint64_t seed, NoiseStream stream) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(stream)};
    engine_.seed(sequence);
}

double NoiseSource::uniform() { return static_cast<double>(engine_()) / TWO_TO_32; }

double NoiseSource::gaussian() {
    // Box-Muller; 1 - u keeps the logarithm's argument above 0.
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(TWO_PI * u2);
}

}  // namespace xolt
