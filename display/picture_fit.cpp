#include "display/picture_fit.h"

#include <algorithm>
#include <cstdint>

namespace lyrvox {

Scaling scalingFor(bool keepAspect, bool pixelPerfect, bool fullScreen) {
    if (pixelPerfect) return Scaling::PixelPerfect;
    return keepAspect || fullScreen ? Scaling::KeepAspect : Scaling::Stretch;
}

FitRect fitPicture(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight,
                   Scaling scaling) {
    if (pictureWidth < 1 || pictureHeight < 1 || clientWidth < 1 || clientHeight < 1) return {};
    if (scaling == Scaling::Stretch) return {0, 0, clientWidth, clientHeight};

    int64_t width = 0;
    int64_t height = 0;
    const int scale = std::min(clientWidth / pictureWidth, clientHeight / pictureHeight);
    if (scaling == Scaling::PixelPerfect && scale >= 1) {
        width = int64_t{pictureWidth} * scale;
        height = int64_t{pictureHeight} * scale;
    } else if (int64_t{clientWidth} * pictureHeight <= int64_t{clientHeight} * pictureWidth) {
        // The width limits: full width, height in proportion (rounded half up).
        width = clientWidth;
        height = (2 * int64_t{clientWidth} * pictureHeight + pictureWidth) / (2 * pictureWidth);
    } else {
        height = clientHeight;
        width = (2 * int64_t{clientHeight} * pictureWidth + pictureHeight) / (2 * pictureHeight);
    }
    width = std::clamp<int64_t>(width, 1, clientWidth);
    height = std::clamp<int64_t>(height, 1, clientHeight);
    // Centred; an odd margin leaves its extra pixel on the right or at the bottom.
    return {static_cast<int>((clientWidth - width) / 2),
            static_cast<int>((clientHeight - height) / 2), static_cast<int>(width),
            static_cast<int>(height)};
}

}  // namespace lyrvox
