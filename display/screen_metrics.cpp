#include "display/screen_metrics.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lyrvox {

ScreenTwips QtScreenMetrics::measure(const QWidget& window) const {
    ScreenTwips s;
    const QScreen* screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return s;  // no screen at all: 0 x 0 twips, 15 per pixel
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    if (dpiX > 0) s.twipsPerPixelX = 1440.0 / dpiX;
    if (dpiY > 0) s.twipsPerPixelY = 1440.0 / dpiY;
    const QRect area = screen->availableGeometry();
    s.leftPixels = area.left();
    s.topPixels = area.top();
    s.widthTwips = area.width() * s.twipsPerPixelX;
    s.heightTwips = area.height() * s.twipsPerPixelY;
    return s;
}

}  // namespace lyrvox
