#include "display/display_controller.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

#include "display/picture_copy.h"
#include "display/zoom.h"
#include "util/rounding.h"

namespace lyrvox {

namespace {

// Design-time client size of the display window in twips; the first size command
// replaces it (at 15 twips per pixel it is 245 x 177 pixels, hence factor 1).
constexpr double kDesignWidthTwips = 3675;
constexpr double kDesignHeightTwips = 2655;

int16_t toInt16(int value) {
    return static_cast<int16_t>(std::clamp(value, 1, int{std::numeric_limits<int16_t>::max()}));
}

bool isNormal(const QWidget& window) {
    return (window.windowState() &
            (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

}  // namespace

DisplayController::DisplayController(const CdgMachine& machine, std::function<bool()> hasGraphics,
                                     QIcon icon, const ScreenMetrics* screen, QObject* parent)
    : QObject(parent),
      machine_(machine),
      hasGraphics_(std::move(hasGraphics)),
      icon_(std::move(icon)),
      screen_(screen != nullptr ? screen : &qtScreen_) {}

DisplayController::~DisplayController() {
    delete window_;
}

QWidget* DisplayController::window() {
    return &ensureWindow();
}

void DisplayController::setVisible(bool visible) {
    DisplayWindow& window = ensureWindow();
    if (visible) {
        window.show();
    } else {
        window.hide();
    }
}

DisplayWindow& DisplayController::ensureWindow() {
    if (!window_) {
        window_ = new DisplayWindow(*this);
        placeNewWindow();
        emit windowMade(window_);
    }
    return *window_;
}

void DisplayController::placeNewWindow() {
    DisplayWindow& window = *window_;
    window.setWindowIcon(icon_);
    const ScreenTwips screen = screen_->measure(window);
    window.resize(std::max(1, roundHalfEvenToInt32(kDesignWidthTwips / screen.twipsPerPixelX)),
                  std::max(1, roundHalfEvenToInt32(kDesignHeightTwips / screen.twipsPerPixelY)));
    centre();
}

void DisplayController::stepZoom() {
    stepZoomBy(&zoomFactorFor);
}

void DisplayController::stepZoomDown() {
    stepZoomBy(&zoomFactorBelow);
}

void DisplayController::showNote(const QString& /*text*/, int /*ms*/) {}

void DisplayController::stepZoomBy(double (*factorFor)(int clientWidth)) {
    DisplayWindow* window = &ensureWindow();
    if (!isNormal(*window)) return;

    const ScreenTwips screen = screen_->measure(*window);
    const double tx = screen.twipsPerPixelX;
    const double ty = screen.twipsPerPixelY;
    // Frame measure: outer size minus client size. Zero until the window manager
    // has framed the window (before it was first shown).
    const double frameX = (window->frameGeometry().width() - window->width()) * tx;
    const double frameY = (window->frameGeometry().height() - window->height()) * ty;

    double factor = factorFor(window->width());
    double newWidth = kViewWidth * factor * tx + frameX;
    double newHeight = kViewHeight * factor * ty + frameY;
    if (newWidth > screen.widthTwips) {
        // Only the width is tested: a window taller than the screen is set as is.
        factor = 1;
        newWidth = kViewWidth * factor * tx + frameX;
        newHeight = kViewHeight * factor * ty + frameY;
    }

    // Width first, then height; each raises the resize handling, whose serving of
    // events may run anything, the closing of this window included.
    setClientSize(*window, roundHalfEvenToInt32((newWidth - frameX) / tx), window->height());
    if (window_ != window) return;
    setClientSize(*window, window->width(), roundHalfEvenToInt32((newHeight - frameY) / ty));
    if (window_ != window) return;
    centre();
    if (hasGraphics_ && hasGraphics_()) window->show();
    emit zoomStepped();
}

void DisplayController::setClientSize(DisplayWindow& window, int width, int height) {
    const QSize wanted(std::max(1, width), std::max(1, height));
    if (window.size() == wanted) return;
    window.resize(wanted);
    // A visible window got its resize event inside resize(); a hidden one would
    // get it only when shown.
    if (!window.isVisible()) resized();
}

void DisplayController::centre() {
    if (!window_) return;
    DisplayWindow& window = *window_;
    const ScreenTwips screen = screen_->measure(window);
    const QRect outer = window.frameGeometry();
    const double left = (screen.widthTwips - outer.width() * screen.twipsPerPixelX) / 2.5;
    const double top = (screen.heightTwips - outer.height() * screen.twipsPerPixelY) / 2.5;
    window.move(screen.leftPixels + roundHalfEvenToInt32(left / screen.twipsPerPixelX),
                screen.topPixels + roundHalfEvenToInt32(top / screen.twipsPerPixelY));
}

void DisplayController::copyPicture() {
    if (copying_) return;
    copying_ = true;
    DisplayWindow& window = ensureWindow();
    fillFrame(window);
    if (window.isVisible()) window.update();
    copying_ = false;
}

void DisplayController::fillFrame(DisplayWindow& window) {
    int stride = 0;
    uint32_t* frame = window.frameFor(copyWidth_, copyHeight_, stride);
    stretchVisibleWindow(machine_, copyWidth_, copyHeight_, frame, stride);
}

void DisplayController::repaintNeeded() {
    // The window asks for a redraw: bring its frame up to date from the picture;
    // it paints the frame itself right after.
    if (window_) fillFrame(*window_);
}

void DisplayController::resized() {
    if (window_ && !window_->isMinimized()) {
        const int width = std::max(1, window_->width());
        const int height = std::max(1, window_->height());
        copyWidth_ = toInt16(width);
        copyHeight_ = toInt16(height);
        emit zoomTextChanged(QString::fromStdString(zoomText(width)));
        copyPicture();
    }
    serveEventsOnce();
}

void DisplayController::doubleClicked() {
    stepZoom();
}

void DisplayController::closed() {
    // The closed window deletes itself; the next use makes a new one.
    window_ = nullptr;
}

void DisplayController::serveEventsOnce() {
    if (servingDepth_ > 0) return;
    ++servingDepth_;
    QCoreApplication::processEvents();
    --servingDepth_;
}

}  // namespace lyrvox
