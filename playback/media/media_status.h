#pragma once
// What a media control knows of its medium, kept the same way by every backend:
// open or not, playing, played to its end, failed and why, and the smoothed play
// position. The backends tell it what happened (opened, started, halted, ended,
// failed, closed) and it tells the listener whenever state() or error() changes,
// so that nobody has to poll for an end or a failure. Plain C++; all times are
// milliseconds.
#include <cstdint>

#include "playback/media/media_control.h"
#include "playback/media/position_smoother.h"

namespace lyrvox {

class MediaStatus {
  public:
    void setListener(MediaListener* listener) { listener_ = listener; }

    MediaState state() const;
    MediaError error() const { return error_; }
    bool isOpen() const { return open_; }
    bool isPlaying() const { return playing_; }
    // A medium is open, has neither ended nor failed, and is not playing yet.
    bool canStart() const { return open_ && error_ == MediaError::None && !ended_ && !playing_; }

    // A medium was asked for: open and stopped at its start.
    void opened();
    // It cannot be played at all (known at once or reported by the backend).
    void refused(MediaError why);
    // play(): running from steady time `nowMs`.
    void started(double nowMs);
    // pause() or stop(): held where the backend says the sound stopped.
    void halted(double nowMs, double backendMs);
    // Played to its end; `backendMs` is where (negative: unknown, keep the estimate).
    void ended(double backendMs);
    // Failed while open. Once play time has been heard the file has played: what
    // failed is the way to the listener (the sound output), not the file.
    void failed(double backendMs);
    void closed();

    // The backend's reading has moved since play started: sound has been heard.
    bool heard() const { return position_.moved(); }
    // Tempo of the position against the steady clock (1.0 as recorded).
    void setPace(double pace) { position_.setPace(pace); }
    // Whole milliseconds, never negative: steered toward `backendMs` while
    // playing (negative: the backend cannot tell), held otherwise.
    int32_t positionMs(double nowMs, double backendMs);

  private:
    void changed(MediaState before, MediaError errorBefore);

    MediaListener* listener_ = nullptr;
    bool open_ = false;
    bool playing_ = false;  // started and not halted, ended or failed since
    bool ended_ = false;
    MediaError error_ = MediaError::None;
    PositionSmoother position_;
};

}  // namespace lyrvox
