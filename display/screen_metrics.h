#pragma once
// What the size command and the centring need to know about the screen: its usable
// area in twips and the twips-per-pixel ratios. An interface so that tests can
// stand the window on screens of any size.
#include <QRect>

class QWidget;

namespace lyrvox {

struct ScreenTwips {
    int leftPixels = 0;  // top-left corner of the usable area in desktop pixels
    int topPixels = 0;
    double widthTwips = 0;  // usable area (taskbars excluded) in twips
    double heightTwips = 0;
    double twipsPerPixelX = 15;  // 1440 / logical dpi: 15 at 96 dpi
    double twipsPerPixelY = 15;
};

class ScreenMetrics {
  public:
    virtual ~ScreenMetrics() = default;
    // The screen the window stands on (or the primary screen).
    virtual ScreenTwips measure(const QWidget& window) const = 0;
};

// The real screens, through QScreen's available geometry and logical dpi.
class QtScreenMetrics : public ScreenMetrics {
  public:
    ScreenTwips measure(const QWidget& window) const override;
};

}  // namespace lyrvox
