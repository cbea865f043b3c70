#pragma once
// The media control: plays one audio (or other media) file at a time for the
// playback session and the transport commands. Commands return at once, never
// throw and never report failure to the caller; a file that cannot be opened or
// played leaves nothing playing and reads state() == Failed with the reason in
// error() until the next open() or close(). Whenever state() or error() changes,
// also by itself (loaded, played to its end, failed), the listener hears of it:
// nobody polls a media control for its end.
#include <cstdint>
#include <string>

namespace lyrvox {

enum class MediaState {
    Closed,   // nothing open
    Stopped,  // open and not playing: before play(), after pause() or stop()
    Playing,
    Ended,  // played to its end
    Failed,
};

enum class MediaError {
    None,
    Unreadable,  // missing, a folder, or not readable
    Unplayable,  // the backend could not decode or play it
    OutputLost,  // it had played, then the sound output failed: the file is not to blame
};

// Told on the control's own thread whenever its state() or error() has changed,
// possibly from inside one of its commands: a listener takes note and acts later,
// it does not command the control from inside the call.
class MediaListener {
  public:
    virtual ~MediaListener() = default;
    virtual void mediaChanged() = 0;
};

class MediaControl {
  public:
    virtual ~MediaControl() = default;

    // One listener at a time; nullptr: none.
    virtual void setListener(MediaListener* listener) = 0;

    // Closes whatever was open, then opens `path` (stopped at its start). The
    // alternative device is the user's choice of a second playback device; where
    // the platform has only one, both play the same way.
    virtual void open(const std::string& path, bool alternativeDevice) = 0;
    // Starts, or continues from where it was halted.
    virtual void play() = 0;
    // Halts and holds the position.
    virtual void pause() = 0;
    // Halts; the medium stays open until close().
    virtual void stop() = 0;
    virtual void close() = 0;
    // Play position in milliseconds: monotonic while playing, still while halted
    // and after the end, 0 when nothing is open.
    virtual int32_t positionMs() = 0;
    virtual MediaState state() = 0;
    virtual MediaError error() = 0;

    // Key in semitones (+ up, - down) and tempo in percent of the original speed,
    // each without changing the other. They apply at once, also while playing, and
    // stay for the next open(); the position then runs in song time (at 80% it
    // advances 0.8 s a second). False where this control cannot change them: the
    // medium plays at its own key and speed.
    virtual bool setKeyAndTempo(int /*semitones*/, int /*tempoPercent*/) { return false; }
    // Why key and tempo cannot change for any medium, whatever its file (a part of
    // the system that is missing), in words for the user; empty while they can
    // change for some media.
    virtual std::string keyAndTempoMissing() { return {}; }
    // What changes the key, in a few words for the user ("Rubber Band, formants
    // kept"); empty where the key cannot change.
    virtual std::string keyEngine() { return {}; }
    // Loudness in percent of full, 0..100 on a scale that sounds even; kept for the
    // next open().
    virtual void setVolume(int /*percent*/) {}
    // The song's own gain toward even loudness, in dB (loudness_gain.h), multiplied
    // with the volume; 0 is unity. Set after open(), for that medium only.
    virtual void setLoudnessGain(double /*gainDb*/) {}
    // The song file (as chosen: graphics, zip or audio) whose audio the next open()
    // plays, for what is kept about the song rather than the file played.
    virtual void setSongFile(const std::string& /*songFile*/) {}
};

}  // namespace lyrvox
