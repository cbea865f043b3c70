#pragma once
// What a playback session needs from its surroundings: the control window, a
// clock and the file system. The Qt control window implements SessionHost; tests
// use fakes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "playback/archive/song_zip.h"

namespace lyrvox {

class SessionHost {
  public:
    virtual ~SessionHost() = default;
    virtual void showStatus(const std::string& text) = 0;
    virtual void setOpenEnabled(bool enabled) = 0;
    virtual void enableStopNow() = 0;            // enables Stop and repaints it at once
    virtual void showDisplay(bool visible) = 0;  // creates the display window when needed
    // Serve the event queue. With maxWaitMs > 0 the host may block until an event
    // arrives or maxWaitMs have passed (a precise timer), instead of returning at
    // once: this is how a session waits for its next packet without spinning.
    virtual void serveEvents(double maxWaitMs) = 0;
    // Every session ends here, whatever ended it: the host does what Stop does
    // (media halted and closed, controls back to idle, "Ready.").
    virtual void sessionEnded() = 0;
    virtual void showMessage(const std::string& text) = 0;  // title "lyrvox", OK only
};

class SessionClock {
  public:
    virtual ~SessionClock() = default;
    virtual double seconds() = 0;  // steady clock, seconds with a fraction
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
    // The song inside a zip, unpacked for as long as the result is kept.
    virtual UnpackedSong unpackZip(const std::string& path) = 0;
};

}  // namespace lyrvox
