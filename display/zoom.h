#pragma once
// Zoom steps of the size command and the lblZoom text. Widths are client widths
// of the display window in pixels.
#include <string>

namespace lyrvox {

// The visible window of the picture that every zoom step multiplies (pixels).
inline constexpr int kZoomBaseWidth = 294;
inline constexpr int kZoomBaseHeight = 204;

// The factor the size command chooses for the current client width W (pixels):
// 1.5 from 294, 2 from 441, 3 from 588, and 1 below 294 or from 782 on. Applied
// to the current width, repeated commands cycle 1, 1.5, 2, 3, 1.
double ZoomFactorFor(int clientWidth);
// W / 292 to the nearest tenth (halves away from zero) as "0.0x": "1.0x" for 294,
// "3.4x" for 1000, "0.0x" below 15.
std::string ZoomText(int clientWidth);

}  // namespace lyrvox
