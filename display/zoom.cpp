#include "display/zoom.h"

namespace lyrvox {
// Placeholder; the zoom table is filled in by its own change.
double ZoomFactorFor(int) { return 1.0; }
std::string ZoomText(int) { return "1.0x"; }
}  // namespace lyrvox
