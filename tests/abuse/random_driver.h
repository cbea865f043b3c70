#pragma once
// A seeded pseudo-random user for the control window: real clicks and keys on its
// controls, abuse of the display window, and the closing of every dialog that
// appears. Each tick arms the next before it acts, so the driver keeps going inside
// the nested loops of a playback session (run inside the Play click) and of dialogs.
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
        int actions = 1000;
        int intervalMs = 90;       // between two ticks
        QStringList songs;         // opened in turn through the Open dialog
        int actionsPerSong = 150;  // a new song is due after this many actions
        QString missingSource;     // typed into txtSource before Convert
    };

    RandomDriver(ControlWindow& window, Options options);
    void start();
    // Called once, after the last action, when no dialog is open; maybe inside a session.
    std::function<void()> onFinished;
    // Called on every tick that finds no dialog open: a fault in the window's state, or "".
    std::function<QString()> checkState;

    QString summary() const;

    QMap<QString, int> actionCounts;
    QMap<QString, int> closedCounts;  // dialogs and pop-ups by how they were closed
    QStringList messages;             // texts of the closed message boxes
    QStringList stateFaults;          // the first few
    int songsOpened = 0;

  private:
    void tick();
    void armNext();
    bool closeModalOrPopup();
    void act();
    void openNextSong();
    void clickOrKey(const char* kind, const char* button, int key);
    void pressKeyOnFocus(int key, const char* kind);
    void changeRate();
    void convertMissing();
    void abuseDisplay();
    QWidget* control(const char* name) const;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    void count(const char* kind) { ++actionCounts[lastAction_ = QString::fromLatin1(kind)]; }

    ControlWindow& window_;
    Options options_;
    std::mt19937 random_;
    int sent_ = 0;
    bool finished_ = false;
    bool songDue_ = false;
    int nextSong_ = 0;
    QString wantedFile_;  // the file dialog accepts this name instead of cancelling
    QString lastAction_;
};

}  // namespace lyrvox::testing
