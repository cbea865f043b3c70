#pragma once
// The song library in the player: its index in the user's data folder, its window
// (opened by L and the Library entry of either window's right-click menu), and the
// queue's advance: when a song ends by itself the playback session waits the pause
// the user set, while the display counts it down ("Next: ARTIST - TITLE in 5 s"),
// and then the queue's next song starts. Stop, or a song the user starts, ends the
// wait; the song waited for stays first in the queue.
//
// A queued song that starts is the queue's "now playing" until it ends. It leaves
// the queue when it plays to its end, or when the host moves on with "Play queue";
// Stop (or another song started over it) puts it back at the front, so that the
// host can play it again. Songs whose files are missing (an unplugged drive) stay
// in the queue and are passed over, with one note for all those passed over at a
// time, in the status line (over the next song's own) and below the queue; they
// play again once their files are back.
#include <QElapsedTimer>
//
// The index's file as the player finds it: one that another program holds is
// tried again on a timer for a few seconds, the wait shown in the status line,
// and then left alone for this run; one that is damaged, at the opening or when
// any later statement or scan finds it, is kept aside and the library made again
// from its folders, keeping the queue the user sees. Nothing here blocks the
// event loop for the wait.
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "app/control_window.h"
#include "app/library/library_window.h"
#include "app/library/rotation_window.h"
#include "library/library_index.h"
#include "library/singer_rotation.h"

namespace lyrvox {

class LibraryController : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRetryMs = 250;  // between openings of a library in use
    // How long a statement of the player's own connection waits for a scan's batch.
    static constexpr int kStatementWaitMs = 1000;

    // `databasePath`: the index file (its folder is made when missing). The user
    // is told through `dialogs` what became of a file that could not be used.
    LibraryController(ControlWindow& window, DialogProvider& dialogs, SettingsStore& settings,
                      const QString& databasePath, std::function<QString()> chooseFolder);
    ~LibraryController() override;

    LibraryWindow& libraryWindow() { return *libraryWindow_; }
    RotationWindow& rotationWindow() { return *rotationWindow_; }
    SingerRotation& rotation() { return *rotation_; }
    // The coming `n` singers' turns in rotation order (none on a night without
    // singers), as the next songs will be taken; changes nothing.
    std::vector<RotationTurn> comingTurns(int n) const;
    // The singer's turn playing now, if any.
    const std::optional<RotationTurn>& currentTurn() const { return rotation_->playing(); }
    LibraryIndex& index() { return *index_; }
    // While the pause before the next song runs: the song it leads to as the queue
    // stands now (its first song whose file is there).
    std::optional<QueueEntry> upcoming() const;
    // True while the index is in use by another program and tried again.
    bool waitingForIndex() const { return retry_.isActive(); }

    // Starts the queue's first song that is there now (the "Play queue" button); a
    // queued song playing counts as done. While singers have songs, the rotation's
    // next turn is taken instead of the plain queue's.
    void playNextNow();

  private:
    // Singers with songs: the night runs by the rotation, not the plain queue.
    bool rotationRuns() const;
    // Takes the rotation's next turn and plays it in its key and tempo.
    void playTurn();
    // The turn playing ends: recorded in the history as `ended`; with `giveBack`
    // its song goes back first on the singer's list and they are next again. The
    // player's own end (closing, a kill) does not come here: the file keeps the turn
    // open, and the next start gives it back (settled).
    void endTurn(const char* ended, bool giveBack);
    // A song ended by itself: the queue's next one, after the pause.
    void advance();
    void waitOver(bool cancelled);
    // The row of the first song there, the missing ones before it noted once.
    int nextRow();
    void playRow(int row);
    void stopCountdown();
    // The display's "Next:" line with the seconds left of the pause.
    void showCountdown();
    // H on the up-next screen: the pause's count stops, or goes on from where it was.
    void toggleHold();

    void tryOpenAgain();
    // The opening is settled (open or not): the user told, a rebuilt library scanned.
    void settled();
    void recoverFromDamage();
    void rescanAll();

    ControlWindow& window_;
    DialogProvider& dialogs_;
    std::unique_ptr<LibraryIndex> index_;
    std::unique_ptr<LibraryWindow> libraryWindow_;
    std::unique_ptr<SingerRotation> rotation_;
    std::unique_ptr<RotationWindow> rotationWindow_;
    bool waiting_ = false;  // the pause before the next song runs
    QElapsedTimer waitClock_;
    double waitMs_ = 0.0;
    bool held_ = false;  // the host holds the pause: it ends only when resumed
    QTimer countdown_;   // at each whole second of the pause
    QString banner_;     // what the display shows of the pause
    QString note_;       // the songs the last look for the next one passed over
    QTimer retry_;
    int retries_ = 0;
    bool recovered_ = false;  // once a run: a disk that keeps damaging it is not looped on
    bool rescanWhenIdle_ = false;
};

// Where the player keeps its library: AppDataLocation/library.db.
QString defaultLibraryPath();

}  // namespace lyrvox
