#pragma once
// The song library in the player: its index in the user's data folder, its window
// (opened by L and the Library entry of either window's right-click menu), and the
// queue's advance: when a song ends by itself the playback session waits the pause
// the user set, while the display shows "Next: ARTIST - TITLE", and then the
// queue's next song starts. Stop, or a song the user starts, ends the wait.
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "app/control_window.h"
#include "app/library/library_window.h"
#include "library/library_index.h"

namespace lyrvox {

class LibraryController : public QObject {
    Q_OBJECT
  public:
    // `databasePath`: the index file (its folder is made when missing). A damaged
    // index is moved aside and the user told through `window`'s dialogs.
    LibraryController(ControlWindow& window, DialogProvider& dialogs, SettingsStore& settings,
                      const QString& databasePath, std::function<QString()> chooseFolder);
    ~LibraryController() override;

    LibraryWindow& libraryWindow() { return *libraryWindow_; }
    LibraryIndex& index() { return *index_; }
    // The song waiting for the pause to end, if any: off the queue, and back at its
    // front when Stop or a song the user chose ends the wait.
    const std::optional<QueueEntry>& upcoming() const { return upcoming_; }

    // Starts the queue's first song now (the "Play queue" button).
    void playNextNow();

  private:
    // A song ended by itself: the queue's next one, after the pause.
    void advance();
    void waitOver(bool cancelled);
    void playEntry(const QueueEntry& entry);

    ControlWindow& window_;
    DialogProvider& dialogs_;
    std::unique_ptr<LibraryIndex> index_;
    std::unique_ptr<LibraryWindow> libraryWindow_;
    std::optional<QueueEntry> upcoming_;
};

// Where the player keeps its library: AppDataLocation/library.db.
QString defaultLibraryPath();

}  // namespace lyrvox
