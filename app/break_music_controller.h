#pragma once
// Music between karaoke songs, in the Qt event loop: it watches the session's
// transport (a song playing or paused counts as a song; idle or the wait between
// queued songs as a break), tells the fade policy (BreakMusic), and while a fade
// moves steps a timer that sets the break player's volume from it. The music
// pauses once faded out and carries on from there at the next break. Its options
// (on/off, folder or playlist, volume, fade seconds) live in the settings and are
// set in a small dialog, opened from the control window's right-click menu.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "app/session_driver.h"
#include "app/settings_store.h"
#include "playback/break_music.h"
#include "playback/media/break_music_player.h"

class QWidget;

namespace lyrvox {

class BreakMusicController : public QObject {
    Q_OBJECT
  public:
    struct Options {
        bool on = false;
        QString path;     // a folder or an .m3u/.m3u8 playlist
        int volume = 50;  // percent
        int fadeSeconds = 3;
    };
    static constexpr int kStepMs = 40;  // the fade's timer while it moves

    // `clockSeconds`: a steady clock in seconds (none: the program's own).
    BreakMusicController(SettingsStore& settings, QObject* parent = nullptr,
                         BreakMusicPlayer::SinkMaker makeSink = {},
                         std::function<double()> clockSeconds = {});
    ~BreakMusicController() override;

    // Follows the session's transport from now on.
    void watch(SessionDriver& driver);
    // The options the settings hold, applied (start-up).
    void load();
    Options options() const { return options_; }
    // Applied at once and kept in the settings.
    void setOptions(const Options& options);
    // The dialog of the options (modal); OK applies them.
    void editInDialog(QWidget* parent);
    // The session's news: a song playing or paused fades the music out, anything
    // else fades it in.
    void transportChanged(Transport transport);
    // The program ends: the pipeline to its NULL state, nothing more plays.
    void shutDown();

    BreakMusicPlayer& player() { return *player_; }
    const BreakMusic& policy() const { return policy_; }
    const QTimer& timer() const { return timer_; }
    // What went wrong with the music ("2 files cannot be played..."); empty: nothing.
    QString note() const { return note_; }

  signals:
    // Told once for each playlist that has unplayable files, and once when none can play.
    void noteChanged(const QString& text);

  private:
    void applyOptions();
    void step();
    void startTrack(const std::string* path);
    void trackEnded();
    void trackFailed();
    double now() const { return clock_(); }

    SettingsStore& settings_;
    std::function<double()> clock_;
    BreakMusicPlayer* player_;
    BreakMusic policy_;
    QTimer timer_;
    Options options_;
    bool inSong_ = false;
    bool stopped_ = false;     // shut down: nothing plays again
    std::size_t missing_ = 0;  // entries of the playlist that are no file
    bool toldUnplayable_ = false;
    QString note_;
};

}  // namespace lyrvox
