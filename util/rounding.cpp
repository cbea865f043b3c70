#include "util/rounding.h"

#include <cmath>
#include <limits>

namespace lyrvox {

double roundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction < 0.5) return down;
    if (fraction > 0.5) return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

int32_t roundHalfEvenToInt32(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    if (value >= kMax) return std::numeric_limits<int32_t>::max();
    if (value <= kMin) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(roundHalfEven(value));
}

}  // namespace lyrvox
