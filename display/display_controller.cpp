#include "display/display_controller.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

#include "display/picture_copy.h"
#include "display/zoom.h"

namespace lyrvox {

namespace {

// Design-time client size of the display window in twips; the first size command
// replaces it (at 15 twips per pixel it is 245 x 177 pixels, hence factor 1).
constexpr double kDesignWidthTwips = 3675;
constexpr double kDesignHeightTwips = 2655;

// Nearest integer, halves to the even neighbour (the default rounding mode).
int roundEven(double value) {
    const double limit = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::nearbyint(std::clamp(value, -limit, limit)));
}

int16_t toInt16(int value) {
    return static_cast<int16_t>(std::clamp(value, 1, int{std::numeric_limits<int16_t>::max()}));
}

bool isNormal(const QWidget& window) {
    return (window.windowState() &
            (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

}  // namespace

DisplayController::DisplayController(PlayerState& state, QIcon icon,
                                     std::function<void(const QString&)> setZoomText,
                                     QObject* parent)
    : QObject(parent),
      state_(state),
      icon_(std::move(icon)),
      setZoomText_(std::move(setZoomText)),
      screen_(&qtScreen_) {}

DisplayController::DisplayController(PlayerState& state, QIcon icon,
                                     std::function<void(const QString&)> setZoomText,
                                     const ScreenMetrics& screen, QObject* parent)
    : QObject(parent),
      state_(state),
      icon_(std::move(icon)),
      setZoomText_(std::move(setZoomText)),
      screen_(&screen) {}

DisplayController::~DisplayController() {
    delete window_;
}

QWidget* DisplayController::window() {
    return &ensureWindow();
}

void DisplayController::setIcon(const QIcon& icon) {
    icon_ = icon;
    if (window_) window_->setWindowIcon(icon_);
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
        Form_Load();
    }
    return *window_;
}

void DisplayController::Form_Load() {
    DisplayWindow& window = *window_;
    window.setWindowIcon(icon_);
    const ScreenTwips screen = screen_->measure(window);
    window.resize(std::max(1, roundEven(kDesignWidthTwips / screen.twipsPerPixelX)),
                  std::max(1, roundEven(kDesignHeightTwips / screen.twipsPerPixelY)));
    CentreForm();
}

void DisplayController::btnSize_Click() {
    DisplayWindow* window = &ensureWindow();
    if (!isNormal(*window)) return;

    const ScreenTwips screen = screen_->measure(*window);
    const double tx = screen.twipsPerPixelX;
    const double ty = screen.twipsPerPixelY;
    // Frame measure: outer size minus client size. Zero until the window manager
    // has framed the window (before it was first shown).
    const double frameX = (window->frameGeometry().width() - window->width()) * tx;
    const double frameY = (window->frameGeometry().height() - window->height()) * ty;

    double factor = ZoomFactorFor(window->width());
    double newWidth = kZoomBaseWidth * factor * tx + frameX;
    double newHeight = kZoomBaseHeight * factor * ty + frameY;
    if (newWidth > screen.widthTwips) {
        // Only the width is tested: a window taller than the screen is set as is.
        factor = 1;
        newWidth = kZoomBaseWidth * factor * tx + frameX;
        newHeight = kZoomBaseHeight * factor * ty + frameY;
    }

    // Width first, then height; each raises the resize handling, whose yield may
    // run anything, the closing of this window included.
    setClientSize(*window, roundEven((newWidth - frameX) / tx), window->height());
    if (window_ != window) return;
    setClientSize(*window, window->width(), roundEven((newHeight - frameY) / ty));
    if (window_ != window) return;
    CentreForm();
    if (!state_.CDGFile.empty()) window->show();
    state_.machine.BFlag = true;
}

void DisplayController::setClientSize(DisplayWindow& window, int width, int height) {
    const QSize wanted(std::max(1, width), std::max(1, height));
    if (window.size() == wanted) return;
    window.resize(wanted);
    // A visible window got its resize event inside resize(); a hidden one would
    // get it only when shown.
    if (!window.isVisible()) Form_Resize();
}

void DisplayController::CentreForm() {
    if (!window_) return;
    DisplayWindow& window = *window_;
    const ScreenTwips screen = screen_->measure(window);
    const QRect outer = window.frameGeometry();
    const double left = (screen.widthTwips - outer.width() * screen.twipsPerPixelX) / 2.5;
    const double top = (screen.heightTwips - outer.height() * screen.twipsPerPixelY) / 2.5;
    window.move(screen.leftPixels + roundEven(left / screen.twipsPerPixelX),
                screen.topPixels + roundEven(top / screen.twipsPerPixelY));
}

void DisplayController::BlitIt() {
    if (blitting_) return;
    blitting_ = true;
    DisplayWindow& window = ensureWindow();
    copyPicture(window);
    if (window.isVisible()) window.update();
    blitting_ = false;
}

void DisplayController::copyPicture(DisplayWindow& window) {
    int stride = 0;
    uint32_t* frame = window.frameFor(DWidth, DHeight, stride);
    StretchVisibleWindow(state_.machine, DWidth, DHeight, frame, stride);
}

void DisplayController::Form_Paint() {
    // The window asks for a redraw: bring its frame up to date from the picture;
    // it paints the frame itself right after.
    if (window_) copyPicture(*window_);
}

void DisplayController::Form_Resize() {
    if (window_ && !window_->isMinimized()) {
        const int width = std::max(1, window_->width());
        const int height = std::max(1, window_->height());
        DWidth = toInt16(width);
        DHeight = toInt16(height);
        if (setZoomText_) setZoomText_(QString::fromStdString(ZoomText(width)));
        BlitIt();
    }
    yield();
}

void DisplayController::Form_DblClick() {
    btnSize_Click();
}

void DisplayController::Form_Unload() {
    // The closed window deletes itself; the next use makes a new one.
    window_ = nullptr;
}

void DisplayController::yield() {
    if (yieldDepth_ > 0) return;
    ++yieldDepth_;
    QCoreApplication::processEvents();
    --yieldDepth_;
}

}  // namespace lyrvox
