#include "playback/qt_event_pump.h"

#include <QCoreApplication>

namespace lyrvox {
// Placeholder; the precise wait is filled in by its own change.
void serveEvents(double) { QCoreApplication::processEvents(); }
}  // namespace lyrvox
