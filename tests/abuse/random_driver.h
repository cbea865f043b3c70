#pragma once
// A seeded random user of the control window (its actions: see act()). A tick closes what
// came up, or arms the next before it acts: it goes on inside sessions' and dialogs' loops.
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <random>

#include "app/control_window.h"

namespace lyrvox::testing {

class RandomDriver {
  public:
    RandomDriver(ControlWindow& window, unsigned long seed) : window_(window), random_(seed) {}
    void start() { QTimer::singleShot(90, &window_, std::bind(&RandomDriver::tick, this)); }

    QStringList songs;                    // accepted in the Open dialog in turn
    std::function<QString()> checkState;  // each tick with no dialog open: a fault or ""
    std::function<void()> onFinished;     // after the last action, maybe inside a session
    QString fault;                        // the first, with the action before it
    QStringList messages;                 // the texts of the message boxes closed
    int songsOpened = 0, cancelled = 0;   // cancelled: dialogs

  private:
    void tick();
    void act();
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    ControlWindow& window_;
    const ControlLayout& c_ = window_.controls();
    std::mt19937 random_;
    int sent_ = 0;           // actions; 1000 in all
    QString wanted_, last_;  // the name the file dialog is to accept; the last action
};

}  // namespace lyrvox::testing
