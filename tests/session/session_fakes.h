#pragma once
// A simulated world for PlaybackSession: a clock that moves only when the host
// waits, media whose position follows it, a recording host and an in-memory disk.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

namespace lyrvox::testing {

inline std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

class FakeMedia : public MediaControl {
  public:
    std::vector<std::string> log;         // every call, as "Command Open", "FileName x", ...
    std::vector<std::string> unplayable;  // names that fail at "Open"
    double durationMs = 1e12;
    std::optional<double> failAtMs;  // the backend gives up while playing
    double positionMs = 0.0;

    void Command(const std::string& command) override {
        log.push_back("Command " + command);
        const std::string c = lower(command);
        if (c == "open" || c == "close") {
            open_ = playing_ = ended_ = failed_ = false;
            positionMs = 0.0;
        }
        if (c == "open") {
            open_ = true;
            failed_ = std::find(unplayable.begin(), unplayable.end(), file_) != unplayable.end();
        } else if (c == "play") {
            playing_ = open_ && !failed_ && !ended_;
        } else if (c == "stop") {
            playing_ = false;
        }
    }
    void DeviceType(const std::string& type) override { log.push_back("DeviceType " + type); }
    void TimeFormat(int format) override { log.push_back("TimeFormat " + std::to_string(format)); }
    void FileName(const std::string& path) override {
        file_ = path;
        log.push_back("FileName " + path);
    }
    void Wait(bool wait) override { log.push_back(wait ? "Wait true" : "Wait false"); }
    int Mode() override { return playing_ ? kModePlaying : kModeStopped; }
    int32_t Position() override { return static_cast<int32_t>(positionMs); }
    bool Failed() override { return failed_; }

    bool playing() const { return playing_; }
    void advance(double ms) {
        if (!playing_) return;
        positionMs += ms;
        if (failAtMs && positionMs >= *failAtMs) {
            failed_ = true;
            playing_ = false;
        }
        if (positionMs >= durationMs) {
            positionMs = durationMs;
            playing_ = false;
            ended_ = true;
        }
    }
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& l : log)
            if (l.rfind("Command ", 0) == 0) out.push_back(l.substr(8));
        return out;
    }

  private:
    std::string file_;
    bool open_ = false, playing_ = false, ended_ = false, failed_ = false;
};

// The world is also the session's clock.
struct World : SessionClock {
    double nowSeconds = 1000.0;
    FakeMedia media;
    double Seconds() override { return nowSeconds; }
    void advance(double ms) {
        nowSeconds += ms / 1000.0;
        media.advance(ms);
    }
};

// Every pass of a session ends in exactly one Yield with a wait; the hook sees it.
class FakeHost : public SessionHost {
  public:
    FakeHost(World& world, PlayerState& state) : world_(world), state_(state) {}

    bool alt = false;
    std::vector<std::string> statuses, messages;
    std::vector<bool> displays;
    int stopClicks = 0;
    std::vector<double> waits;  // one per Yield
    std::function<void(std::size_t yieldNumber)> onYield;

    bool AltChecked() override { return alt; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetOpenEnabled(bool) override {}
    void EnableStopNow() override {}
    void ShowDisplay(bool visible) override { displays.push_back(visible); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void Yield(double maxWaitMs) override {
        waits.push_back(maxWaitMs);
        if (onYield) onYield(waits.size());
        world_.advance(std::max(maxWaitMs, 0.0));
    }
    // As the control window's handlers do.
    void btnStop_Click() override {
        ++stopClicks;
        world_.media.Command("Stop");
        world_.media.Command("Close");
        state_.ProFlag = state_.Paused = false;
        SetStatus("Ready.");
    }
    void pause() {
        state_.Paused = true;
        world_.media.Command("stop");
    }
    void resume() {
        state_.Paused = false;
        world_.media.Command("Play");
    }

  private:
    World& world_;
    PlayerState& state_;
};

// In-memory files, found without regard to case, with a log of opens and closes.
class FakeFiles : public SessionFiles {
  public:
    struct File {
        std::vector<uint8_t> bytes;
        bool openable = true;
        std::size_t chunk = 0;  // most bytes one read gives (0: all asked for)
        bool lateEnd = false;   // the end shows only after a read came back empty
    };
    std::map<std::string, File> files;  // by real name
    std::vector<std::string> log;       // "open NAME", "close NAME"
    int openNow = 0;

    std::optional<std::string> find(const std::string& path) override {
        for (const auto& [name, file] : files)
            if (lower(name) == lower(path)) return name;
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
            std::copy_n(file_.bytes.begin() + static_cast<std::ptrdiff_t>(offset_), n, buffer);
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

// `packets` packets that draw nothing.
inline std::vector<uint8_t> graphicsBytes(std::size_t packets) {
    return std::vector<uint8_t>(packets * 24, 0);
}

// Adds `base` with each suffix: graphics (.cdg in any case, .rw) of `packets`
// packets, anything else as empty audio.
inline void addSong(FakeFiles& files, const std::string& base,
                    const std::vector<std::string>& suffixes, std::size_t packets) {
    for (const auto& suffix : suffixes) {
        const bool graphics = lower(suffix) == ".cdg" || suffix == ".rw";
        files.files[base + suffix].bytes = graphicsBytes(graphics ? packets : 0);
    }
}

}  // namespace lyrvox::testing
