#pragma once
// Key, tempo, volume and the audio/video offset: changed by the keys and the
// display's menu, applied at once through the playback session (also in the
// middle of a song), shown briefly over the picture, and, but for key and tempo,
// kept between runs. Each new song starts in its own key and tempo unless the
// user keeps them.
#include <QObject>
#include <QString>
#include <functional>

#include "app/keyboard_control.h"
#include "app/settings_store.h"
#include "playback/playback_session.h"

class QMenu;

namespace lyrvox {

class PlaybackTuning : public QObject {
    Q_OBJECT
  public:
    static constexpr int kOffsetStepMs = 10;
    static constexpr int kMaxKeyShift = 6;  // semitones either way
    static constexpr int kMinTempo = 50;    // percent of the song's own
    static constexpr int kMaxTempo = 150;
    static constexpr int kTempoStep = 5;
    static constexpr int kVolumeStep = 5;

    // `showNote` puts a short text over the picture; `media` is the session's, asked
    // whether key and tempo can change at all.
    PlaybackTuning(PlaybackSession& session, MediaControl& media, SettingsStore& settings,
                   std::function<void(const QString&)> showNote, QObject* parent = nullptr);

    // Start-up: the offset, the volume and the keep choice as the last run left them.
    void load();
    // Moves the graphics against the audio by deltaMs, within the offset's range.
    void shiftOffset(int deltaMs);
    // Where the media control cannot change key and tempo at all, both stay the
    // song's own and the note says what is missing.
    void changeKey(int delta);
    void changeTempo(int delta);
    void resetKeyAndTempo();
    void setKeepKeyAndTempo(bool keep);
    void changeVolume(int delta);
    // A new song was chosen: back to its own key and tempo unless they are kept.
    void songChosen();

    int keyShift() const { return keyShift_; }
    int tempoPercent() const { return tempoPercent_; }
    int volume() const { return volume_; }  // percent
    // What the status line adds while key or tempo are not the song's own
    // ("  Key +2, Tempo 90%"); empty otherwise.
    QString statusSuffix() const;
    // What changes the key ("Key by Rubber Band, formants kept", "Key by SoundTouch"),
    // for tool tips while the key is not the song's own; empty otherwise.
    QString keyEngineTip() const;
    // Key up and down, tempo up and down, "Original key and tempo" and the
    // "Keep key and tempo" check.
    void addMenuEntries(QMenu& menu);
    // Left and Right (offset), [ and ] (key), { and } (tempo), Up and Down (volume).
    std::vector<KeyCommand> keyCommands();

  signals:
    void statusSuffixChanged();
    void volumeChanged();  // by the keys, the menu or changeVolume()

  private:
    void applyKeyAndTempo(bool announce);
    // True (and the user told why) where key and tempo cannot change at all.
    bool keyAndTempoMissing();

    PlaybackSession& session_;
    MediaControl& media_;
    SettingsStore& settings_;
    std::function<void(const QString&)> showNote_;
    int keyShift_ = 0;
    int tempoPercent_ = 100;
    int volume_ = 100;
    bool keep_ = false;
};

}  // namespace lyrvox
