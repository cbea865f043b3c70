#pragma once
// The display window's right-click menu, and the questions its entries ask by
// default (the controller lets tests answer them instead).
#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

#include "display/background_source.h"

class QMenu;
class QWidget;

namespace lyrvox {

class DisplayController;

// Pops the menu up at `globalPos` over `window`: full screen, the screen to show
// on, the scaling, the venue message and the background; then `extras` adds the
// owner's entries below a separator. The menu deletes itself when closed.
void popUpDisplayMenu(DisplayController& display, QWidget* window, const QPoint& globalPos,
                      const std::function<void(QMenu&)>& extras);

// The venue message, asked in a one-line dialog; nothing: cancelled.
std::optional<QString> askVenueMessageText(QWidget* parent, const QString& now);
// The background, asked in BackgroundDialog; nothing: cancelled.
std::optional<BackgroundChoice> askBackgroundChoice(QWidget* parent, const BackgroundChoice& now);

}  // namespace lyrvox
