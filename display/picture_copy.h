#pragma once
// The pixel work of the picture copy, in plain C++: the 294x204 window of
// the picture at (6 + HOffset, 12 + VOffset) stretched to dWidth x dHeight, each
// destination pixel taken from one source pixel (nearest neighbour: sharp blocks,
// no blur). Where the offsets push the window past the picture's edge (HOffset up
// to 7, VOffset up to 15), the colour of the nearest edge pixel shows.
#include <cstdint>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

// `out` receives dWidth x dHeight words 0xFFRRGGBB (QImage::Format_RGB32), rows
// `strideWords` apart (strideWords >= dWidth). A picture never cleared shows white.
// Nothing is written when either size is below 1.
void stretchVisibleWindow(const CdgMachine& machine, int dWidth, int dHeight, uint32_t* out,
                          int strideWords);

}  // namespace lyrvox
