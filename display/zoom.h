#pragma once
// Zoom steps of the size command and the zoom label's text. Widths are client
// widths of the display window in pixels; each step multiplies the visible window
// of the picture (kViewWidth x kViewHeight).
#include <string>

namespace lyrvox {

// The factor the size command chooses for the current client width W (pixels):
// 1.5 from 294, 2 from 441, 3 from 588, and 1 below 294 or from 782 on. Applied
// to the current width, repeated commands cycle 1, 1.5, 2, 3, 1.
double zoomFactorFor(int clientWidth);
// The step down from W: the largest of 1, 1.5, 2, 3 times 294 that is narrower
// than W; 1 at 1x and below (no wrap, unlike the size command).
double zoomFactorBelow(int clientWidth);
// W / 292 to the nearest tenth (halves away from zero) as "0.0x": "1.0x" for 294,
// "3.4x" for 1000, "0.0x" below 15.
std::string zoomText(int clientWidth);

}  // namespace lyrvox
