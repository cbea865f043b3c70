#pragma once
// A simulated world for PlaybackSession: media that play nothing, a clock that
// moves only while the host serves events, a recording host and an in-memory disk.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/media/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"
#include "util/text_helpers.h"

namespace lyrvox::testing {

// A media control that plays nothing: it records every call and runs on a
// position that the test moves with advance().
class FakeMedia : public MediaControl {
  public:
    std::vector<std::string> calls;       // "open PATH", "open PATH alt", "play", "pause", ...
    std::vector<std::string> unplayable;  // paths that fail at open()
    double durationMs = 1e12;
    std::optional<double> failAtMs;  // the backend gives up while playing
    double position = 0.0;
    std::function<void(const std::string&)> onCall;
    std::pair<int, int> keyAndTempo{0, 100};
    int volume = 100;

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
    bool setKeyAndTempo(int semitones, int tempoPercent) override {
        keyAndTempo = {semitones, tempoPercent};
        return true;
    }
    void setVolume(int percent) override { volume = percent; }
    MediaError error() override {
        if (state_ != MediaState::Failed) return MediaError::None;
        return position > 0.0 ? MediaError::OutputLost : MediaError::Unplayable;
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

struct World : SessionClock {
    double now = 1000.0;  // seconds
    FakeMedia media;
    double seconds() override { return now; }
    void advance(double ms) {
        now += ms / 1000.0;
        media.advance(ms);
    }
};

// A host that records what a window would show and does what its Stop button does.
// Every pass of a session ends in exactly one serveEvents with a wait; onServe runs
// inside it, as the events served there would, then `wait` lets the time pass.
class FakeHost : public SessionHost {
  public:
    FakeHost(MediaControl& media, PlayerState& state, std::function<void(double ms)> wait)
        : media_(media), state_(state), wait_(std::move(wait)) {}

    std::vector<std::string> statuses, messages;
    std::vector<bool> displays;
    int ends = 0;               // sessionEnded and Stop clicks
    std::vector<double> waits;  // one per serveEvents
    std::function<void(std::size_t serving)> onServe;

    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void setOpenEnabled(bool) override {}
    void enableStopNow() override {}
    void showDisplay(bool visible) override { displays.push_back(visible); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void serveEvents(double maxWaitMs) override {
        waits.push_back(maxWaitMs);
        if (onServe) onServe(waits.size());
        wait_(maxWaitMs > 0.0 ? maxWaitMs : 0.0);
    }
    // What the Stop button does.
    void sessionEnded() override {
        ++ends;
        media_.stop();
        media_.close();
        state_.sessionRunning = state_.paused = false;
        showStatus("Ready.");
    }
    void pause() {
        state_.paused = true;
        media_.pause();
    }
    void resume() {
        state_.paused = false;
        media_.play();
    }

  private:
    MediaControl& media_;
    PlayerState& state_;
    std::function<void(double)> wait_;
};

// In-memory files, found without regard to case, with a log of opens and closes.
class FakeFiles : public SessionFiles {
  public:
    std::map<std::string, std::string> files;  // bytes by real name
    std::vector<std::string> log;              // "open NAME", "close NAME"
    int openNow = 0;

    // `base` with each suffix: graphics (.cdg in any case, .rw) of `packets`
    // empty packets, anything else as empty audio.
    void addSong(const std::string& base, const std::vector<std::string>& suffixes,
                 std::size_t packets) {
        for (const std::string& suffix : suffixes) {
            const std::string s = toLowerAscii(suffix);
            files[base + suffix].assign(s == ".cdg" || s == ".rw" ? packets * 24 : 0, '\0');
        }
    }

    std::optional<std::string> find(const std::string& path) override {
        for (const auto& [name, bytes] : files)
            if (equalsIgnoreAsciiCase(name, path)) return name;
        return std::nullopt;
    }
    UnpackedSong unpackZip(const std::string& path) override {
        UnpackedSong none;
        none.error = "No song found in " + fileNameOf(path);  // zips live on the real disk
        return none;
    }
    std::unique_ptr<PacketSource> open(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return nullptr;
        log.push_back("open " + path);
        ++openNow;
        return std::make_unique<Source>(*this, path, it->second);
    }

  private:
    class Source : public PacketSource {
      public:
        Source(FakeFiles& owner, std::string name, std::string bytes)
            : owner_(owner), name_(std::move(name)), bytes_(std::move(bytes)) {}
        ~Source() override {
            owner_.log.push_back("close " + name_);
            --owner_.openNow;
        }
        std::size_t read(uint8_t* buffer, std::size_t size) override {
            const std::size_t n = bytes_.copy(reinterpret_cast<char*>(buffer), size, offset_);
            offset_ += n;
            return n;
        }
        bool atEnd() override { return offset_ >= bytes_.size(); }

      private:
        FakeFiles& owner_;
        std::string name_, bytes_;
        std::size_t offset_ = 0;
    };
};

}  // namespace lyrvox::testing
