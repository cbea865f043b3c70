#include "playback/playback_session.h"

namespace lyrvox {
// Placeholder; the session is filled in by its own change.
PlaybackSession::PlaybackSession(PlayerState& state, MediaControl& media, SessionHost& host,
                                 SessionClock& clock, SessionFiles& files)
    : state_(state), media_(media), host_(host), clock_(clock), files_(files) {}
void PlaybackSession::setTraceFile(const std::string& path) { tracePath_ = path; }
void PlaybackSession::DoCDGFile(const std::string&) { host_.btnStop_Click(); }
}  // namespace lyrvox
