#pragma once
// Search results as a sortable table: artist, title, disc id, length, format.
// Songs whose folder is missing are greyed.
#include <QAbstractTableModel>
#include <vector>

#include "library/library_index.h"

namespace lyrvox {

class SongTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Artist, Title, DiscId, Length, Format, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    void setSongs(std::vector<LibrarySong> songs);  // kept in the current sort order
    const LibrarySong& song(int row) const { return songs_.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

  private:
    void sortSongs();
    std::vector<LibrarySong> songs_;
    int sortColumn_ = -1;  // -1: as the search ranked them
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

// "Artist - Title", or the title alone.
QString songLabel(const std::string& artist, const std::string& title);

}  // namespace lyrvox
