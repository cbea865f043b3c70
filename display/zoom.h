#pragma once
// Zoom steps of the size command and the lblZoom text.
#include <string>

namespace lyrvox {

// The factor the size command chooses for the current client width W (pixels):
// 1.5 from 294, 2 from 441, 3 from 588, and 1 below 294 or from 782 on.
double ZoomFactorFor(int clientWidth);
// W / 292 as "0.0x" (one decimal, then the letter x).
std::string ZoomText(int clientWidth);

}  // namespace lyrvox
