#include "playback/media/position_smoother.h"

#include <algorithm>
#include <cmath>

namespace lyrvox {

void PositionSmoother::reset() {
    running_ = false;
    anchorMs_ = anchorAt_ = lastMs_ = 0.0;
}

void PositionSmoother::run(double nowMs) {
    if (running_) return;
    running_ = true;
    anchorMs_ = lastMs_;
    anchorAt_ = nowMs;
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
    double ms = anchorMs_ + (nowMs - anchorAt_);
    if (std::fabs(ms - backendMs) > resyncMs_) {
        anchorMs_ = backendMs;
        anchorAt_ = nowMs;
        ms = backendMs;
    }
    lastMs_ = std::max(ms, lastMs_);
    return lastMs_;
}

}  // namespace lyrvox
