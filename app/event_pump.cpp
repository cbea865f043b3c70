#include "app/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace lyrvox {

void serveEvents(double maxWaitMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!(maxWaitMs > 0.0)) return;
    // Whole milliseconds, rounded up so that the wait never ends before the moment
    // asked for; capped far below QTimer's int range.
    const int ms = static_cast<int>(std::ceil(std::min(maxWaitMs, 60000.0)));
    // The timer's own event wakes the dispatcher if nothing else does; a precise
    // timer keeps the wake-up within a millisecond or so (a coarse one may be off
    // by 5%, more than a packet at these waits).
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace lyrvox
