#pragma once
// DoCDGFile: plays one song from its chosen file to its end. Companion files by
// base name, audio through the media control, packets at 300 a second paced by
// the audio position (or the clock), every end through btnStop_Click.
#include <string>

#include "playback/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

namespace lyrvox {

class PlaybackSession {
public:
    PlaybackSession(PlayerState& state, MediaControl& media, SessionHost& host,
                    SessionClock& clock, SessionFiles& files);

    // Appends one line per pass (steady ms, Position, FrameMP3, PacketCount) to
    // this file; empty: no trace.
    void setTraceFile(const std::string& path);

    // Does not return until the session has ended and btnStop_Click has run.
    void DoCDGFile(const std::string& fileSpec);

private:
    PlayerState& state_;
    MediaControl& media_;
    SessionHost& host_;
    SessionClock& clock_;
    SessionFiles& files_;
    std::string tracePath_;
};

}  // namespace lyrvox
