#include "common/axis.h"

#include <cmath>
#include <initializer_list>

namespace deve {

double nice_ceiling(double value, double floor) {
    if (!(value > floor)) {
        return floor;
    }
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        // A little slack so that a value of exactly 2 x 10^n is its own top.
        if (value <= step * power * (1 + 1e-12)) {
            return step * power;
        }
    }
    return 10 * power;
}

}  // namespace deve
