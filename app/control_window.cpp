#include "app/control_window.h"

namespace lyrvox {
// Placeholder; the control window is filled in by its own change.
ControlWindow::ControlWindow(QWidget* parent) : QWidget(parent) { setWindowTitle("Lyrvox Controls"); }
}  // namespace lyrvox
