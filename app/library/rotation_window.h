#pragma once
// The "Lyrvox Singers" window: the singers in rotation order, each with the song
// they sing next ("(away)" for those sitting out), and the host's actions on
// them: add, rename, remove, away/back, make next, up and down. Below, the chosen
// singer's queued songs with the key and tempo each is to play in; a right-click
// on one sets them ("Key and tempo..."). "History..." lists tonight's songs (the
// last 12 hours), a singer's "History of NAME..." all their songs newest first,
// in the same window, which exports the list shown as CSV. Every question goes
// through the injectable functions, so that tests can answer.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "library/library_index.h"
#include "library/singer_rotation.h"

class QListWidget;
class QPushButton;

namespace lyrvox {

struct RotationWindowDeps {
    std::function<SingerRotation*()> rotation;  // the rotation of the index open now
    std::function<void(const QString& text)> message;
    // A line of text ("" when cancelled), and one of `items` ("" when cancelled).
    std::function<QString(const QString& label, const QString& text)> askText;
    std::function<QString(const QString& label, const QStringList& items)> chooseItem;
    std::function<QString()> chooseCsvFile;  // where to export; "" when cancelled
    // The key and tempo for a queued song (`song` names it), nullopt: remembered;
    // false when cancelled. None: the Key and tempo dialog.
    std::function<bool(const QString& song, std::optional<int>& key, std::optional<int>& tempo)>
        askKeyAndTempo = {};
};

class RotationWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::int64_t kTonightSeconds = 12 * 3600;

    explicit RotationWindow(RotationWindowDeps deps, QWidget* parent = nullptr);
    ~RotationWindow() override;

    void open();
    // Shows the rotation as it stands (after any change made elsewhere).
    void refresh();
    // Asks which singer and adds `song` at the end of their list.
    void addForSinger(const QueueEntry& song);
    void addSinger();
    void renameSinger();
    void removeSinger();
    void toggleAway();
    void makeNext();
    void move(int by);
    // Tonight's history (oldest first), or with `singer` all of theirs (newest
    // first), in the History window.
    void showHistory(const QString& singer = {});
    // Asks for a file and writes the history shown (tonight's, or the singer's) there
    // as CSV; a failed write leaves no file.
    void exportHistory();
    // Asks for the key and tempo of the chosen singer's queued song at `row` and
    // stores them with the entry.
    void setKeyAndTempo(int row);

    // The questions' functions may be replaced (tests answer them).
    RotationWindowDeps& deps() { return deps_; }
    QListWidget* list() const { return list_; }
    // The chosen singer's queued songs, each with its key and tempo.
    QListWidget* songList() const { return songs_; }
    QListWidget* historyList() const { return historyList_; }
    QWidget* historyWindow() const { return history_; }

  private:
    QString currentName() const;
    void done(bool ok);  // refreshes, or tells the rotation's error
    void refreshSongs();
    std::vector<HistoryEntry> shownHistory();

    RotationWindowDeps deps_;
    QListWidget* list_ = nullptr;
    QListWidget* songs_ = nullptr;
    QWidget* history_ = nullptr;
    QListWidget* historyList_ = nullptr;
    QString historySinger_;  // whose history is shown; empty: tonight's
};

}  // namespace lyrvox
