#pragma once
// Rounding to whole numbers: to the nearest, an exact half to the even neighbour,
// whatever the floating-point rounding mode is. Every place where a computed value
// becomes an integer (pacing targets, timer intervals, window sizes, the time
// display, percentages) rounds this way.
#include <cstdint>

namespace lyrvox {

// The nearest whole number as a double; NaN and infinities pass through.
double roundHalfEven(double value);
// The same, clamped to the 32-bit range; NaN gives 0.
int32_t roundHalfEvenToInt32(double value);

}  // namespace lyrvox
