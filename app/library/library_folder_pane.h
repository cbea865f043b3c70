#pragma once
// The library window's "Song folders" box: the library's folders (one that cannot
// be read marked missing), the buttons that add, remove and rescan them, and
// whether the chosen folder's names read "Title - Artist" (also in the list's
// right-click menu). The window does what is asked; the box only asks.
#include <QGroupBox>
#include <cstdint>
#include <optional>
#include <string>

#include "library/library_index.h"

class QCheckBox;
class QListWidget;
class QMenu;

namespace lyrvox {

class LibraryFolderPane : public QGroupBox {
    Q_OBJECT
  public:
    LibraryFolderPane(LibraryIndex& index, QWidget* parent);

    // Reads the folders again from the index.
    void showFolders();
    // The order of a folder added now: "Title - Artist" when ticked with no folder chosen.
    NameOrder orderForNew() const;
    // The tick follows the chosen folder's order as the index has it now.
    void showChosenOrder();
    // A checkable entry that sets how the names below `folderPath` read.
    void addOrderAction(QMenu& menu, const QString& text, const std::string& folderPath);

  signals:
    void addRequested();
    void removeRequested(std::int64_t folderId);
    void rescanRequested();
    void orderRequested(const std::string& folderPath, NameOrder order);

  private:
    std::optional<LibraryFolder> chosen() const;

    LibraryIndex& index_;
    QListWidget* list_ = nullptr;
    QCheckBox* titleFirst_ = nullptr;
};

}  // namespace lyrvox
