#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace lyrvox {
namespace {

constexpr int kSize = 32;

QList<QRgb> vgaPalette() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

}  // namespace

QImage drawAppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The coordinates below are pixels of the 32x32 drawing.
    if (size != kSize) p.scale(double(size) / kSize, double(size) / kSize);

    // The disc: silver with a rainbow sheen, a dark rim and the centre hole.
    QRadialGradient sheen(QPointF(11, 11), 16);
    sheen.setColorAt(0.0, QColor(255, 255, 255));
    sheen.setColorAt(0.45, QColor(200, 220, 255));
    sheen.setColorAt(0.7, QColor(255, 200, 230));
    sheen.setColorAt(1.0, QColor(160, 160, 175));
    p.setPen(QPen(QColor(60, 60, 70), 1.0));
    p.setBrush(sheen);
    p.drawEllipse(QRectF(1.5, 1.5, 27, 27));
    p.setBrush(QColor(230, 230, 235));
    p.drawEllipse(QRectF(11, 11, 8, 8));
    p.setBrush(Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QRectF(13.5, 13.5, 3, 3));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // The microphone in front of the disc's lower right: head, grille, handle.
    p.setPen(QPen(QColor(20, 20, 20), 1.0));
    QPainterPath handle;
    handle.moveTo(19, 21);
    handle.lineTo(29, 31);
    handle.lineTo(31, 29);
    handle.lineTo(21, 19);
    handle.closeSubpath();
    p.setBrush(QColor(40, 40, 48));
    p.drawPath(handle);
    p.setBrush(QColor(190, 30, 40));
    p.drawEllipse(QRectF(14, 14, 10, 10));
    p.setPen(QPen(QColor(255, 200, 200), 1.0));
    p.drawLine(QPointF(16.5, 17), QPointF(21, 21.5));
    p.drawLine(QPointF(17, 16.5), QPointF(21.5, 21));
    p.end();
    return image;
}

QImage appIcon16Colours() {
    QImage opaque(kSize, kSize, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter p(&opaque);
    p.drawImage(0, 0, drawAppIconImage());
    p.end();
    QImage indexed = opaque.convertToFormat(QImage::Format_Indexed8, vgaPalette(),
                                            Qt::ThresholdDither | Qt::AvoidDither);
    // Keep the transparent surround of the full-colour picture.
    indexed = indexed.convertToFormat(QImage::Format_ARGB32);
    const QImage source = drawAppIconImage();
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (qAlpha(source.pixel(x, y)) < 128) indexed.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    return indexed;
}

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawAppIconImage()));
    // The small size for title bars and task lists, in the 16-colour version.
    icon.addPixmap(QPixmap::fromImage(
        appIcon16Colours().scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return icon;
}

}  // namespace lyrvox
