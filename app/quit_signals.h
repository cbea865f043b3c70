#pragma once
// SIGTERM (logout, shutdown), SIGINT and SIGHUP end the player as closing its
// window does, so that a song's scratch files are removed on the way out.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace lyrvox {

class QuitSignals : public QObject {
  public:
    // Installs the handlers; `quit` runs from the event loop, once per signal.
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

  private:
    std::function<void()> quit_;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace lyrvox
