#pragma once
// What a playback session needs from its surroundings: the control window, a
// clock and the file system. The Qt control window implements SessionHost; tests
// use fakes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lyrvox {

class SessionHost {
  public:
    virtual ~SessionHost() = default;
    virtual bool AltChecked() = 0;                        // cbAlt
    virtual void SetStatus(const std::string& text) = 0;  // lblStat caption
    virtual void SetOpenEnabled(bool enabled) = 0;        // btnOpen
    virtual void EnableStopNow() = 0;                     // enable btnStop, repaint at once
    virtual void ShowDisplay(bool visible) = 0;           // frmDisplay (created if needed)
    // Serve the event queue. With maxWaitMs > 0 the host may block until an event
    // arrives or maxWaitMs have passed (a precise timer), instead of returning at
    // once: this is how a session waits for its next packet without spinning.
    virtual void Yield(double maxWaitMs) = 0;
    virtual void btnStop_Click() = 0;
    virtual void ShowMessage(const std::string& text) = 0;  // title "lyrvox", OK only
};

class SessionClock {
  public:
    virtual ~SessionClock() = default;
    virtual double Seconds() = 0;  // steady clock, seconds with a fraction
};

// A graphics file opened for sequential reading. Each session owns its own.
class PacketSource {
  public:
    virtual ~PacketSource() = default;
    // Reads up to `size` bytes; returns how many were read (0 at the end or on error).
    virtual std::size_t read(uint8_t* buffer, std::size_t size) = 0;
    virtual bool atEnd() = 0;
};

class SessionFiles {
  public:
    virtual ~SessionFiles() = default;
    // Real name on disk of an existing ordinary file, found without regard to case.
    virtual std::optional<std::string> find(const std::string& path) = 0;
    // nullptr when the file cannot be opened for reading.
    virtual std::unique_ptr<PacketSource> open(const std::string& path) = 0;
};

}  // namespace lyrvox
