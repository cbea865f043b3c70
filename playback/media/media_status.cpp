#include "playback/media/media_status.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lyrvox {

MediaState MediaStatus::state() const {
    if (!open_) return MediaState::Closed;
    if (error_ != MediaError::None) return MediaState::Failed;
    if (ended_) return MediaState::Ended;
    return playing_ ? MediaState::Playing : MediaState::Stopped;
}

void MediaStatus::changed(MediaState before, MediaError errorBefore) {
    if (listener_ != nullptr && (state() != before || error_ != errorBefore))
        listener_->mediaChanged();
}

void MediaStatus::opened() {
    const MediaState before = state();
    const MediaError errorBefore = error_;
    open_ = true;
    playing_ = ended_ = false;
    error_ = MediaError::None;
    position_.reset();
    changed(before, errorBefore);
}

void MediaStatus::refused(MediaError why) {
    const MediaState before = state();
    const MediaError errorBefore = error_;
    open_ = true;
    playing_ = false;
    error_ = why;
    changed(before, errorBefore);
}

void MediaStatus::started(double nowMs) {
    if (!canStart()) return;
    const MediaState before = state();
    playing_ = true;
    position_.run(nowMs);
    changed(before, error_);
}

void MediaStatus::halted(double nowMs, double backendMs) {
    if (!playing_) return;
    const MediaState before = state();
    position_.halt(nowMs, backendMs);
    playing_ = false;
    changed(before, error_);
}

void MediaStatus::ended(double backendMs) {
    if (!open_ || error_ != MediaError::None || ended_) return;
    const MediaState before = state();
    // The end of the sound is the end: no estimate lags behind it.
    position_.holdAt(backendMs);
    playing_ = false;
    ended_ = true;
    changed(before, error_);
}

void MediaStatus::failed(double backendMs) {
    if (!open_ || error_ != MediaError::None) return;
    const MediaState before = state();
    position_.holdAt(backendMs);
    const double heardMs = position_.read(0.0, -1.0);
    error_ = heardMs > 0.0 ? MediaError::OutputLost : MediaError::Unplayable;
    playing_ = false;
    changed(before, MediaError::None);
}

void MediaStatus::closed() {
    const MediaState before = state();
    const MediaError errorBefore = error_;
    open_ = playing_ = ended_ = false;
    error_ = MediaError::None;
    position_.reset();
    changed(before, errorBefore);
}

int32_t MediaStatus::positionMs(double nowMs, double backendMs) {
    if (!open_) return 0;
    const double ms = std::floor(position_.read(nowMs, playing_ ? backendMs : -1.0));
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

}  // namespace lyrvox
