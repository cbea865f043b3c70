#include "display/zoom.h"

#include <cstdlib>

namespace lyrvox {

double zoomFactorFor(int clientWidth) {
    // The thresholds are tested in this order; the last one is 782 (not 882), so
    // a user-dragged width between 782 and 881 steps back to factor 1.
    if (clientWidth < 294) return 1.0;
    if (clientWidth < 441) return 1.5;
    if (clientWidth < 588) return 2.0;
    if (clientWidth < 782) return 3.0;
    return 1.0;
}

double zoomFactorBelow(int clientWidth) {
    // The largest step narrower than the window now; 1 stays 1.
    if (clientWidth > 882) return 3.0;
    if (clientWidth > 588) return 2.0;
    if (clientWidth > 441) return 1.5;
    return 1.0;
}

std::string zoomText(int clientWidth) {
    // Tenths of W / 292, rounded in integers: (20 W + 292) / 584 = floor(10 W / 292 + 1/2).
    const long long w = std::llabs(static_cast<long long>(clientWidth));
    const long long tenths = (20 * w + 292) / 584;
    std::string text = (clientWidth < 0 && tenths != 0) ? "-" : "";
    text += std::to_string(tenths / 10);
    text += '.';
    text += static_cast<char>('0' + tenths % 10);
    text += 'x';
    return text;
}

}  // namespace lyrvox
