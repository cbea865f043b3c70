#pragma once
// The song library in the player: its index in the user's data folder, its window
// (opened by L and the Library entry of either window's right-click menu), and the
// queue's advance: when a song ends by itself the playback session waits the pause
// the user set, while the display shows "Next: ARTIST - TITLE", and then the
// queue's next song starts. Stop, or a song the user starts, ends the wait.
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
#include "library/library_index.h"

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
    LibraryIndex& index() { return *index_; }
    // The song waiting for the pause to end, if any: off the queue, and back at its
    // front when Stop or a song the user chose ends the wait.
    const std::optional<QueueEntry>& upcoming() const { return upcoming_; }
    // True while the index is in use by another program and tried again.
    bool waitingForIndex() const { return retry_.isActive(); }

    // Starts the queue's first song now (the "Play queue" button).
    void playNextNow();

  private:
    // A song ended by itself: the queue's next one, after the pause.
    void advance();
    void waitOver(bool cancelled);
    void playEntry(const QueueEntry& entry);

    void tryOpenAgain();
    // The opening is settled (open or not): the user told, a rebuilt library scanned.
    void settled();
    void recoverFromDamage();
    void rescanAll();

    ControlWindow& window_;
    DialogProvider& dialogs_;
    std::unique_ptr<LibraryIndex> index_;
    std::unique_ptr<LibraryWindow> libraryWindow_;
    std::optional<QueueEntry> upcoming_;
    QTimer retry_;
    int retries_ = 0;
    bool recovered_ = false;  // once a run: a disk that keeps damaging it is not looped on
    bool rescanWhenIdle_ = false;
};

// Where the player keeps its library: AppDataLocation/library.db.
QString defaultLibraryPath();

}  // namespace lyrvox
