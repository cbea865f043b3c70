#pragma once
// The playback session in the Qt event loop: one precise single-shot timer wakes
// it when it asked to be woken, and what it reports comes out as signals for the
// windows. It plays from the real disk on the steady clock. Commands go straight
// to session(); they return at once.
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "playback/disk_files.h"
#include "playback/playback_session.h"

namespace lyrvox {

class SessionDriver : public QObject, private SessionHost {
    Q_OBJECT
  public:
    // `traceFile` empty: no trace (see PlaybackSession::setTraceFile).
    SessionDriver(MediaControl& media, const std::string& traceFile, QObject* parent = nullptr);
    ~SessionDriver() override;

    PlaybackSession& session() { return session_; }
    const QTimer& timer() const { return timer_; }

  signals:
    // What the session told (see SessionHost), in the same order.
    void transportUpdated(lyrvox::Transport transport);
    void statusUpdated(const QString& text);
    void displayRequested(bool visible);
    void messageRequested(const QString& text);
    void songOver(bool byItself);
    void waitOver(bool cancelled);

  private:
    void wakeIn(double ms) override;
    void transportChanged(Transport transport) override;
    void showStatus(const std::string& text) override;
    void showDisplay(bool visible) override;
    void showMessage(const std::string& text) override;
    void songEnded(bool byItself) override;
    void waitEnded(bool cancelled) override;

    QTimer timer_;
    DiskSessionFiles files_;
    SteadySessionClock clock_;
    PlaybackSession session_;
};

}  // namespace lyrvox
