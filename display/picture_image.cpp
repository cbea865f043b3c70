#include "display/picture_image.h"

namespace lyrvox {

QImage pictureImage(const CdgMachine& machine) {
    QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
    machine.renderArgb32(reinterpret_cast<uint32_t*>(image.bits()),
                         static_cast<int>(image.bytesPerLine() / 4));
    return image;
}

}  // namespace lyrvox
