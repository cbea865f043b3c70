#include "app/library/queue_list_model.h"

#include <QGuiApplication>
#include <QPalette>

#include "app/library/song_table_model.h"
#include "util/text_helpers.h"

namespace lyrvox {

QueueListModel::QueueListModel(PlayQueue& queue, QObject* parent)
    : QAbstractListModel(parent), queue_(queue) {
    queue_.addObserver(this);
    refreshAvailability();
}

QueueListModel::~QueueListModel() {
    queue_.removeObserver(this);
}

int QueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : queue_.size();
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= queue_.size()) return {};
    const QueueEntry& entry = queue_.at(index.row());
    const bool missing = missing_.contains(entry.path);
    switch (role) {
        case Qt::DisplayRole:
            return songLabel(entry.artist, entry.title) +
                   (missing ? QStringLiteral("  (missing)") : QString());
        case Qt::ToolTipRole:
            return (missing ? QStringLiteral("Missing, skipped until it is back: ") : QString()) +
                   QString::fromStdString(escapeForTerminal(entry.path));
        case Qt::ForegroundRole:
            if (missing)
                return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
            return {};
        default:
            return {};
    }
}

Qt::ItemFlags QueueListModel::flags(const QModelIndex& index) const {
    // Drop-enabled only between rows (the invalid index): a drop onto a row would
    // ask to nest one song in another, which the view does not move.
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

Qt::DropActions QueueListModel::supportedDropActions() const {
    return Qt::MoveAction;
}

bool QueueListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                              const QModelIndex& destinationParent, int destinationChild) {
    if (sourceParent.isValid() || destinationParent.isValid() || count != 1 || sourceRow < 0 ||
        sourceRow >= queue_.size() || destinationChild < 0 || destinationChild > queue_.size())
        return false;
    // In front of a later row means ending one row above it once this row is gone.
    const int to = destinationChild > sourceRow ? destinationChild - 1 : destinationChild;
    // A drop just above or below the dragged row leaves it where it is. That is a
    // move done: a refusal would send the view to its fall-back.
    return to == sourceRow || queue_.move(sourceRow, to);
}

void QueueListModel::refreshAvailability() {
    std::set<std::string> missing;
    for (const QueueEntry& entry : queue_.entries())
        if (!songFileThere(entry)) missing.insert(entry.path);
    std::swap(missing, missing_);
    for (int row = 0; row < queue_.size(); ++row) {
        const std::string& path = queue_.at(row).path;
        if (missing.contains(path) != missing_.contains(path))
            emit dataChanged(index(row), index(row));
    }
}

bool QueueListModel::isMissing(int row) const {
    return row >= 0 && row < queue_.size() && missing_.contains(queue_.at(row).path);
}

void QueueListModel::queueChanging(const QueueChange& change) {
    nowPlayingBefore_ = queue_.nowPlaying();
    switch (change.kind) {
        case QueueChange::Kind::Insert:
            beginInsertRows({}, change.first, change.last);
            break;
        case QueueChange::Kind::Remove:
            beginRemoveRows({}, change.first, change.last);
            break;
        case QueueChange::Kind::Move:
            beginMoveRows({}, change.first, change.first, {},
                          change.to > change.first ? change.to + 1 : change.to);
            break;
        case QueueChange::Kind::Reset:
            beginResetModel();
            break;
        case QueueChange::Kind::NowPlaying:
            break;
    }
}

void QueueListModel::queueChanged(const QueueChange& change) {
    switch (change.kind) {
        case QueueChange::Kind::Insert:
            // A new row's file is looked at before the view asks for its text.
            for (int row = change.first; row <= change.last; ++row) {
                const QueueEntry& entry = queue_.at(row);
                if (songFileThere(entry))
                    missing_.erase(entry.path);
                else
                    missing_.insert(entry.path);
            }
            endInsertRows();
            break;
        case QueueChange::Kind::Remove:
            endRemoveRows();
            break;
        case QueueChange::Kind::Move:
            endMoveRows();
            break;
        case QueueChange::Kind::Reset:
            endResetModel();
            break;
        case QueueChange::Kind::NowPlaying:
            break;
    }
    if (queue_.nowPlaying() != nowPlayingBefore_) emit nowPlayingChanged();
}

}  // namespace lyrvox
