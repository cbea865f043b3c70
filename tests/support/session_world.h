#pragma once
// A simulated world for PlaybackSession: a clock that moves only while the host
// serves events, media whose position follows it, a recording host and an
// in-memory disk.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/player_state.h"
#include "playback/session_host.h"
#include "support/fake_media.h"
#include "util/text_helpers.h"

namespace lyrvox::testing {

struct World : SessionClock {
    double now = 1000.0;  // seconds
    FakeMedia media;
    double seconds() override { return now; }
    void advance(double ms) {
        now += ms / 1000.0;
        media.advance(ms);
    }
};

// Every pass of a session ends in exactly one serveEvents with a wait; onServe
// runs inside it, as the events served there would.
class FakeHost : public SessionHost {
  public:
    FakeHost(World& world, PlayerState& state) : world_(world), state_(state) {}

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
        world_.advance(maxWaitMs > 0.0 ? maxWaitMs : 0.0);
    }
    // What the Stop button does.
    void sessionEnded() override {
        ++ends;
        world_.media.stop();
        world_.media.close();
        state_.sessionRunning = state_.paused = false;
        showStatus("Ready.");
    }
    void pause() {
        state_.paused = true;
        world_.media.pause();
    }
    void resume() {
        state_.paused = false;
        world_.media.play();
    }

  private:
    World& world_;
    PlayerState& state_;
};

// In-memory files, found without regard to case, with a log of opens and closes.
class FakeFiles : public SessionFiles {
  public:
    struct File {
        std::string bytes;
        bool openable = true;
        std::size_t chunk = 0;  // most bytes one read gives (0: all asked for)
        bool lateEnd = false;   // the end shows only after a read came back empty
    };
    std::map<std::string, File> files;  // by real name
    std::vector<std::string> log;       // "open NAME", "close NAME"
    int openNow = 0;

    // `base` with each suffix: graphics (.cdg in any case, .rw) of `packets`
    // empty packets, anything else as empty audio.
    void addSong(const std::string& base, const std::vector<std::string>& suffixes,
                 std::size_t packets) {
        for (const std::string& suffix : suffixes) {
            const std::string s = toLowerAscii(suffix);
            files[base + suffix].bytes.assign(s == ".cdg" || s == ".rw" ? packets * 24 : 0, '\0');
        }
    }

    std::optional<std::string> find(const std::string& path) override {
        for (const auto& [name, file] : files)
            if (equalsIgnoreAsciiCase(name, path)) return name;
        return std::nullopt;
    }
    std::unique_ptr<PacketSource> open(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end() || !it->second.openable) return nullptr;
        log.push_back("open " + path);
        ++openNow;
        return std::make_unique<Source>(*this, path, it->second);
    }

  private:
    class Source : public PacketSource {
      public:
        Source(FakeFiles& owner, std::string name, const File& file)
            : owner_(owner), name_(std::move(name)), file_(file) {}
        ~Source() override {
            owner_.log.push_back("close " + name_);
            --owner_.openNow;
        }
        std::size_t read(uint8_t* buffer, std::size_t size) override {
            std::size_t n = std::min(size, file_.bytes.size() - offset_);
            if (file_.chunk) n = std::min(n, file_.chunk);
            file_.bytes.copy(reinterpret_cast<char*>(buffer), n, offset_);
            offset_ += n;
            sawEnd_ = sawEnd_ || n == 0;
            return n;
        }
        bool atEnd() override { return file_.lateEnd ? sawEnd_ : offset_ >= file_.bytes.size(); }

      private:
        FakeFiles& owner_;
        std::string name_;
        File file_;
        std::size_t offset_ = 0;
        bool sawEnd_ = false;
    };
};

}  // namespace lyrvox::testing
