// A headless stand-in for the player, for measuring the playback loop: the real
// media control and session on an offscreen QGuiApplication, with a display timer
// that renders the picture at the chosen frame rate as the display window would.
//
//   headless_player SONG [--seconds N] [--fps F] [--trace FILE]
//
// Plays SONG (its companions are found as the player finds them) until its end, or
// for N seconds, then quits. Status texts go to standard output.
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "playback/player_state.h"
#include "playback/qt_event_pump.h"
#include "playback/qt_media_control.h"

namespace {

class HeadlessHost : public lyrvox::SessionHost {
  public:
    HeadlessHost(lyrvox::PlayerState& state, lyrvox::MediaControl& media)
        : state_(state), media_(media) {}

    bool AltChecked() override { return false; }
    void SetStatus(const std::string& text) override {
        std::printf("status: %s\n", text.c_str());
        std::fflush(stdout);
    }
    void SetOpenEnabled(bool) override {}
    void EnableStopNow() override {}
    void ShowDisplay(bool) override {}
    void Yield(double maxWaitMs) override { lyrvox::serveEvents(maxWaitMs); }
    void btnStop_Click() override {
        media_.Command("Stop");
        media_.Command("Close");
        state_.ProFlag = false;
        state_.Paused = false;
        SetStatus("Ready.");
        lyrvox::serveEvents(0.0);
    }
    void ShowMessage(const std::string& text) override {
        std::printf("message: %s\n", text.c_str());
    }

  private:
    lyrvox::PlayerState& state_;
    lyrvox::MediaControl& media_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    lyrvox::QtMediaControl::preferGStreamerBackend();
    QGuiApplication app(argc, argv);

    std::string song, tracePath;
    double seconds = 0.0;
    int fps = 15;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--fps" && i + 1 < argc) {
            fps = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--trace" && i + 1 < argc) {
            tracePath = argv[++i];
        } else {
            song = arg;
        }
    }
    if (song.empty()) {
        std::fprintf(stderr,
                     "usage: headless_player SONG [--seconds N] [--fps F] [--trace FILE]\n");
        return 2;
    }
    if (tracePath.empty()) {
        if (const char* env = std::getenv("LYRVOX_TRACE")) tracePath = env;
    }

    lyrvox::PlayerState state;
    lyrvox::QtMediaControl media;
    HeadlessHost host(state, media);
    lyrvox::SteadySessionClock clock;
    lyrvox::DiskSessionFiles files;
    lyrvox::PlaybackSession session(state, media, host, clock, files);
    session.setTraceFile(tracePath);

    // The display timer: copy the picture when something was drawn.
    QImage picture(lyrvox::kScreenWidth, lyrvox::kScreenHeight, QImage::Format_ARGB32);
    long frames = 0;
    QTimer display;
    display.setInterval(static_cast<int>(1000.0 / fps + 0.5));
    QObject::connect(&display, &QTimer::timeout, [&] {
        if (!state.machine.UFlag) return;
        state.machine.UFlag = false;
        state.machine.renderArgb32(reinterpret_cast<uint32_t*>(picture.bits()),
                                   static_cast<int>(picture.bytesPerLine() / 4));
        ++frames;
    });
    display.start();

    if (seconds > 0.0) {
        QTimer::singleShot(static_cast<int>(seconds * 1000.0), [&] { host.btnStop_Click(); });
    }
    QTimer::singleShot(0, [&] {
        session.DoCDGFile(song);
        std::printf("frames rendered: %ld, packets: %d\n", frames, state.machine.PacketCount);
        QCoreApplication::quit();
    });
    return app.exec();
}
