#pragma once
// DialogProvider on Qt widgets: a non-native QFileDialog whose patterns match
// without regard to case, QMessageBox, QDesktopServices.
#include <QPointer>
#include <QWidget>

#include "app/dialog_provider.h"

namespace lyrvox {

// Qt's name-filter text for one entry. Qt shows an entry as "name (patterns)";
// the dialog hides the last bracketed group, so the entry keeps its own text
// (brackets included) and the hidden group carries the patterns in both cases.
QString qtNameFilter(const FileFilter& filter);

class QtDialogProvider : public DialogProvider {
  public:
    explicit QtDialogProvider(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest& request) override;
    void showMessage(const QString& text) override;
    bool askYesNo(const QString& text) override;
    bool openDocument(const QString& path) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace lyrvox
