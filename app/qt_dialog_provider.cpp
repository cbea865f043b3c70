#include "app/qt_dialog_provider.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace lyrvox {

QString qtNameFilter(const FileFilter& filter) {
    QStringList patterns;
    for (const QString& p : filter.patterns) {
        for (const QString& variant : {p, p.toUpper(), p.toLower()}) {
            if (!patterns.contains(variant)) patterns << variant;
        }
    }
    return filter.entry + " (" + patterns.join(' ') + ")";
}

std::optional<OpenFileChoice> QtDialogProvider::chooseOpenFile(const OpenFileRequest& request) {
    QFileDialog dialog(parent_, QString(), request.folder);
    // Non-native, so that the patterns and the case rule below apply everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name need not exist: the player tells the user what it found.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QStringList nameFilters;
    for (const FileFilter& f : request.filters) nameFilters << qtNameFilter(f);
    dialog.setNameFilters(nameFilters);
    const int index = request.filterIndex;
    if (index >= 1 && index <= nameFilters.size()) {
        dialog.selectNameFilter(nameFilters[index - 1]);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    OpenFileChoice choice;
    choice.path = files.front();
    // Depending on the Qt version the dialog reports the whole filter text or only
    // the entry it shows.
    const QString selected = dialog.selectedNameFilter();
    choice.filterIndex = index;
    for (std::size_t i = 0; i < request.filters.size(); ++i) {
        if (selected == nameFilters[static_cast<qsizetype>(i)] ||
            selected == request.filters[i].entry) {
            choice.filterIndex = static_cast<int>(i) + 1;
            break;
        }
    }
    return choice;
}

void QtDialogProvider::showMessage(const QString& text) {
    // Shown window-modal but without an event loop of its own: the call returns at
    // once, so that the command that shows it ends and nothing waits for the user.
    // The box deletes itself when closed (or with its parent).
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("lyrvox"), QString(),
                                QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Lines may end in a lone carriage return, which a label does not break on.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    if (shown.endsWith('\n')) shown.chop(1);
    box->setTextFormat(Qt::PlainText);
    box->setText(shown);
    box->open();
}

bool QtDialogProvider::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("lyrvox"), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setTextFormat(Qt::PlainText);  // file names, not markup
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogProvider::openDocument(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace lyrvox
