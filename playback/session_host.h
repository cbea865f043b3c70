#pragma once
// What the playback session needs from its surroundings: someone to show what
// happens and to wake it when it asks (the control window and its timer), a clock
// and the file system. The Qt layer implements SessionHost; tests use fakes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "playback/archive/song_zip.h"

namespace lyrvox {

// Where the transport stands. Waiting: between two songs of a queue, before the
// next one starts by itself.
enum class Transport { Idle, Playing, Paused, Waiting };

class SessionHost {
  public:
    virtual ~SessionHost() = default;
    // The one timer: call PlaybackSession::wake() once `ms` milliseconds have
    // passed (0: as soon as the events already queued have been served). Each
    // request replaces the one before; a negative `ms` cancels it.
    virtual void wakeIn(double ms) = 0;
    // Told before the media are commanded, so that the controls already show the
    // new state while the sound starts or stops.
    virtual void transportChanged(Transport transport) = 0;
    virtual void showStatus(const std::string& text) = 0;
    virtual void showDisplay(bool visible) = 0;  // the picture's window, for a song with graphics
    virtual void showMessage(const std::string& text) = 0;  // title "lyrvox", OK only
    // A song is over and the transport idle again: it played to its end or could
    // not play (byItself), or it was stopped or replaced.
    virtual void songEnded(bool byItself) = 0;
    // The wait before the next song is over: its time ran out, or the user ended
    // it (Stop, or a song of their own).
    virtual void waitEnded(bool cancelled) = 0;
};

class SessionClock {
  public:
    virtual ~SessionClock() = default;
    virtual double seconds() = 0;  // steady clock, seconds with a fraction
};

// A graphics file opened for sequential reading. Each song owns its own.
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
