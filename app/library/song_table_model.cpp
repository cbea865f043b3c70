#include "app/library/song_table_model.h"

#include <QBrush>
#include <QCollator>
#include <QPalette>
#include <algorithm>

#include "util/text_helpers.h"

namespace lyrvox {

QString songLabel(const std::string& artist, const std::string& title) {
    const QString t = QString::fromStdString(title);
    return artist.empty() ? t : QString::fromStdString(artist) + QStringLiteral(" - ") + t;
}

void SongTableModel::setSongs(std::vector<LibrarySong> songs) {
    beginResetModel();
    songs_ = std::move(songs);
    sortSongs();
    endResetModel();
}

int SongTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(songs_.size());
}

int SongTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SongTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const LibrarySong& s = song(index.row());
    if (role == Qt::ForegroundRole && !s.available) return QBrush(Qt::gray);
    if (role == Qt::ToolTipRole) {
        return QString::fromStdString(escapeForTerminal(s.path)) +
               (s.available ? QString() : QStringLiteral("\n(its folder is missing)"));
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case Artist:
            return QString::fromStdString(s.artist);
        case Title:
            return QString::fromStdString(s.title);
        case DiscId:
            return QString::fromStdString(s.discId);
        case Length:
            return QString::fromStdString(packetsToTime(static_cast<double>(s.durationMs) * 0.3));
        case Format:
            return QString::fromStdString(s.format);
    }
    return {};
}

QVariant SongTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[] = {"Artist", "Title", "Disc", "Length", "Format"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

void SongTableModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    sortColumn_ = column;
    sortOrder_ = order;
    sortSongs();
    emit layoutChanged();
}

void SongTableModel::sortSongs() {
    if (sortColumn_ < 0 || sortColumn_ >= ColumnCount) return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    const auto key = [this](const LibrarySong& s) {
        switch (sortColumn_) {
            case Artist:
                return s.artist;
            case Title:
                return s.title;
            case DiscId:
                return s.discId;
            default:
                return s.format;
        }
    };
    const bool down = sortOrder_ == Qt::DescendingOrder;
    std::stable_sort(songs_.begin(), songs_.end(), [&](const LibrarySong& a, const LibrarySong& b) {
        const int c =
            sortColumn_ == Length
                ? (a.durationMs < b.durationMs ? -1 : a.durationMs > b.durationMs)
                : collator.compare(QString::fromStdString(key(a)), QString::fromStdString(key(b)));
        return down ? c > 0 : c < 0;
    });
}

}  // namespace lyrvox
