#pragma once
// Plays one song from its chosen file to its end: the song's files by base name,
// audio through the media control, packets at 300 a second paced by the audio
// position (or the clock), every end through SessionHost::sessionEnded.
//
// The loop runs in passes (one batch of four packets at most, one target update,
// one serving of the event queue) but never spins: when the next packet is not
// yet due, the pass hands the time until it is due to SessionHost::serveEvents,
// which may block in the event loop until then or until an event arrives.
#include <cstdint>
#include <string>

#include "playback/media/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

namespace lyrvox {

// Milliseconds of playback per packet: 1000 / 75 / 4 kept in single precision
// (exactly 3.3333332538604736), as the pacing has always used it.
inline constexpr float kMsPerPacket = static_cast<float>(1000.0 / 75.0 / 4.0);
inline constexpr int kPacketsPerBatch = 4;  // one CD sector

// Target packet number for a play time in milliseconds (nearest, halves to even).
int32_t packetTarget(double ms);

class PlaybackSession {
  public:
    // Longest single wait while nothing is due (pause, audio past its end): the
    // loop still looks at sessionRunning at least this often even without events.
    static constexpr double kMaxWaitMs = 50.0;
    // How often an audio-only session polls the media's state.
    static constexpr double kStatePollMs = 25.0;

    PlaybackSession(PlayerState& state, MediaControl& media, SessionHost& host, SessionClock& clock,
                    SessionFiles& files);

    // Appends one line per pass (steady ms, position, targetPacket, PacketCount) to
    // this file; empty: no trace.
    void setTraceFile(const std::string& path);

    // Does not return until the session has ended and sessionEnded has run. May be
    // entered again from inside its own serving of events (a Play right after a
    // Stop); each call owns its own graphics file.
    void play(const std::string& chosenFile, bool alternativeDevice);

  private:
    class Trace;

    void runGraphicsSession(const std::string& graphicsFile, const std::string& audioFile,
                            bool audioPaces, uint64_t session, Trace& trace);
    void runAudioOnlySession(const std::string& audioFile, uint64_t session, Trace& trace);
    // How the audio of a session ended: as it should, unplayable from the start, or
    // lost after it had played (the sound output went away; the file is not to blame).
    enum class AudioEnd { Fine, Unplayable, Lost };
    AudioEnd endOfFailedAudio();
    // The common end: sessionRunning clear, sessionEnded, and when the audio failed
    // (and no later session has taken over) the status says how.
    void finishSession(const std::string& audioFile, AudioEnd audioEnd, uint64_t session);
    bool sessionIsLatest(uint64_t session) const { return session == sessionsStarted_; }

    PlayerState& state_;
    MediaControl& media_;
    SessionHost& host_;
    SessionClock& clock_;
    SessionFiles& files_;
    std::string tracePath_;
    uint64_t sessionsStarted_ = 0;  // lets an ending session see that a newer one ran
};

}  // namespace lyrvox
