#include "display/picture_copy.h"

namespace lyrvox {
// Placeholder; the picture copy is filled in by its own change.
void StretchVisibleWindow(const CdgMachine&, int, int, uint32_t*, int) {}
}  // namespace lyrvox
