#include "common/axis.h"

#include <cmath>
#include <initializer_list>

namespace deve {

namespace {

// step x 10^exponent, rounded once: 10^n is exact in a double up to 10^22,
// and a quotient is correctly rounded, so 5e-6 comes out as the literal does
// (the platform's pow need not be exact: MinGW's is not).
double scaled(double step, int exponent) {
    double power = 1;
    for (int i = 0; i < std::abs(exponent); ++i) {
        power *= 10;
    }
    return exponent >= 0 ? step * power : step / power;
}

}  // namespace

double nice_ceiling(double value, double floor) {
    if (!(value > floor)) {
        return floor;
    }
    const int exponent = static_cast<int>(std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        // A little slack so that a value of exactly 2 x 10^n is its own top.
        const double top = scaled(step, exponent);
        if (value <= top * (1 + 1e-12)) {
            return top;
        }
    }
    return scaled(10, exponent);
}

}  // namespace deve
