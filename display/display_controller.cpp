#include "display/display_controller.h"

namespace lyrvox {
// Placeholder; the display window is filled in by its own change.
DisplayController::DisplayController(PlayerState& state, QIcon icon,
                                     std::function<void(const QString&)> setZoomText, QObject* parent)
    : QObject(parent), state_(state), icon_(std::move(icon)), setZoomText_(std::move(setZoomText)) {}
DisplayController::~DisplayController() { delete window_; }
void DisplayController::btnSize_Click() {}
void DisplayController::BlitIt() {}
void DisplayController::setVisible(bool) {}
QWidget* DisplayController::window() { return window_; }
}  // namespace lyrvox
