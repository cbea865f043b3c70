#include "app/session_runner.h"

#include "playback/disk_files.h"
#include "playback/playback_session.h"

namespace lyrvox {
namespace {

class DiskSessionRunner : public SessionRunner {
  public:
    DiskSessionRunner(PlayerState& state, MediaControl& media, SessionHost& host,
                      const std::string& traceFile)
        : session_(state, media, host, clock_, files_) {
        session_.setTraceFile(traceFile);
    }
    void play(const std::string& chosenFile, bool alternativeDevice) override {
        session_.play(chosenFile, alternativeDevice);
    }

  private:
    DiskSessionFiles files_;
    SteadySessionClock clock_;
    PlaybackSession session_;
};

}  // namespace

SessionFactory diskSessionFactory(std::string traceFile) {
    return [trace = std::move(traceFile)](PlayerState& state, MediaControl& media,
                                          SessionHost& host) -> std::unique_ptr<SessionRunner> {
        return std::make_unique<DiskSessionRunner>(state, media, host, trace);
    };
}

}  // namespace lyrvox
