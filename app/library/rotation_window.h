#pragma once
// The "Lyrvox Singers" window: the singers in rotation order, each with the song
// they sing next ("(away)" for those sitting out), and the host's actions on
// them: add, rename, remove, away/back, make next, up and down. "History..."
// lists tonight's songs (the last 12 hours) and exports them as CSV. Every
// question goes through the injectable functions, so that tests can answer.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

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
    void showHistory();
    // Asks for a file and writes tonight's history there as CSV; a failed write
    // leaves no file.
    void exportHistory();

    // The questions' functions may be replaced (tests answer them).
    RotationWindowDeps& deps() { return deps_; }
    QListWidget* list() const { return list_; }
    QListWidget* historyList() const { return historyList_; }
    QWidget* historyWindow() const { return history_; }

  private:
    QString currentName() const;
    void done(bool ok);  // refreshes, or tells the rotation's error

    RotationWindowDeps deps_;
    QListWidget* list_ = nullptr;
    QWidget* history_ = nullptr;
    QListWidget* historyList_ = nullptr;
};

}  // namespace lyrvox
