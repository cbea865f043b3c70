#pragma once
// What the control window asks of the user outside its own controls: the
// file-open dialog, message boxes, questions and the desktop's viewer for a document. The
// real implementation is QtDialogProvider; tests use a fake that records texts.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace lyrvox {

// One entry of a file dialog's type list: the text the user sees and the name
// patterns it applies, matched without regard to letter case.
struct FileFilter {
    QString entry;
    QStringList patterns;
};

struct OpenFileRequest {
    QString folder;  // where the dialog starts
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // 1-based entry selected at the start
};

struct OpenFileChoice {
    QString path;         // full path of the chosen (or typed) file
    int filterIndex = 1;  // 1-based entry selected when the user accepted
};

class DialogProvider {
  public:
    virtual ~DialogProvider() = default;
    // Modal file-open dialog; nullopt when the user cancelled.
    virtual std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest& request) = 0;
    // Message box titled "lyrvox" with only an OK button and no icon, modal to the
    // window; returns at once and leaves the box open, so that nothing waits for
    // the user (playback goes on in step). Lines may be ended by "\r" alone.
    virtual void showMessage(const QString& text) = 0;
    // Modal question titled "lyrvox" with Yes and No buttons and no icon; true for
    // Yes. Closing the box answers No.
    virtual bool askYesNo(const QString& text) = 0;
    // Hands a local file to the desktop's viewer without waiting; false when the
    // desktop reports that it could not.
    virtual bool openDocument(const QString& path) = 0;
};

}  // namespace lyrvox
