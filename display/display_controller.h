#pragma once
// The display window frmDisplay and the routines of the control window that work
// on it: the size command btnSize_Click, CentreForm, the picture copy BlitIt.
// The window is created hidden on first use and again after the user closed it.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "playback/player_state.h"

namespace lyrvox {

class DisplayController : public QObject {
    Q_OBJECT
public:
    // setZoomText receives the lblZoom caption ("1.5x").
    DisplayController(PlayerState& state, QIcon icon, std::function<void(const QString&)> setZoomText,
                      QObject* parent = nullptr);
    ~DisplayController() override;

    void btnSize_Click();
    void BlitIt();
    void setVisible(bool visible);  // creates the window first when needed
    QWidget* window();              // creates the window (hidden) when needed

    int16_t DWidth = 300;   // client size in pixels, the copy's destination
    int16_t DHeight = 216;

private:
    PlayerState& state_;
    QIcon icon_;
    std::function<void(const QString&)> setZoomText_;
    QPointer<QWidget> window_;
};

}  // namespace lyrvox
