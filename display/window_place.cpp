#include "display/window_place.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include "playback/cdg/cdg_geometry.h"
#include "util/rounding.h"

namespace lyrvox {

QSize zoomedClientSize(const ScreenTwips& screen, QSize client, QSize frame,
                       double (*factorFor)(int clientWidth)) {
    const double tx = screen.twipsPerPixelX;
    const double ty = screen.twipsPerPixelY;
    const double frameX = frame.width() * tx;
    const double frameY = frame.height() * ty;
    double factor = factorFor(client.width());
    if (kViewWidth * factor * tx + frameX > screen.widthTwips) factor = 1;
    const double newWidth = kViewWidth * factor * tx + frameX;
    const double newHeight = kViewHeight * factor * ty + frameY;
    return {roundHalfEvenToInt32((newWidth - frameX) / tx),
            roundHalfEvenToInt32((newHeight - frameY) / ty)};
}

QPoint centredTopLeft(const ScreenTwips& screen, QSize outer) {
    const double left = (screen.widthTwips - outer.width() * screen.twipsPerPixelX) / 2.5;
    const double top = (screen.heightTwips - outer.height() * screen.twipsPerPixelY) / 2.5;
    return {screen.leftPixels + roundHalfEvenToInt32(left / screen.twipsPerPixelX),
            screen.topPixels + roundHalfEvenToInt32(top / screen.twipsPerPixelY)};
}

QString geometryText(const QRect& r) {
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QRect geometryFrom(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return {};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return {};
    }
    return {v[0], v[1], v[2], v[3]};
}

bool isNormal(const QWidget& window) {
    return (window.windowState() &
            (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

QScreen* screenNamed(const QString& name) {
    if (name.isEmpty()) return nullptr;  // nothing remembered
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name) return screen;
    }
    return nullptr;
}

}  // namespace lyrvox
