#pragma once
// MMControl1 on Qt Multimedia (QMediaPlayer + QAudioOutput, GStreamer on Linux).
// Both device names stand for the same player. Video media show in a window of
// their own when the program runs with widgets (QApplication).
//
// Position is smoothed: the backend's reading can stall for a second or more after
// a start and then jump, so between readings the position runs on a steady clock
// and is pulled to the backend's reading when the two differ by more than
// kResyncMs. While playing it never goes back; while halted and after the end it
// stands still.
#include <QObject>
#include <QString>
#include <chrono>

#include "playback/media_control.h"

class QMediaPlayer;
class QAudioOutput;
class QWidget;

namespace lyrvox {

class QtMediaControl : public QObject, public MediaControl {
    Q_OBJECT
  public:
    static constexpr double kResyncMs = 40.0;

    explicit QtMediaControl(QObject* parent = nullptr);
    ~QtMediaControl() override;

    void Command(const std::string& command) override;
    void DeviceType(const std::string& type) override;
    void TimeFormat(int format) override;
    void FileName(const std::string& path) override;
    void Wait(bool wait) override;
    int Mode() override;
    int32_t Position() override;
    bool Failed() override;

    // Makes sure Qt picks its GStreamer media backend (the FFmpeg one crashes
    // without an audio device). Call before the first QMediaPlayer exists; the
    // constructor calls it too.
    static void preferGStreamerBackend();

  private:
    using Clock = std::chrono::steady_clock;

    void open();
    void play();
    void halt();
    void close();
    void fail();
    void reachEnd();
    // The smoothed position in ms; while playing also moves the anchor.
    double smoothPosition();

    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QWidget* videoWindow_ = nullptr;  // only with QApplication; owned here
    QString fileName_;
    std::string deviceType_ = "MPEGVideo";
    int timeFormat_ = 0;
    bool wait_ = false;

    bool open_ = false;     // a medium has been handed to the player
    bool playing_ = false;  // "Play" given and not halted, ended or failed since
    bool ended_ = false;    // played to its end
    bool failed_ = false;   // could not be opened or played
    // Smoothed position: anchorMs_ at anchorTime_, running while playing_.
    double anchorMs_ = 0.0;
    Clock::time_point anchorTime_{};
    double lastReturnedMs_ = 0.0;  // what Position() gave last: it never goes back
};

}  // namespace lyrvox
