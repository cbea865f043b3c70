#pragma once
// The song media with even loudness: each song's audio plays with the gain that
// brings its measured loudness to the target (settings kEvenLoudness and
// kLoudnessTargetLufs), read from the library at each open; a song not yet
// measured plays at unity. Everything else passes through to the media inside.
#include <functional>
#include <string>

#include "playback/media/media_control.h"

namespace lyrvox {

class LibraryIndex;
class SettingsStore;

class EvenLoudnessMedia : public MediaControl {
  public:
    // `index`: the library to read the loudness from; null or closed: unity.
    EvenLoudnessMedia(MediaControl& inner, SettingsStore& settings,
                      std::function<LibraryIndex*()> index = {})
        : inner_(inner), settings_(settings), index_(std::move(index)) {}
    void setIndex(std::function<LibraryIndex*()> index) { index_ = std::move(index); }

    void setListener(MediaListener* listener) override { inner_.setListener(listener); }
    void setSongFile(const std::string& songFile) override { songFile_ = songFile; }
    void open(const std::string& path, bool alternativeDevice) override;
    void play() override { inner_.play(); }
    void pause() override { inner_.pause(); }
    void stop() override { inner_.stop(); }
    void close() override { inner_.close(); }
    int32_t positionMs() override { return inner_.positionMs(); }
    MediaState state() override { return inner_.state(); }
    MediaError error() override { return inner_.error(); }
    bool setKeyAndTempo(int semitones, int tempoPercent) override {
        return inner_.setKeyAndTempo(semitones, tempoPercent);
    }
    std::string keyAndTempoMissing() override { return inner_.keyAndTempoMissing(); }
    void setVolume(int percent) override { inner_.setVolume(percent); }
    void setLoudnessGain(double gainDb) override { inner_.setLoudnessGain(gainDb); }

    // The gain the last open() gave its medium, in dB.
    double gainDb() const { return gainDb_; }

  private:
    double gainFor(const std::string& audioPath);

    MediaControl& inner_;
    SettingsStore& settings_;
    std::function<LibraryIndex*()> index_;
    std::string songFile_;  // the song the next open() plays the audio of
    double gainDb_ = 0.0;
};

}  // namespace lyrvox
