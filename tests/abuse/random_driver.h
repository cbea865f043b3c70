#pragma once
// A seeded pseudo-random user for the control window: real mouse clicks and key
// presses on its controls, resizes of the display window, and the closing of
// every dialog and message box that appears. It runs from single-shot timers, each
// tick arming the next one before it acts, so that it keeps going inside the
// nested loops of a playback session (which runs inside the Play click) and of
// modal dialogs.
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <random>

class QFileDialog;
class QWidget;

namespace lyrvox {
class ControlWindow;
}

namespace lyrvox::testing {

// Types `path` into the file dialog's name box, as a user would, and accepts it.
void typeNameAndAccept(QFileDialog& dialog, const QString& path);

class RandomDriver : public QObject {
    Q_OBJECT
  public:
    struct Options {
        uint32_t seed = 1;
        int actions = 1000;        // user actions to send
        int intervalMs = 90;       // between two ticks
        QStringList songs;         // opened in turn through the Open dialog
        int firstSong = 0;         // index of the first song to open
        int actionsPerSong = 150;  // a new song is due after this many actions
        QString missingSource;     // typed into txtSource before Convert
    };

    RandomDriver(ControlWindow& window, Options options);

    void start();
    // Called once, from the tick after the last action, when no dialog is open. It
    // may run nested inside a session.
    std::function<void()> onFinished;
    // Looked at on every tick that finds no dialog open: what is wrong with the
    // window's state, or an empty text.
    std::function<QString()> checkState;

    const QMap<QString, int>& actionCounts() const { return actionCounts_; }
    const QMap<QString, int>& closedCounts() const { return closedCounts_; }
    const QStringList& messages() const { return messages_; }  // texts of closed message boxes
    const QStringList& stateFaults() const { return stateFaults_; }  // the first few, with the tick
    int stateChecks() const { return stateChecks_; }
    int songsOpened() const { return songsOpened_; }
    int sessionsSeen() const { return sessionsSeen_; }
    int deepestNesting() const { return deepestNesting_; }
    QString summary() const;

  private:
    void tick();
    void armNext();
    bool closeModalOrPopup();
    void act();
    void openNextSong();
    void clickOrKey(const char* kind, const char* button, int key);
    void pressAlt(int key);
    void pressKeyOnFocus(int key, const char* kind);
    void changeRate();
    void convertMissing();
    void abuseDisplay();
    QWidget* control(const char* name) const;
    bool idle() const;
    int pick(int n);
    void count(const char* kind) {
        lastAction_ = QString::fromLatin1(kind);
        ++actionCounts_[lastAction_];
    }

    ControlWindow& window_;
    Options options_;
    std::mt19937 random_;
    int sent_ = 0;
    bool finished_ = false;
    bool songDue_ = false;
    int nextSong_ = 0;
    QString wantedFile_;  // the file dialog accepts this name instead of cancelling
    bool lastProFlag_ = false;
    int depth_ = 0;  // ticks running nested in other ticks' actions
    int deepestNesting_ = 0;
    int songsOpened_ = 0;
    int sessionsSeen_ = 0;
    QMap<QString, int> actionCounts_;
    QMap<QString, int> closedCounts_;
    QStringList messages_;
    QStringList stateFaults_;
    int stateChecks_ = 0;
    QString lastAction_;
};

}  // namespace lyrvox::testing
