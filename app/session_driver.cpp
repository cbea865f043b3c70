#include "app/session_driver.h"

#include <algorithm>
#include <cmath>

#include "app/window_text.h"

namespace lyrvox {

SessionDriver::SessionDriver(MediaControl& media, const std::string& traceFile, QObject* parent)
    : QObject(parent), session_(media, *this, clock_, files_) {
    session_.setTraceFile(traceFile);
    // A coarse timer may be off by 5% of its interval, more than a packet at these
    // waits; a precise one keeps the wake-up within a millisecond or so.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.wake(); });
}

SessionDriver::~SessionDriver() {
    timer_.stop();
}

void SessionDriver::wakeIn(double ms) {
    if (ms < 0.0) return timer_.stop();
    // Whole milliseconds, rounded up so that a pass never comes before its packet is
    // due; 0 runs once the events already queued have been served.
    timer_.start(static_cast<int>(std::ceil(std::min(ms, 60000.0))));
}

void SessionDriver::transportChanged(Transport transport) {
    emit transportUpdated(transport);
}

void SessionDriver::showStatus(const std::string& text) {
    emit statusUpdated(visibleText(text));
}

void SessionDriver::showDisplay(bool visible) {
    emit displayRequested(visible);
}

void SessionDriver::showMessage(const std::string& text) {
    emit messageRequested(visibleText(text));
}

void SessionDriver::songEnded(bool byItself) {
    emit songOver(byItself);
}

void SessionDriver::waitEnded(bool cancelled) {
    emit waitOver(cancelled);
}

}  // namespace lyrvox
