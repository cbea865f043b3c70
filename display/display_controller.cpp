#include "display/display_controller.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <limits>

#include "display/display_menu.h"
#include "display/picture_copy.h"
#include "display/picture_fit.h"
#include "display/window_place.h"
#include "display/zoom.h"
#include "util/rounding.h"
#include "util/settings_table.h"

namespace lyrvox {

namespace {

// Design-time client size of the display window in twips; the first size command
// replaces it (at 15 twips per pixel it is 245 x 177 pixels, hence factor 1).
constexpr double kDesignWidthTwips = 3675;
constexpr double kDesignHeightTwips = 2655;

int16_t toInt16(int value) {
    return static_cast<int16_t>(std::clamp(value, 1, int{std::numeric_limits<int16_t>::max()}));
}

const QString kScreenKey = QString::fromLatin1(settings::kDisplayScreen.key);
const QString kFullScreenKey = QString::fromLatin1(settings::kDisplayFullScreen.key);
const QString kGeometryKey = QString::fromLatin1(settings::kDisplayGeometry.key);
const QString kScalingKey = QString::fromLatin1(settings::kDisplayScaling.key);
const QString kMessageKey = QString::fromLatin1(settings::kUpNextMessage.key);
const QString kMessageOnKey = QString::fromLatin1(settings::kUpNextMessageOn.key);
const QString kShowFollowingKey = QString::fromLatin1(settings::kUpNextShowFollowing.key);

bool flag(const DisplayMemory& memory, const QString& key, const Setting& setting) {
    const std::optional<QString> text = memory.read(key);
    return settingNumber(
               setting, text ? std::optional<std::string>(text->toStdString()) : std::nullopt) != 0;
}

}  // namespace

DisplayController::DisplayController(const CdgMachine& machine, std::function<bool()> hasGraphics,
                                     QIcon icon, const ScreenMetrics* screen, DisplayMemory memory,
                                     QObject* parent)
    : QObject(parent),
      machine_(machine),
      hasGraphics_(std::move(hasGraphics)),
      icon_(std::move(icon)),
      screen_(screen != nullptr ? screen : &qtScreen_),
      memory_(std::move(memory)) {
    const QString scaling = memory_.read(kScalingKey).value_or(QString());
    keepAspect_ = scaling.contains(QStringLiteral("keep-aspect"));
    pixelPerfect_ = scaling.contains(QStringLiteral("pixel-perfect"));
    connect(qGuiApp, &QGuiApplication::screenRemoved, this,
            [this](QScreen* gone) { screenRemoved(gone); });
    background_.setChoice(BackgroundChoice::read(memory_));
    connect(&background_, &BackgroundSource::changed, this, [this] { backgroundChanged(); });
}

DisplayController::~DisplayController() {
    remember();
    delete window_;
}

QWidget* DisplayController::window() {
    return &ensureWindow();
}

void DisplayController::setVisible(bool visible) {
    DisplayWindow& window = ensureWindow();
    if (visible && restorePending_) restoreRemembered(window);
    if (visible && fullScreenWhenShown_) {
        enterFullScreen(window);
    } else if (visible) {
        window.show();
    } else {
        window.hide();
    }
}

DisplayWindow& DisplayController::ensureWindow() {
    if (!window_) {
        window_ = new DisplayWindow(*this);
        UpNextScreen& screen = window_->upNextScreen();
        screen.setMessage(venueMessage(), venueMessageOn());
        screen.setJoin(joinCode_, joinText_);
        screen.setShowFollowing(flag(memory_, kShowFollowingKey, settings::kUpNextShowFollowing));
        if (upNext_) screen.show(*upNext_);
        connect(window_, &DisplayWindow::startNowRequested, this,
                &DisplayController::startNowRequested);
        connect(window_, &DisplayWindow::holdToggled, this, &DisplayController::holdToggled);
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

void DisplayController::restoreRemembered(DisplayWindow& window) {
    // Once a run, at the first show: start-up's size command has run by then.
    // Only onto a screen that is still there; anything else keeps the design place.
    restorePending_ = false;
    QScreen* screen = screenNamed(memory_.read(kScreenKey).value_or(QString()));
    if (screen == nullptr) return;
    const QRect place = geometryFrom(memory_.read(kGeometryKey).value_or(QString()));
    if (place.isValid() && screen->geometry().intersects(place)) {
        window.setGeometry(place);
    } else {
        moveToScreen(screen);
    }
    window.setScreen(screen);
    if (memory_.read(kFullScreenKey).value_or(QString()) == QStringLiteral("1")) {
        normalGeometry_ = window.geometry();
        fullScreenWhenShown_ = true;
    }
}

void DisplayController::remember() {
    memory_.write(kScalingKey,
                  QStringList{keepAspect_ ? QStringLiteral("keep-aspect") : QString(),
                              pixelPerfect_ ? QStringLiteral("pixel-perfect") : QString()}
                      .join(QLatin1Char(' '))
                      .trimmed());
    // A display not shown in this run keeps what the last run remembered.
    if (!window_ || window_->screen() == nullptr || restorePending_) return;
    const bool full = window_->isFullScreen() || fullScreenWhenShown_;
    memory_.write(kScreenKey, window_->screen()->name());
    memory_.write(kFullScreenKey, full ? QStringLiteral("1") : QStringLiteral("0"));
    memory_.write(kGeometryKey, geometryText(full ? normalGeometry_ : window_->geometry()));
}

bool DisplayController::isFullScreen() const {
    return window_ && window_->isFullScreen();
}

void DisplayController::toggleFullScreen() {
    DisplayWindow& window = ensureWindow();
    if (restorePending_) restoreRemembered(window);
    if (window.isFullScreen()) {
        leaveFullScreen(window);
    } else {
        enterFullScreen(window);
    }
    remember();
}

void DisplayController::enterFullScreen(DisplayWindow& window) {
    fullScreenWhenShown_ = false;
    if (!window.isFullScreen()) normalGeometry_ = window.geometry();
    // A window manager places a full-screen window itself; without one (a bare X
    // server) nobody would, so the window first covers its screen. Afterwards a
    // new geometry would end the full-screen state.
    if (QScreen* screen = window.screen()) window.setGeometry(screen->geometry());
    window.showFullScreen();
}

void DisplayController::leaveFullScreen(DisplayWindow& window) {
    QPointer<DisplayWindow> guard(&window);
    window.showNormal();
    if (guard && normalGeometry_.isValid()) window.setGeometry(normalGeometry_);
}

void DisplayController::moveToScreen(QScreen* screen) {
    if (screen == nullptr) return;
    DisplayWindow& window = ensureWindow();
    restorePending_ = false;  // an explicit choice wins over the remembered one
    const bool full = window.isFullScreen();
    // The window's normal size, clipped to the new screen's usable area, centred there.
    const QRect area = screen->availableGeometry();
    const QSize size = (full ? normalGeometry_ : window.geometry()).size().boundedTo(area.size());
    const QRect place(area.topLeft() + QPoint((area.width() - size.width()) / 2,
                                              (area.height() - size.height()) / 2),
                      size);
    QPointer<DisplayWindow> guard(&window);
    if (full) window.showNormal();
    if (!guard) return;
    // Onto another X screen Qt makes the window anew, which would leave it
    // unmapped yet marked as shown: hide it first so that it can be shown again.
    const bool shown = window.isVisible();
    if (window.screen() != screen) {
        if (shown) window.hide();
        window.setScreen(screen);
    }
    window.setGeometry(place);
    if (shown && !full) window.show();
    normalGeometry_ = place;
    if (full) enterFullScreen(window);
    remember();
}

void DisplayController::screenRemoved(QScreen* gone) {
    if (!window_) return;
    // Qt may already have handed the window to another screen; what matters is
    // whether its normal place still lies on one that stays.
    const QRect place = window_->isFullScreen() ? normalGeometry_ : window_->geometry();
    bool onScreen = false;
    QScreen* fallback = QGuiApplication::primaryScreen();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen == gone) continue;
        if (screen->geometry().intersects(place)) onScreen = true;
        if (fallback == gone || fallback == nullptr) fallback = screen;
    }
    if (fallback == gone) return;  // the last screen went: nowhere to go
    if (window_->screen() == gone || !onScreen) moveToScreen(fallback);
}

void DisplayController::setKeepAspect(bool on) {
    keepAspect_ = on;
    refit();
    remember();
}

void DisplayController::setPixelPerfect(bool on) {
    pixelPerfect_ = on;
    refit();
    remember();
}

void DisplayController::showNote(const QString& text, int ms) {
    ensureWindow().showNote(text, ms);
}

void DisplayController::showBanner(const QString& text) {
    if (text.isEmpty() && !window_) return;
    ensureWindow().showBanner(text);
}

void DisplayController::escapePressed() {
    if (isFullScreen()) toggleFullScreen();
}

void DisplayController::menuRequested(const QPoint& globalPos) {
    if (window_) popUpDisplayMenu(*this, window_, globalPos, menuExtras_);
}

void DisplayController::stepZoomBy(double (*factorFor)(int clientWidth)) {
    DisplayWindow* window = &ensureWindow();
    if (!isNormal(*window)) return;

    const QSize size = zoomedClientSize(screen_->measure(*window), window->size(),
                                        window->frameGeometry().size() - window->size(), factorFor);
    setClientSize(*window, size.width(), size.height());
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
    window_->move(centredTopLeft(screen_->measure(*window_), window_->frameGeometry().size()));
}

void DisplayController::copyPicture() {
    if (copying_) return;
    copying_ = true;
    DisplayWindow& window = ensureWindow();
    fillFrame(window);
    if (window.isVisible()) {
        window.update();
        frameFresh_ = true;
    }
    copying_ = false;
}

void DisplayController::fillFrame(DisplayWindow& window) {
    int stride = 0;
    uint32_t* frame = window.frameFor(copyWidth_, copyHeight_, stride);
    // Only a chosen background that shows costs the compositing pass.
    if (!background_.composite(machine_, copyWidth_, copyHeight_, frame, stride))
        stretchVisibleWindow(machine_, copyWidth_, copyHeight_, frame, stride);
}

void DisplayController::setBackground(const BackgroundChoice& choice) {
    choice.write(memory_);
    background_.setChoice(choice);
}

void DisplayController::askBackground() {
    const BackgroundChoice now = background_.choice();
    const std::optional<BackgroundChoice> answer =
        askBackground_ ? askBackground_(window_, now) : askBackgroundChoice(window_, now);
    if (answer) setBackground(*answer);
}

void DisplayController::backgroundChanged() {
    if (!window_) return;
    window_->setBackdrop(upNext_ && background_.active() ? background_.scaledTo(window_->size())
                                                         : QImage());
    // A new video frame or slide shows only through transparent colours.
    if (CdgMachine::anyTransparent(
            machine_.opacityTable(background_.choice().clearColourTransparent)))
        copyPicture();
}

void DisplayController::repaintNeeded() {
    // The window asks for a redraw: bring its frame up to date from the picture;
    // it paints the frame itself right after. The paint a copy asked for needs no
    // second copy: at full screen each one moves megabytes.
    if (window_ && !frameFresh_) fillFrame(*window_);
    frameFresh_ = false;
}

void DisplayController::resized() {
    if (window_ && !window_->isMinimized()) {
        emit zoomTextChanged(QString::fromStdString(zoomText(std::max(1, window_->width()))));
        refit();
    }
}

void DisplayController::refit() {
    if (!window_ || window_->isMinimized()) return;
    const Scaling scaling = scalingFor(keepAspect_, pixelPerfect_, window_->isFullScreen());
    const FitRect fit = fitPicture(kViewWidth, kViewHeight, std::max(1, window_->width()),
                                   std::max(1, window_->height()), scaling);
    // A stretched copy has the client size, up to 16 bits a side.
    copyWidth_ = toInt16(scaling == Scaling::Stretch ? window_->width() : fit.width);
    copyHeight_ = toInt16(scaling == Scaling::Stretch ? window_->height() : fit.height);
    window_->setPictureRect(QRect(fit.x, fit.y, copyWidth_, copyHeight_));
    copyPicture();
}

void DisplayController::doubleClicked() {
    stepZoom();
}

void DisplayController::closed() {
    remember();
    // The closed window deletes itself; the next use makes a new one.
    window_ = nullptr;
}

void DisplayController::showUpNext(const UpNext& next) {
    upNext_ = next;
    ensureWindow().showUpNext(next);
    backgroundChanged();
}

void DisplayController::hideUpNext() {
    upNext_.reset();
    if (window_) window_->hideUpNext();
}

QString DisplayController::venueMessage() const {
    return memory_.read(kMessageKey).value_or(QString());
}

bool DisplayController::venueMessageOn() const {
    return flag(memory_, kMessageOnKey, settings::kUpNextMessageOn);
}

void DisplayController::setVenueMessage(const QString& text, bool on) {
    memory_.write(kMessageKey, text);
    memory_.write(kMessageOnKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    if (window_) window_->upNextScreen().setMessage(text, on);
}

void DisplayController::setJoin(const QImage& code, const QString& text) {
    joinCode_ = code;
    joinText_ = text;
    if (window_) window_->upNextScreen().setJoin(code, text);
}

void DisplayController::askVenueMessage() {
    const QString now = venueMessage();
    const std::optional<QString> answer =
        askMessage_ ? askMessage_(window_, now) : askVenueMessageText(window_, now);
    if (!answer) return;
    const QString text = answer->simplified();  // one line
    setVenueMessage(text, !text.isEmpty());
}

}  // namespace lyrvox
