#pragma once
// The play queue as a list for the Library window: "ARTIST - TITLE" per row, the
// file's path as its tool tip. A row whose file is not there (an unplugged drive)
// is greyed and marked "(missing)"; that mark is looked at again for a new row,
// and for all rows on refreshAvailability(). Every change of the queue, whoever makes it, reaches
// the view as the rows it touches, and the view's own internal drag moves rows
// through moveRows: QListView's drop in InternalMove mode asks the model to move
// each dragged row. When moveRows refuses, the view falls back to dropMimeData,
// then (the drag having ended as a move) removeRows on the dragged row; so the
// model offers neither insertRows nor removeRows, and that path can never lose
// or double a song.
#include <QAbstractListModel>
#include <set>
#include <string>

#include "library/play_queue.h"

namespace lyrvox {

class QueueListModel : public QAbstractListModel, private QueueObserver {
    Q_OBJECT
  public:
    // `queue` must outlive the model.
    explicit QueueListModel(PlayQueue& queue, QObject* parent = nullptr);
    ~QueueListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Rows can be dragged and dropped between others, never onto one.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    // One row at a time, as the view's drop asks; `destinationChild` is the row it
    // goes in front of, counted before the move (Qt's convention). A move to where
    // the row already is succeeds without a change.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;

    // Looks at every row's file again; the rows whose mark changes are redrawn.
    void refreshAvailability();
    bool isMissing(int row) const;

  signals:
    // The queue's song now playing started, ended or went back to the rows.
    void nowPlayingChanged();

  private:
    void queueChanging(const QueueChange& change) override;
    void queueChanged(const QueueChange& change) override;

    PlayQueue& queue_;
    std::set<std::string> missing_;               // paths seen missing at the last look
    std::optional<QueueEntry> nowPlayingBefore_;  // across a change
};

}  // namespace lyrvox
