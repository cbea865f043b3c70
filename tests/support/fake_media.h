#pragma once
// A media control that plays nothing: it records every call and runs on a
// position that the test moves with advance().
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "playback/media/media_control.h"

namespace lyrvox::testing {

class FakeMedia : public MediaControl {
  public:
    std::vector<std::string> calls;       // "open PATH", "open PATH alt", "play", "pause", ...
    std::vector<std::string> unplayable;  // paths that fail at open()
    double durationMs = 1e12;
    std::optional<double> failAtMs;  // the backend gives up while playing
    double position = 0.0;
    std::function<void(const std::string&)> onCall;

    void open(const std::string& path, bool alternativeDevice) override {
        record("open " + path + (alternativeDevice ? " alt" : ""));
        reset(MediaState::Stopped);
        if (std::find(unplayable.begin(), unplayable.end(), path) != unplayable.end())
            state_ = MediaState::Failed;
    }
    void play() override {
        record("play");
        if (state_ == MediaState::Stopped) state_ = MediaState::Playing;
    }
    void pause() override { halt("pause"); }
    void stop() override { halt("stop"); }
    void close() override {
        record("close");
        reset(MediaState::Closed);
    }
    int32_t positionMs() override { return static_cast<int32_t>(position); }
    MediaState state() override { return state_; }
    MediaError error() override {
        return state_ == MediaState::Failed ? MediaError::Unplayable : MediaError::None;
    }

    bool playing() const { return state_ == MediaState::Playing; }
    void advance(double ms) {
        if (state_ != MediaState::Playing) return;
        position = std::min(position + ms, durationMs);
        if (position >= durationMs) state_ = MediaState::Ended;
        if (failAtMs && position >= *failAtMs) state_ = MediaState::Failed;
    }

  private:
    void record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
    void reset(MediaState state) {
        state_ = state;
        position = 0.0;
    }
    void halt(const char* call) {
        record(call);
        if (state_ == MediaState::Playing) state_ = MediaState::Stopped;
    }
    MediaState state_ = MediaState::Closed;
};

}  // namespace lyrvox::testing
