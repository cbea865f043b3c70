#pragma once
// The "Lyrvox Library" window: the library's folders and their scans, the search
// box over the index with its results, and the play queue: the song it plays now
// in a line above it, its songs whose files are missing greyed and marked (looked
// at again when the window is shown, after a scan and every few seconds while it
// is in sight), and a line below it for the queue's notes.
//
// Keys: typing searches; Down goes to the results; Enter (or a double-click)
// plays the chosen song; Q or Insert adds it to the queue; Delete takes the
// chosen song off the queue; Ctrl+F goes back to the search box.
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/library/library_scan_job.h"
#include "app/library/queue_list_model.h"
#include "app/library/song_table_model.h"
#include "app/settings_store.h"
#include "library/library_index.h"
#include "library/play_queue.h"

class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace lyrvox {

class LibraryFolderPane;

struct LibraryWindowDeps {
    LibraryIndex& index;  // the window's own connection (the UI thread's)
    SettingsStore& settings;
    std::function<void(const QString& text)> message;
    std::function<bool(const QString& question)> ask;   // true for Yes
    std::function<QString()> chooseFolder;              // "" when cancelled
    std::function<void(const std::string& path)> play;  // the path's bytes
};

class LibraryWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kShownResults = 500;  // rows a search lists; the count tells the rest

    explicit LibraryWindow(LibraryWindowDeps deps, QWidget* parent = nullptr);
    ~LibraryWindow() override;

    // Shows and raises the window; the first time in a run it also rescans.
    void open();
    void search();        // runs the search box's text
    void addFolder();     // asks for a folder, adds it and scans it
    void rescan();        // every folder
    void playCurrent();   // the chosen result, or the first
    void queueCurrent();  // the chosen result to the end of the queue
    void playQueue();     // the queue's first song now
    void addToQueue(const QueueEntry& entry, int row = -1);  // -1: at the end
    // Empties the queue's rows once the user says yes (nothing to ask when empty).
    void clearQueue();
    // The line below the queue: what the last advance skipped, and why.
    void showQueueNote(const QString& text);
    // Looks again at which of the queue's songs are missing.
    void refreshQueueMarks();
    // The queue itself (kept in the index); every change shows in the list.
    PlayQueue& queue() { return queue_; }
    const PlayQueue& queue() const { return queue_; }
    int pauseSeconds() const;
    // How the names below a library folder, or a folder inside one, read (also in
    // the right-click menus of the folder list and of the song list, for the chosen
    // song's folder). The names show the new order at once.
    void setNameOrder(const std::string& folderPath, NameOrder order);

    QLineEdit* searchBox() const { return searchBox_; }
    QTableView* table() const { return table_; }
    SongTableModel& results() { return model_; }
    QLabel* countLabel() const { return count_; }
    QListView* queueList() const { return queueList_; }
    QueueListModel& queueModel() { return queueModel_; }
    QLabel* nowPlayingLine() const { return nowPlaying_; }
    QLabel* queueNote() const { return queueNote_; }
    QSpinBox* pauseBox() const { return pause_; }
    LibraryScanJob& scanJob() { return scan_; }
    QLabel* scanStatus() const { return scanStatus_; }

  signals:
    void playQueueRequested();
    // The song list's "Singers..." entry, or Ctrl+R: the rotation's window.
    void singersRequested();
    // The song list's "Add for singer...": the chosen song for a singer's list.
    void addForSingerRequested(const QueueEntry& song);
    // The song list's "Phones..." entry, or Ctrl+Shift+P: the requests page's address and code.
    void phonesRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void showNowPlaying();
    void removeFolder(std::int64_t folderId);
    void startScan(std::vector<LibraryFolder> folders);
    void scanFinished(const ScanCounts& counts);
    void removeFromQueue();  // the list's current row
    std::optional<LibrarySong> currentSong() const;

    LibraryWindowDeps deps_;
    PlayQueue queue_;
    QueueListModel queueModel_;
    SongTableModel model_;
    LibraryScanJob scan_;
    bool scannedThisRun_ = false;
    // Orders changed while a scan ran: set again when it ends, so that names the
    // scan read in the old order follow the new one.
    std::vector<std::pair<std::string, NameOrder>> ordersDuringScan_;
    QLineEdit* searchBox_ = nullptr;
    QLabel* count_ = nullptr;
    QTableView* table_ = nullptr;
    QListView* queueList_ = nullptr;
    QLabel* nowPlaying_ = nullptr;
    QLabel* queueNote_ = nullptr;
    QTimer* marksTimer_ = nullptr;  // the missing marks, looked at again while in sight
    QSpinBox* pause_ = nullptr;
    LibraryFolderPane* folderPane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* scanStatus_ = nullptr;
};

}  // namespace lyrvox
