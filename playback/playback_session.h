#pragma once
// DoCDGFile: plays one song from its chosen file to its end. Companion files by
// base name, audio through the media control, packets at 300 a second paced by
// the audio position (or the clock), every end through btnStop_Click.
//
// The loop keeps the classic pass structure (one batch of four packets at most,
// one target update, one yield per pass) but never spins: when the next packet is
// not yet due, the pass hands the time until it is due to SessionHost::Yield, which
// may block in the event loop until then or until an event arrives.
#include <cstdint>
#include <string>

#include "playback/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

namespace lyrvox {

// Milliseconds of playback per packet: 1000 / 75 / 4 kept in single precision
// (exactly 3.3333332538604736), as the pacing has always used it.
inline constexpr float MsPerPacket = static_cast<float>(1000.0 / 75.0 / 4.0);
inline constexpr int kPacketsPerBatch = 4;  // one CD sector

// Nearest integer, an exact half to the even neighbour; clamped to the 32-bit range.
int32_t roundHalfEven(double value);
// Target packet number for a play time in milliseconds.
int32_t packetTarget(double ms);

class PlaybackSession {
  public:
    // Longest single wait while nothing is due (pause, audio past its end): the
    // loop still looks at ProFlag at least this often even without events.
    static constexpr double kMaxWaitMs = 50.0;
    // How often an audio-only session polls the media's mode.
    static constexpr double kModePollMs = 25.0;

    PlaybackSession(PlayerState& state, MediaControl& media, SessionHost& host, SessionClock& clock,
                    SessionFiles& files);

    // Appends one line per pass (steady ms, Position, FrameMP3, PacketCount) to
    // this file; empty or null: no trace.
    void setTraceFile(const std::string& path);
    void setTraceFile(const char* path) { setTraceFile(std::string(path ? path : "")); }

    // Does not return until the session has ended and btnStop_Click has run.
    // May be entered again from inside its own yield (a Play right after a Stop);
    // each call owns its own graphics file.
    void DoCDGFile(const std::string& fileSpec);

  private:
    class Trace;

    void runGraphicsSession(const std::string& cdgFile, const std::string& audioFile, bool mp3Flag,
                            uint64_t session, Trace& trace);
    void runAudioOnlySession(const std::string& audioFile, uint64_t session, Trace& trace);
    // The common end: ProFlag clear, btnStop_Click, and when the audio could not be
    // played (and no later session has taken over) the status says so.
    void finishSession(const std::string& audioFile, bool audioFailed, uint64_t session);
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
