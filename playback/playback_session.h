#pragma once
// The playback engine: plays one song at a time from its chosen file to its end
// (the song's files by base name, audio through the media control, packets at 300
// a second paced by the audio position or the clock) and holds the pause between
// two songs of a queue. It never waits: every command returns at once, and the
// work of a song runs in passes, each started by the host's timer (wake()) when
// the session asked for it, and each asking for the next: at once while the
// graphics are behind, or when the next packet is due. What happens goes to the
// host as events. Plain C++.
//
// A pass: at most one batch of four packets (one sector), the target updated from
// the audio position (or, without audio, after it ended or failed, the clock),
// one trace line. Reading runs at most one batch ahead of the target.
#include <cstdint>
#include <memory>
#include <string>

#include "playback/media/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"
#include "playback/song_files.h"

namespace lyrvox {

// Milliseconds of playback per packet: 1000 / 75 / 4 kept in single precision
// (exactly 3.3333332538604736), as the pacing has always used it.
inline constexpr float kMsPerPacket = static_cast<float>(1000.0 / 75.0 / 4.0);
inline constexpr int kPacketsPerBatch = 4;  // one CD sector

// Target packet number for a play time in milliseconds (nearest, halves to even).
int32_t packetTarget(double ms);

class PlaybackSession : private MediaListener {
  public:
    // Longest wait between two passes while nothing is due (pause, audio past its
    // end): the session looks again at least this often even without events.
    static constexpr double kMaxWaitMs = 50.0;
    // Passes of a song without graphics: the position for the time shown.
    static constexpr double kAudioOnlyPassMs = 25.0;

    // Becomes the media control's listener for its lifetime.
    PlaybackSession(MediaControl& media, SessionHost& host, SessionClock& clock,
                    SessionFiles& files);
    ~PlaybackSession() override;
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // Appends one line per pass (steady ms, position, targetPacket, PacketCount,
    // offset ms) to this file; empty: no trace.
    void setTraceFile(const std::string& path) { tracePath_ = path; }

    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }
    Transport transport() const { return transport_; }
    bool songRunning() const {
        return transport_ == Transport::Playing || transport_ == Transport::Paused;
    }

    // Starts the song of `chosenFile`; a song still running is stopped first, a
    // wait is ended (cancelled).
    void play(const std::string& chosenFile, bool alternativeDevice);
    // Halts the audio (and with it the graphics) and holds the clock; resume()
    // goes on from there.
    void pause();
    void resume();
    // Ends the running song or the wait; idle, halts and closes the media all the
    // same. The status then reads "Ready.".
    void stop();
    // Closing the program: the media halted and closed, the song abandoned
    // without its end steps (no event), its files released.
    void shutDown();
    // The pause between two songs: Waiting for `ms`, then waitEnded(false).
    void waitBeforeNext(double ms);
    // While Waiting: the pause now ends `ms` from now (the host held or resumed
    // its countdown); nothing otherwise.
    void moveWaitEnd(double ms);

    // Apply at once, also in the middle of a pass's wait.
    void setOffsetMs(int32_t offsetMs);
    // Key in semitones and tempo in percent of the song's own, for the audio and
    // for the clock that paces graphics without audio. False where the media
    // control cannot change them for the medium open now.
    bool setKeyAndTempo(int semitones, int tempoPercent);
    // Loudness 0..100%, for this song and the next ones.
    void setVolume(int percent) { media_.setVolume(percent); }

    // The host's timer: runs the pass (or ends the wait) that is due.
    void wake();

  private:
    struct Song;
    // How the audio of a song ended: as it should, unplayable from the start, or
    // lost after it had played (the sound output went away; the file is not to blame).
    enum class AudioEnd { Fine, Unplayable, Lost };

    void mediaChanged() override;
    void setTransport(Transport transport);
    void openSong(const std::string& chosenFile, bool alternativeDevice);
    void graphicsPass();
    void audioOnlyPass();
    double updateTarget();
    // Play time of a clock-paced song, up to now (held while paused).
    void updateClock();
    // The media's news since the last look: the audio failed or played out.
    void takeMediaNews();
    AudioEnd endOfFailedAudio();
    // Every end of a song: its files released, the media halted and closed, the
    // transport idle, then the status and songEnded.
    void endSong(bool byItself, const std::string& status, const std::string& message = {});
    void endWait(bool cancelled);

    MediaControl& media_;
    SessionHost& host_;
    SessionClock& clock_;
    SessionFiles& files_;
    std::string tracePath_;
    PlayerState state_;
    Transport transport_ = Transport::Idle;
    std::unique_ptr<Song> song_;  // while a song runs
    bool mediaNews_ = false;      // the media changed since the last look
};

}  // namespace lyrvox
