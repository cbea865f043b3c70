#include "playback/media/song_media_control.h"

#include "playback/media/audio_names.h"

namespace lyrvox {

void SongMediaControl::setListener(MediaListener* listener) {
    listener_ = listener;
    audio_.setListener(listener);
    if (video_) video_->setListener(listener);
}

void SongMediaControl::open(const std::string& path, bool alternativeDevice) {
    current_->close();
    if (isAudioName(path)) {
        current_ = &audio_;
    } else {
        if (!video_) {
            video_ = std::make_unique<QtMediaControl>();
            video_->setVolume(volumePercent_);
            video_->setListener(listener_);
        }
        current_ = video_.get();
    }
    current_->open(path, alternativeDevice);
}

bool SongMediaControl::setKeyAndTempo(int semitones, int tempoPercent) {
    const bool changed = audio_.setKeyAndTempo(semitones, tempoPercent);
    return current_ == &audio_ && changed;
}

void SongMediaControl::setVolume(int percent) {
    volumePercent_ = percent;
    audio_.setVolume(percent);
    if (video_) video_->setVolume(percent);
}

}  // namespace lyrvox
