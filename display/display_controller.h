#pragma once
// The display window and what the control window does with it: the size command,
// centring, full screen and the screen it shows on, the scaling, notes over the
// picture, and the picture copy. The window is created hidden on first use and
// again after the user closed it. It shows the machine's picture and never
// changes the machine.
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "display/background_source.h"
#include "display/display_memory.h"
#include "display/display_window.h"
#include "display/screen_metrics.h"
#include "display/zoom.h"
#include "playback/cdg/cdg_machine.h"

class QMenu;
class QScreen;

namespace lyrvox {

class DisplayController : public QObject, private DisplayEvents {
    Q_OBJECT
  public:
    // `hasGraphics` tells whether a song with graphics has been played (then the
    // size command shows the window); `icon` goes to every window made. Without
    // `screen` the real screens are measured; a given one must outlive this.
    // `memory` gives the first window shown the screen, state and place the last
    // run's display had, when that screen is still connected, and the scaling.
    DisplayController(const CdgMachine& machine, std::function<bool()> hasGraphics, QIcon icon,
                      const ScreenMetrics* screen = nullptr, DisplayMemory memory = {},
                      QObject* parent = nullptr);
    ~DisplayController() override;

    // The size command: steps the client size through 294x204 times 1, 1.5, 2, 3
    // by the current client width, then centres the window. Does nothing at all
    // while the window is minimised or maximised.
    void stepZoom() { stepZoomBy(&zoomFactorFor); }
    // The same, one step down (see zoomFactorBelow).
    void stepZoomDown() { stepZoomBy(&zoomFactorBelow); }
    // Copies the visible window of the picture into the display window's frame,
    // stretched to the copy size, and asks for a repaint. Creates the window
    // (hidden) when needed; copies whether or not it is visible.
    void copyPicture();
    // Moves the window so that 40% of the free screen space lies left of and
    // above it (divisor 2.5), in one step.
    void centre();
    void setVisible(bool visible);  // creates the window first when needed
    QWidget* window();              // creates the window (hidden) when needed
    // The copy's destination: the picture's size in the client area in pixels, each
    // side 1..32767 (the whole client area when stretched).
    QSize copySize() const { return {copyWidth_, copyHeight_}; }

    // Full screen on the screen the window is on, or back to its earlier place.
    // Shows the window.
    void toggleFullScreen();
    bool isFullScreen() const;
    // Moves the window onto `screen`, centred there; full screen stays full screen.
    void moveToScreen(QScreen* screen);
    // When the window's screen goes away (or it would be left off every screen),
    // it comes to the primary one. Connected to QGuiApplication::screenRemoved.
    void screenRemoved(QScreen* screen);
    // Keep the picture's shape in a window too (full screen always keeps it).
    void setKeepAspect(bool on);
    bool keepAspect() const { return keepAspect_; }
    // Largest whole-number scale that fits: every CD+G pixel the same size.
    void setPixelPerfect(bool on);
    bool pixelPerfect() const { return pixelPerfect_; }
    // `text` over the picture for `ms` milliseconds; only painted, never copied
    // into the frame or a snapshot.
    void showNote(const QString& text, int ms = 1500);
    // Adds the owner's commands below the display's own in the right-click menu, each
    // time the menu opens (so that checks show the state of that moment).
    void setMenuExtras(std::function<void(QMenu& menu)> addEntries) {
        menuExtras_ = std::move(addEntries);
    }
    // Large `text` in the middle of the window until it is replaced or cleared with
    // an empty text; only painted, like a note.
    void showBanner(const QString& text);

    // The up-next screen between songs (see UpNextScreen); kept for a window made
    // later. The owner calls showUpNext again as the seconds step down.
    void showUpNext(const UpNext& next);
    void hideUpNext();
    // The venue message scrolling along the up-next screen's bottom, and whether it
    // shows; remembered. The menu's "Venue message..." sets both.
    void setVenueMessage(const QString& text, bool on);
    QString venueMessage() const;
    bool venueMessageOn() const;
    // The requests page's QR code and address on the up-next screen's corner (see
    // UpNextScreen::setJoin), while the request server runs; kept for a window made later.
    void setJoin(const QImage& code, const QString& text);
    // Asks the host for the venue message, given the current one; nothing: cancelled.
    // The default is a QInputDialog over `parent`; tests answer themselves.
    using AskMessage = std::function<std::optional<QString>(QWidget* parent, const QString& now)>;
    void setAskMessage(AskMessage ask) { askMessage_ = std::move(ask); }
    // What "Venue message..." does: asks, then keeps the answer; a message is on
    // when it is not empty.
    void askVenueMessage();

    // What shows through the picture's transparent colours (see BackgroundSource);
    // remembered. The menu's "Background..." asks for it; tests answer themselves.
    void setBackground(const BackgroundChoice& choice);
    BackgroundSource& background() { return background_; }
    using AskBackground = std::function<std::optional<BackgroundChoice>(
        QWidget* parent, const BackgroundChoice& now)>;
    void setAskBackground(AskBackground ask) { askBackground_ = std::move(ask); }
    void askBackground();

  signals:
    // Keys on the up-next screen: Enter starts the next song now, H holds the
    // countdown or lets it go on.
    void startNowRequested();
    void holdToggled();
    // The zoom label's text ("1.5x") after every resize.
    void zoomTextChanged(const QString& text);
    // A size command has resized the window: the picture wants a fresh copy.
    void zoomStepped();
    // A new display window exists (the first, or one after the user closed the last).
    void windowMade(QWidget* window);

  private:
    void repaintNeeded() override;
    void resized() override;
    void doubleClicked() override;
    void closed() override;
    void fullScreenToggled() override { toggleFullScreen(); }
    void escapePressed() override;
    void menuRequested(const QPoint& globalPos) override;

    DisplayWindow& ensureWindow();
    void stepZoomBy(double (*factorFor)(int clientWidth));
    // The new window's design size and place, or the remembered ones.
    void placeNewWindow();
    void restoreRemembered(DisplayWindow& window);
    void remember();
    // Full screen on the window's screen, filling it even without a window manager.
    void enterFullScreen(DisplayWindow& window);
    void leaveFullScreen(DisplayWindow& window);
    // Recomputes the picture's place for the client size and scaling, then copies.
    void refit();
    void fillFrame(DisplayWindow& window);
    // Sets the client size and runs the resize handling at once when it changed
    // (Qt would only deliver it at show time).
    void setClientSize(DisplayWindow& window, int width, int height);
    // A new background image or frame: the up-next screen's backdrop and the picture.
    void backgroundChanged();

    const CdgMachine& machine_;
    std::function<bool()> hasGraphics_;
    std::function<void(QMenu&)> menuExtras_;
    QIcon icon_;
    QtScreenMetrics qtScreen_;
    const ScreenMetrics* screen_;
    QPointer<DisplayWindow> window_;
    int16_t copyWidth_ = 300;
    int16_t copyHeight_ = 216;
    DisplayMemory memory_;
    QRect normalGeometry_;              // the window's place before full screen
    bool fullScreenWhenShown_ = false;  // remembered full screen, for the first show
    bool restorePending_ = true;        // the remembered display awaits the first show
    bool keepAspect_ = false;
    bool pixelPerfect_ = false;
    bool copying_ = false;
    bool frameFresh_ = false;       // filled by a copy whose paint is still to come
    std::optional<UpNext> upNext_;  // showing, for a window made later
    QImage joinCode_;
    QString joinText_;
    AskMessage askMessage_;
    BackgroundSource background_;
    AskBackground askBackground_;
};

}  // namespace lyrvox
