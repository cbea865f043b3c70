#pragma once
// The player as an MPRIS 2 media player on the session bus
// (org.mpris.MediaPlayer2.lyrvox), so that the desktop's media keys and media
// controls drive it. Every command is one the control window or the library
// already gives (Play/Pause/Cont, Stop, the queue's next song); nothing waits.
// What the controls see (status, the song's artist and title, its length, the
// volume) follows the session's news, and each change is announced with
// org.freedesktop.DBus.Properties.PropertiesChanged.
//
// Without a session bus (tests, a headless start) the service does nothing.
// Another player already holding the name (a --new-instance start) makes this
// one take org.mpris.MediaPlayer2.lyrvox.instancePID, as MPRIS asks.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

#include "playback/session_host.h"

namespace lyrvox {

class ControlWindow;

class MprisService : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.lyrvox";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    // `next`: the queue's next song now (the library's "Play queue"); empty: none.
    MprisService(ControlWindow& window, std::function<void()> next, QObject* parent = nullptr);
    ~MprisService() override;

    // The bus name taken; empty when there is no session bus or no name was had.
    const QString& busName() const { return busName_; }

    // org.mpris.MediaPlayer2
    void raise();
    void quit();
    // org.mpris.MediaPlayer2.Player's methods.
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void openUri(const QString& uri);
    // Its properties.
    QString playbackStatus() const;
    QVariantMap metadata() const { return metadata_; }
    double volume() const;  // 0.0 to 1.0
    void setVolume(double volume);
    qlonglong positionUs() const;
    bool canPlay() const;
    bool canGoNext() const { return static_cast<bool>(next_); }

  private:
    void transportChanged(Transport transport);
    // A song that started has its files found: its metadata is announced.
    void songOpened();
    void volumeChanged();
    // The current song's metadata from its file name and its graphics' length.
    QVariantMap songMetadata() const;
    // Announces `changed` (property name to value) of `interface`.
    void announce(const QString& interface, const QVariantMap& changed);

    ControlWindow& window_;
    std::function<void()> next_;
    QString busName_;
    Transport transport_ = Transport::Idle;
    QVariantMap metadata_;
    bool songPending_ = false;  // started, its files not yet found
    int trackNumber_ = 0;       // a fresh track id for each song started
};

}  // namespace lyrvox
