#pragma once
// How the control window starts a playback session. The real runner plays from
// disk on the steady clock; tests put in a scripted session.
#include <functional>
#include <memory>
#include <string>

#include "playback/media/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

namespace lyrvox {

class SessionRunner {
  public:
    virtual ~SessionRunner() = default;
    // Returns when the session has ended (see PlaybackSession::play). May be
    // entered again from inside its own serving of events.
    virtual void play(const std::string& chosenFile, bool alternativeDevice) = 0;
};

using SessionFactory = std::function<std::unique_ptr<SessionRunner>(
    PlayerState& state, MediaControl& media, SessionHost& host)>;

// Sessions on the real file system and steady clock; `traceFile` empty: no trace.
SessionFactory diskSessionFactory(std::string traceFile);

}  // namespace lyrvox
