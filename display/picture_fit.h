#pragma once
// Where the picture goes inside the display window's client area, in plain C++.
// All sizes are in device-independent pixels; the picture is the visible window
// of the CD+G screen (kViewWidth x kViewHeight), whose pixels are drawn square.
namespace lyrvox {

enum class Scaling {
    Stretch,       // fills the client area, whatever its shape
    KeepAspect,    // as large as fits with the picture's own shape, centred
    PixelPerfect,  // the largest whole multiple that fits, centred
};

// The user's two choices and the window state give the scaling: pixel-perfect
// wins; otherwise the shape is kept when asked for and always in full screen.
Scaling scalingFor(bool keepAspect, bool pixelPerfect, bool fullScreen);

struct FitRect {
    int x = 0;  // top-left corner inside the client area
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FitRect&) const = default;
};

// The destination of a pictureWidth x pictureHeight picture in a clientWidth x
// clientHeight area. Invariant: the rectangle lies inside the area, and is empty
// only when the area (or the picture) is. Whenever the area can hold the picture
// at all, each side is at least 1 pixel. Pixel-perfect falls back to keeping the
// shape when even one multiple does not fit.
FitRect fitPicture(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight,
                   Scaling scaling);

}  // namespace lyrvox
