#include "playback/media/position_smoother.h"

#include <algorithm>

namespace lyrvox {

void PositionSmoother::reset() {
    running_ = false;
    lastAt_ = lastMs_ = 0.0;
}

void PositionSmoother::run(double nowMs) {
    if (running_) return;
    running_ = true;
    moved_ = false;
    lastAt_ = nowMs;
}

void PositionSmoother::halt(double nowMs, double backendMs) {
    if (!running_) return;
    read(nowMs, backendMs);
    running_ = false;
}

void PositionSmoother::holdAt(double ms) {
    lastMs_ = std::max(lastMs_, ms);
    running_ = false;
}

double PositionSmoother::read(double nowMs, double backendMs) {
    if (!running_) return lastMs_;
    const double elapsed = std::max(0.0, nowMs - lastAt_);
    lastAt_ = nowMs;
    moved_ = moved_ || backendMs > lastMs_;
    if (!moved_) return lastMs_;
    const double nominal = lastMs_ + elapsed * pace_;
    double ms = nominal;
    if (backendMs >= 0.0) {
        const double ahead = backendMs - nominal;  // of where the nominal pace would be now
        if (ahead > kSnapMs) {
            ms = backendMs;
        } else {
            ms = lastMs_ + elapsed * pace_ * std::clamp(1.0 + ahead / kSteerMs, 0.0, 2.0);
            ms = std::min(ms, backendMs + kLeadMs);
        }
    }
    lastMs_ = std::max(ms, lastMs_);
    return lastMs_;
}

}  // namespace lyrvox
