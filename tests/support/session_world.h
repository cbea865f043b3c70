#pragma once
// A simulated world for PlaybackSession: media that play nothing, a clock that
// moves only when the session's timer is due, a recording host and an in-memory disk.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/media/media_control.h"
#include "playback/playback_session.h"
#include "util/text_helpers.h"

namespace lyrvox::testing {

// A media control that plays nothing: it records every call, runs on a position
// that the test moves with advance(), and tells its listener of every change of
// state, as the real ones do.
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

    void setListener(MediaListener* listener) override { listener_ = listener; }
    void open(const std::string& path, bool alternativeDevice) override {
        record("open " + path + (alternativeDevice ? " alt" : ""));
        position = 0.0;
        const bool bad = std::find(unplayable.begin(), unplayable.end(), path) != unplayable.end();
        set(bad ? MediaState::Failed : MediaState::Stopped);
    }
    void play() override {
        record("play");
        if (state_ == MediaState::Stopped) set(MediaState::Playing);
    }
    void pause() override { halt("pause"); }
    void stop() override { halt("stop"); }
    void close() override {
        record("close");
        position = 0.0;
        set(MediaState::Closed);
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
        if (failAtMs && position >= *failAtMs) return set(MediaState::Failed);
        if (position >= durationMs) set(MediaState::Ended);
    }

  private:
    void record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
    void set(MediaState state) {
        const bool changed = state != state_;
        state_ = state;
        if (changed && listener_ != nullptr) listener_->mediaChanged();
    }
    void halt(const char* call) {
        record(call);
        if (state_ == MediaState::Playing) set(MediaState::Stopped);
    }
    MediaState state_ = MediaState::Closed;
    MediaListener* listener_ = nullptr;
};

struct World : SessionClock {
    double now = 1000.0;  // seconds
    FakeMedia media;
    double seconds() override { return now; }
    double nowMs() const { return now * 1000.0; }
    void advance(double ms) {
        now += ms / 1000.0;
        media.advance(ms);
    }
};

// What a control window would show of a session, recorded, and its timer on the
// simulated clock: run() wakes the session whenever it asked to be woken, the
// time jumping to that moment.
class FakeHost : public SessionHost {
  public:
    explicit FakeHost(World& world) : world_(world) {}

    std::vector<std::string> statuses, messages;
    std::vector<bool> displays;
    // Everything but the timer, in order: "Playing" (the transport), "status TEXT",
    // "display 1", "message TEXT", "ended by itself" / "stopped", "waited" /
    // "wait cancelled".
    std::vector<std::string> events;
    std::optional<double> dueMs;  // when the session wants its next wake-up, world ms

    void wakeIn(double ms) override {
        if (ms < 0.0) return dueMs.reset();
        dueMs = world_.nowMs() + ms;
    }
    void transportChanged(Transport transport) override {
        static const char* const names[] = {"Idle", "Playing", "Paused", "Waiting"};
        events.push_back(names[static_cast<int>(transport)]);
    }
    void showStatus(const std::string& text) override {
        statuses.push_back(text);
        events.push_back("status " + text);
    }
    void showDisplay(bool visible) override {
        displays.push_back(visible);
        events.push_back(visible ? "display 1" : "display 0");
    }
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        events.push_back("message " + text);
    }
    void songEnded(bool byItself) override {
        events.push_back(byItself ? "ended by itself" : "stopped");
    }
    void waitEnded(bool cancelled) override {
        events.push_back(cancelled ? "wait cancelled" : "waited");
    }
    bool heard(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    // Wakes `session` as its timer would, until it asks for nothing more or `limit`
    // wake-ups have run. `after(n)` runs after the n-th wake-up (from 1), while the
    // session waits for the next: where a user's commands come in.
    std::size_t run(PlaybackSession& session, const std::function<void(std::size_t)>& after = {},
                    std::size_t limit = 100000) {
        std::size_t woken = 0;
        while (dueMs && woken < limit) {
            world_.advance(std::max(0.0, *dueMs - world_.nowMs()));
            dueMs.reset();
            session.wake();
            if (after) after(++woken);
        }
        return woken;
    }

  private:
    World& world_;
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
