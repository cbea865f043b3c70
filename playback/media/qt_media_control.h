#pragma once
// The media control on Qt Multimedia (QMediaPlayer + QAudioOutput, GStreamer on
// Linux). The alternative device plays through the same player. Video media show
// in a window of their own when the program runs with widgets (QApplication).
//
// Position is smoothed (PositionSmoother): the backend's reading can stall for a
// second or more after a start and then jump.
#include <QObject>
#include <QString>

#include "playback/media/media_control.h"
#include "playback/media/media_status.h"

class QMediaPlayer;
class QAudioOutput;
class QWidget;

namespace lyrvox {

class QtMediaControl : public QObject, public MediaControl {
    Q_OBJECT
  public:
    explicit QtMediaControl(QObject* parent = nullptr);
    ~QtMediaControl() override;

    void setListener(MediaListener* listener) override { status_.setListener(listener); }
    // Never blocks: the window thread must stay live.
    void open(const std::string& path, bool alternativeDevice) override;
    void play() override;
    void pause() override;
    void stop() override;
    void close() override;
    int32_t positionMs() override;
    MediaState state() override;
    MediaError error() override;
    void setVolume(int percent) override;

    // Makes sure Qt picks its GStreamer media backend (the FFmpeg one crashes
    // without an audio device). Call before the first QMediaPlayer exists; the
    // constructor calls it too.
    static void preferGStreamerBackend();

  private:
    void attachVideoWindow();
    double backendMs() const;
    bool showsVideo() const;

    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QWidget* videoWindow_ = nullptr;  // made on the first video, with QApplication; owned here
    QString fileName_;
    MediaStatus status_;
};

}  // namespace lyrvox
