#pragma once
// The display window frmDisplay and the routines of the control window that work
// on it: the size command btnSize_Click, CentreForm, the picture copy BlitIt and
// the window's event handlers. The window is created hidden on first use and again
// after the user closed it.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "display/display_window.h"
#include "display/screen_metrics.h"
#include "playback/player_state.h"

namespace lyrvox {

class DisplayController : public QObject, private DisplayEvents {
    Q_OBJECT
  public:
    // setZoomText receives the lblZoom caption ("1.5x"); icon is the control
    // window's icon, given to the display window when it is created.
    DisplayController(PlayerState& state, QIcon icon,
                      std::function<void(const QString&)> setZoomText, QObject* parent = nullptr);
    // The same on screens described by `screen`, which must outlive the controller.
    DisplayController(PlayerState& state, QIcon icon,
                      std::function<void(const QString&)> setZoomText, const ScreenMetrics& screen,
                      QObject* parent = nullptr);
    ~DisplayController() override;

    // The size command: steps the client size through 294x204 times 1, 1.5, 2, 3
    // by the current client width, then centres the window. Does nothing at all
    // while the window is minimised or maximised.
    void btnSize_Click();
    // Copies the visible window of the picture into the display window's frame,
    // stretched to DWidth x DHeight, and asks for a repaint. Creates the window
    // (hidden) when needed; copies whether or not it is visible.
    void BlitIt();
    // Moves the window so that 40% of the free screen space lies left of and
    // above it (divisor 2.5), in one step.
    void CentreForm();
    void setVisible(bool visible);  // creates the window first when needed
    QWidget* window();              // creates the window (hidden) when needed
    void setIcon(const QIcon& icon);

    int16_t DWidth = 300;  // client size in pixels, the copy's destination; never below 1
    int16_t DHeight = 216;

  private:
    void Form_Load();
    void Form_Paint() override;
    void Form_Resize() override;
    void Form_DblClick() override;
    void Form_Unload() override;

    DisplayWindow& ensureWindow();
    void copyPicture(DisplayWindow& window);
    // Sets the client size that gives the outer size in twips, and runs the resize
    // handling at once when the size changed (Qt would only deliver it at show time).
    void setClientSize(DisplayWindow& window, int width, int height);
    // Lets all pending events run; nested calls return at once, the outer one
    // goes on processing.
    void yield();

    PlayerState& state_;
    QIcon icon_;
    std::function<void(const QString&)> setZoomText_;
    QtScreenMetrics qtScreen_;
    const ScreenMetrics* screen_;
    QPointer<DisplayWindow> window_;
    bool blitting_ = false;
    int yieldDepth_ = 0;
};

}  // namespace lyrvox
