#pragma once
// MMControl1 on Qt Multimedia (QMediaPlayer + QAudioOutput, GStreamer on Linux).
// Both device names stand for the same player. Video media show in a window of
// their own when the program runs with widgets (QApplication).
//
// Position is smoothed (PositionSmoother): the backend's reading can stall for a
// second or more after a start and then jump.
#include <QObject>
#include <QString>

#include "playback/media_control.h"
#include "playback/position_smoother.h"

class QMediaPlayer;
class QAudioOutput;
class QWidget;

namespace lyrvox {

class QtMediaControl : public QObject, public MediaControl {
    Q_OBJECT
  public:
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
    void open();
    void play();
    void halt();
    void close();
    void fail();
    void reachEnd();
    void attachVideoWindow();
    double backendMs() const;
    bool showsVideo() const;

    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QWidget* videoWindow_ = nullptr;  // made on the first video, with QApplication; owned here
    QString fileName_;
    std::string deviceType_ = "MPEGVideo";
    int timeFormat_ = 0;
    bool wait_ = false;

    bool open_ = false;     // a medium has been handed to the player
    bool playing_ = false;  // "Play" given and not halted, ended or failed since
    bool ended_ = false;    // played to its end
    bool failed_ = false;   // could not be opened or played
    PositionSmoother position_;
};

}  // namespace lyrvox
