#pragma once
// MMControl1 on Qt Multimedia (QMediaPlayer + QAudioOutput, GStreamer on Linux).
#include <QObject>

#include "playback/media_control.h"

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
};

}  // namespace lyrvox
