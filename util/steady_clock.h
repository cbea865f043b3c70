#pragma once
// The one clock the player paces by: monotonic, unaffected by changes of the
// wall-clock time, in milliseconds with a fraction.
#include <chrono>

namespace lyrvox {

inline double steadyMilliseconds() {
    using Ms = std::chrono::duration<double, std::milli>;
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace lyrvox
