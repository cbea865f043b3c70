#pragma once
// A session host for tests on the real media control: it serves the real event
// queue (with the precise wait) and does what the Stop button does, recording
// the status lines and messages a window would show.
#include <string>
#include <vector>

#include "playback/media_control.h"
#include "playback/player_state.h"
#include "playback/qt_event_pump.h"
#include "playback/session_host.h"

namespace lyrvox::testing {

class PumpHost : public SessionHost {
  public:
    PumpHost(PlayerState& state, MediaControl& media) : state_(state), media_(media) {}
    std::vector<std::string> statuses, messages;
    int passes = 0;  // yields: about one per pass of a session

    bool AltChecked() override { return false; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetOpenEnabled(bool) override {}
    void EnableStopNow() override {}
    void ShowDisplay(bool) override {}
    void Yield(double maxWaitMs) override {
        ++passes;
        serveEvents(maxWaitMs);
    }
    void btnStop_Click() override {
        media_.Command("Stop");
        media_.Command("Close");
        state_.ProFlag = false;
        state_.Paused = false;
        SetStatus("Ready.");
        serveEvents(0.0);
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

  private:
    PlayerState& state_;
    MediaControl& media_;
};

}  // namespace lyrvox::testing
