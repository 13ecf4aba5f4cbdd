// Rounding for chart axes: the dialog's receive chart and the report's
// histograms choose their tops and tick steps from the 1-2-5 series.
#pragma once

namespace deve {

// The smallest 1, 2 or 5 times a power of ten that is at least `value`, and
// at least `floor` (`floor` itself when `value` is not above it). A value
// within rounding error of a step is that step: 0.2 and 5e-6 are their own.
double nice_ceiling(double value, double floor = 0);

}  // namespace deve
