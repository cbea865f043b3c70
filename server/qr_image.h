#pragma once
// A QR code drawn into an image (libqrencode), for the phones to find the
// singers' page by their camera: black modules on white, with the quiet zone
// of four modules the readers need around it.
#include <QImage>
#include <QString>

namespace lyrvox {

class QrImage {
  public:
    // The code of `text` (as UTF-8 bytes, error correction level M), each module
    // `moduleSize` pixels square; a null image when the text does not fit.
    static QImage make(const QString& text, int moduleSize = 8);
    // The modules along one side of the code of `text`, without the quiet zone; 0 when it does not
    // fit.
    static int modules(const QString& text);
    static constexpr int kQuietModules = 4;
};

}  // namespace lyrvox
