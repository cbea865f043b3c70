#pragma once
// The display window and what the control window does with it: the size command,
// centring, and the picture copy. The window is created hidden on first use and
// again after the user closed it. It shows the machine's picture and never
// changes the machine.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "display/display_window.h"
#include "display/screen_metrics.h"
#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

class DisplayController : public QObject, private DisplayEvents {
    Q_OBJECT
  public:
    // `hasGraphics` tells whether a song with graphics has been played (then the
    // size command shows the window); `icon` goes to every window made. Without
    // `screen` the real screens are measured; a given one must outlive this.
    DisplayController(const CdgMachine& machine, std::function<bool()> hasGraphics, QIcon icon,
                      const ScreenMetrics* screen = nullptr, QObject* parent = nullptr);
    ~DisplayController() override;

    // The size command: steps the client size through 294x204 times 1, 1.5, 2, 3
    // by the current client width, then centres the window. Does nothing at all
    // while the window is minimised or maximised.
    void stepZoom();
    // The same, one step down (see zoomFactorBelow).
    void stepZoomDown();
    // A short text over the picture for `ms` milliseconds; never part of the
    // picture itself or a snapshot.
    void showNote(const QString& text, int ms = 1500);
    // Copies the visible window of the picture into the display window's frame,
    // stretched to the copy size, and asks for a repaint. Creates the window
    // (hidden) when needed; copies whether or not it is visible.
    void copyPicture();
    // Moves the window so that 40% of the free screen space lies left of and
    // above it (divisor 2.5), in one step.
    void centre();
    void setVisible(bool visible);  // creates the window first when needed
    QWidget* window();              // creates the window (hidden) when needed
    // The copy's destination: the client size in pixels, each side 1..32767.
    QSize copySize() const { return {copyWidth_, copyHeight_}; }

  signals:
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

    DisplayWindow& ensureWindow();
    void stepZoomBy(double (*factorFor)(int clientWidth));
    // The new window's design size and place.
    void placeNewWindow();
    void fillFrame(DisplayWindow& window);
    // Sets the client size and runs the resize handling at once when it changed
    // (Qt would only deliver it at show time).
    void setClientSize(DisplayWindow& window, int width, int height);
    // Lets all pending events run; nested calls return at once, the outer one
    // goes on processing.
    void serveEventsOnce();

    const CdgMachine& machine_;
    std::function<bool()> hasGraphics_;
    QIcon icon_;
    QtScreenMetrics qtScreen_;
    const ScreenMetrics* screen_;
    QPointer<DisplayWindow> window_;
    int16_t copyWidth_ = 300;
    int16_t copyHeight_ = 216;
    bool copying_ = false;
    int servingDepth_ = 0;
};

}  // namespace lyrvox
