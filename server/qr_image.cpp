#include "server/qr_image.h"

#include <qrencode.h>

#include <QPainter>
#include <memory>

namespace lyrvox {
namespace {

struct FreeCode {
    void operator()(QRcode* code) const { QRcode_free(code); }
};
using Code = std::unique_ptr<QRcode, FreeCode>;

Code encode(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // Version 0: the smallest that holds the text.
    return Code(QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M));
}

}  // namespace

int QrImage::modules(const QString& text) {
    const Code code = encode(text);
    return code ? code->width : 0;
}

QImage QrImage::make(const QString& text, int moduleSize) {
    const Code code = encode(text);
    if (!code || moduleSize < 1) return {};
    const int side = (code->width + 2 * kQuietModules) * moduleSize;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The lowest bit of each byte: 1 for a dark module.
            if (code->data[y * code->width + x] & 1) {
                painter.fillRect((x + kQuietModules) * moduleSize, (y + kQuietModules) * moduleSize,
                                 moduleSize, moduleSize, Qt::black);
            }
        }
    }
    return image;
}

}  // namespace lyrvox
