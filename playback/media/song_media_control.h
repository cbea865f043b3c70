#pragma once
// The program's media control: songs' audio plays on GStreamer's own pipeline
// (key and tempo, a precise position); other media, which may be video, play on
// Qt Multimedia with a window of their own. Each open() picks one by the file's
// extension; key, tempo and volume reach both, so they hold whichever plays. Qt's
// player is made only for the first such medium: songs never start it, nor the
// sound-server streams it opens.
#include <memory>

#include "playback/media/gst_media_control.h"
#include "playback/media/media_control.h"
#include "playback/media/qt_media_control.h"

namespace lyrvox {

class SongMediaControl : public MediaControl {
  public:
    void setListener(MediaListener* listener) override;
    void open(const std::string& path, bool alternativeDevice) override;
    void play() override { current_->play(); }
    void pause() override { current_->pause(); }
    void stop() override { current_->stop(); }
    void close() override { current_->close(); }
    int32_t positionMs() override { return current_->positionMs(); }
    MediaState state() override { return current_->state(); }
    MediaError error() override { return current_->error(); }
    // False while a medium that cannot change them is open.
    bool setKeyAndTempo(int semitones, int tempoPercent) override;
    // Songs' audio is where key and tempo change: what it lacks, the player lacks.
    std::string keyAndTempoMissing() override { return audio_.keyAndTempoMissing(); }
    std::string keyEngine() override { return audio_.keyEngine(); }
    void setVolume(int percent) override;
    void setLoudnessGain(double gainDb) override { current_->setLoudnessGain(gainDb); }

  private:
    GstMediaControl audio_;
    std::unique_ptr<QtMediaControl> video_;
    MediaListener* listener_ = nullptr;
    int volumePercent_ = 100;
    MediaControl* current_ = &audio_;
};

}  // namespace lyrvox
