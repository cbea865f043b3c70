#pragma once
// The pixel work of the picture copy, in plain C++: the 294x204 window of
// the picture at (6 + HOffset, 12 + VOffset) stretched to dWidth x dHeight, each
// destination pixel taken from one source pixel (nearest neighbour: sharp blocks,
// no blur). Where the offsets push the window past the picture's edge (HOffset up
// to 7, VOffset up to 15), the colour of the nearest edge pixel shows.
#include <array>
#include <cstdint>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

// `out` receives dWidth x dHeight words 0xFFRRGGBB (QImage::Format_RGB32), rows
// `strideWords` apart (strideWords >= dWidth). A picture never cleared shows white.
// Nothing is written when either size is below 1.
void stretchVisibleWindow(const CdgMachine& machine, int dWidth, int dHeight, uint32_t* out,
                          int strideWords);

// The same copy laid over `behind` (dWidth x dHeight words 0x??RRGGBB, rows
// `behindStride` apart): each pixel mixes its colour with the one behind it by
// the opacity of its colour index (255 the picture's colour alone, 0 only what
// lies behind), rounded to the nearest level per channel. A picture never cleared
// and pixels never drawn stay opaque white. With every index opaque the result
// is exactly stretchVisibleWindow's.
void compositeVisibleWindow(const CdgMachine& machine, const std::array<uint8_t, 16>& opacity,
                            int dWidth, int dHeight, uint32_t* out, int strideWords,
                            const uint32_t* behind, int behindStride);

}  // namespace lyrvox
